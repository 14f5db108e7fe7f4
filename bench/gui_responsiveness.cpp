// Responsiveness of the desktop program during an offline run: opens the main window on FILE and,
// while the file is analysed, resizes the window, switches through the ten pages and scrolls (the
// current page, the event list, the navigation bar), one action every --period ms. It measures
// the largest gap between the ticks of a 5 ms timer (how long the GUI thread was away) and, for
// each action, the time from the action until the window was repainted after it (max, p99, median,
// count), and prints them when the pass has ended (--runs N: the file N times over, with a stop
// between). It ends by itself; exit status 1 when a gap or an action took over 100 ms.
//
// Usage (a real display; bench/gui_responsiveness.sh makes a faulty 1 GB input and runs this):
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1000x24"
//       build/bench/gui_responsiveness FILE [--period MS] [--runs N] [--max-seconds S] [--after MS]
//       build/bench/gui_responsiveness FILE --online SECONDS   (a simulated card plays FILE)
// Beside each wall time it prints the GUI thread's own CPU time over the same span: on a loaded
// machine the difference is time the thread was ready but not scheduled.
// Set ORV_REGISTRY_DIR and ORV_DATA_DIR to a scratch folder: the stop at the end writes the
// error log.
#include <time.h>
#include <CLI/CLI.hpp>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QListWidget>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/message.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/main_window.h"
#include "shell/gui/page_catalogue.h"
#include "shell/gui/results_view.h"

using namespace orv;
using namespace orv::gui;

namespace {

enum class Action { Resize, Page, ScrollPage, ScrollEvents, ScrollNav };
constexpr std::array<const char*, 5> kActionNames{"resize", "page switch", "scroll page",
                                                  "scroll event list", "scroll nav bar"};
// The order the actions take turns in: three page switches in seven steps, so that every page is
// shown several times during a run of a few seconds, and (three and ten having no common
// divisor) every page is in turn the one the page scroll finds shown.
constexpr std::array<Action, 7> kCycle{Action::Page,       Action::Resize, Action::Page,
                                       Action::ScrollPage, Action::Page,   Action::ScrollEvents,
                                       Action::ScrollNav};

// The window with a probe on its events: the repaint (UpdateRequest) and the resize, seen after
// the window has handled them.
class ProbeWindow final : public MainWindow {
  public:
    using MainWindow::MainWindow;
    std::function<void(QEvent::Type)> handled;

  protected:
    bool event(QEvent* e) override {
        const QEvent::Type type = e->type();
        const bool result = MainWindow::event(e);
        if (handled) handled(type);
        return result;
    }
};

// CPU time of the calling thread, in ms: beside the wall time it tells the GUI thread's own work
// from the time a loaded machine did not schedule it.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct Series {
    std::vector<double> ms;
    std::vector<double> cpuMs;
    int unpainted = 0;  // actions the window had not repainted after when the next one came
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

void printSeries(const char* name, const Series& s) {
    const double max = s.ms.empty() ? 0.0 : *std::max_element(s.ms.begin(), s.ms.end());
    const double maxCpu = s.cpuMs.empty() ? 0.0 : *std::max_element(s.cpuMs.begin(), s.cpuMs.end());
    std::printf(
        "  %-18s count %4zu  max %6.1f ms  p99 %6.1f ms  median %5.1f ms  GUI thread CPU: "
        "max %6.1f ms  p99 %6.1f ms",
        name, s.ms.size(), max, percentile(s.ms, 0.99), percentile(s.ms, 0.5), maxCpu,
        percentile(s.cpuMs, 0.99));
    if (s.unpainted > 0)
        std::printf("  (%d without a repaint before the next action)", s.unpainted);
    std::printf("\n");
}

std::string loadAverage() {
    std::ifstream f("/proc/loadavg");
    std::string a, b, c;
    f >> a >> b >> c;
    return a + " " + b + " " + c;
}

// The first scroll area of `root` (itself included) that has something to scroll vertically.
QAbstractScrollArea* scrollable(QWidget* root) {
    std::vector<QAbstractScrollArea*> areas;
    if (auto* self = qobject_cast<QAbstractScrollArea*>(root)) areas.push_back(self);
    for (QAbstractScrollArea* a : root->findChildren<QAbstractScrollArea*>())
        areas.push_back(a);
    for (QAbstractScrollArea* a : areas)
        if (a->isVisible() && a->verticalScrollBar()->maximum() > 0) return a;
    return nullptr;
}

// Moves a scroll bar by a page, turning back at either end; false when there is nothing to scroll.
bool scroll(QAbstractScrollArea* area) {
    if (area == nullptr) return false;
    QScrollBar* bar = area->verticalScrollBar();
    if (bar->maximum() <= 0) return false;
    const int step = std::max(1, bar->pageStep());
    bar->setValue(bar->value() + step > bar->maximum() ? 0 : bar->value() + step);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App cli{"Responsiveness of the desktop program during an offline run"};
    std::string file;
    int periodMs = 50;
    double maxSeconds = 600.0;
    int afterMs = 1000;
    int runs = 1;
    double onlineSeconds = 0.0;
    cli.add_option("FILE", file, "Transport stream file to analyse")
        ->required()
        ->check(CLI::ExistingFile);
    cli.add_option("--period", periodMs, "Milliseconds between two actions")
        ->check(CLI::Range(10, 1000))
        ->capture_default_str();
    cli.add_option("--max-seconds", maxSeconds, "End after this long even if the pass goes on")
        ->check(CLI::Range(1.0, 86400.0))
        ->capture_default_str();
    cli.add_option("--after", afterMs, "Milliseconds measured after the pass ended (its rebuild)")
        ->check(CLI::Range(0, 60000))
        ->capture_default_str();
    cli.add_option("--runs", runs, "Analyse the file this many times (stop, then open it again)")
        ->check(CLI::Range(1, 100))
        ->capture_default_str();
    cli.add_option("--online", onlineSeconds,
                   "Instead: online analysis for this many seconds of a simulated card playing "
                   "FILE (ORV_SIM_DEVICE, unless set, names FILE on the channel 474 MHz, "
                   "6875 ksymbol/s, 64-QAM), then \"停止分析\"")
        ->check(CLI::Range(1.0, 86400.0));
    CLI11_PARSE(cli, argc, argv);
    const bool online = onlineSeconds > 0.0;
    if (online && qEnvironmentVariableIsEmpty("ORV_SIM_DEVICE"))
        qputenv("ORV_SIM_DEVICE", QByteArray("pci:file=") + QByteArray::fromStdString(file) +
                                      ",freq=474000,sr=6875,qam=64");

    QApplication app(argc, argv);
    // A message box would wait for a click: the program's messages go to stderr instead.
    const ScopedReasonedMessageHook hook([](std::string_view text, std::string_view reason) {
        std::cerr << "message: " << text << (reason.empty() ? "" : ": ") << reason << "\n";
    });
    AnalysisSession session;
    if (!session.loadSettings()) return 2;
    if (online) {
        InterfaceSettings& in = session.interfaceSettings();
        in.inputInterface = InputInterface::Cable;
        in.cableFrequencyKHz = 474000;
        in.cableSymbolRateK = 6875;
        in.cableQamIndex = 2;
    }
    ProbeWindow w(session);
    w.resize(1200, 800);
    w.show();
    QElapsedTimer exposed;
    exposed.start();
    while (!(w.windowHandle() && w.windowHandle()->isExposed()) && exposed.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    const std::string loadBefore = loadAverage();
    QElapsedTimer clock;
    clock.start();
    auto nowMs = [&clock] { return static_cast<double>(clock.nsecsElapsed()) / 1e6; };

    // The 5 ms ticks: every gap between two of them is time the GUI thread spent elsewhere.
    std::vector<double> gaps;
    std::vector<double> gapCpu;
    double lastTick = nowMs();
    double lastTickCpu = threadCpuMs();
    double maxGap = 0.0;
    double maxGapCpu = 0.0;
    std::string maxGapAfter = "-";
    std::string lastAction = "start";
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const double t = nowMs();
        const double cpu = threadCpuMs();
        const double gap = t - lastTick;
        gaps.push_back(gap);
        gapCpu.push_back(cpu - lastTickCpu);
        if (gap > maxGap) {
            maxGap = gap;
            maxGapCpu = cpu - lastTickCpu;
            maxGapAfter = lastAction;
        }
        lastTick = t;
        lastTickCpu = cpu;
    });

    // The action waiting for its repaint.
    struct Pending {
        Action action;
        double start;
        double startCpu;
        bool needsResize;
        bool resized;
        int page;
    };
    std::optional<Pending> pending;
    std::array<Series, kActionNames.size()> series;
    std::array<Series, kPageCount> pageSwitches;  // by the page switched to
    auto finish = [&](double end, bool painted) {
        Series& s = series[static_cast<std::size_t>(pending->action)];
        const double cpu = threadCpuMs() - pending->startCpu;
        s.ms.push_back(end - pending->start);
        s.cpuMs.push_back(cpu);
        if (pending->action == Action::Page) {
            Series& p = pageSwitches[static_cast<std::size_t>(pending->page)];
            p.ms.push_back(end - pending->start);
            p.cpuMs.push_back(cpu);
        }
        if (!painted) ++s.unpainted;
        pending.reset();
    };
    w.handled = [&](QEvent::Type type) {
        if (!pending) return;
        if (type == QEvent::Resize && pending->needsResize && !pending->resized) {
            // The repaint for the new size may come through the window's expose, which this probe
            // does not see: ask for one more repaint once the resize has arrived, and time that.
            pending->resized = true;
            w.update();
            return;
        }
        if (type == QEvent::UpdateRequest && (!pending->needsResize || pending->resized))
            finish(nowMs(), true);
    };

    std::size_t step = 0;
    int page = 0;
    int nextPage = 1;
    bool large = true;
    QTimer actions;
    QObject::connect(&actions, &QTimer::timeout, [&] {
        const double t = nowMs();
        const double startCpu = threadCpuMs();
        if (pending) finish(t, false);
        const Action a = kCycle[step++ % kCycle.size()];
        // The action waits for its repaint from before it is made: a resize may be handled
        // within the call.
        pending = Pending{a, t, startCpu, a == Action::Resize, false, page};
        bool acted = true;
        switch (a) {
            case Action::Resize:
                large = !large;
                w.resize(large ? QSize(1200, 800) : QSize(1000, 640));
                break;
            case Action::Page:
                page = nextPage;
                nextPage = (nextPage + 1) % kPageCount;
                pending->page = page;
                w.navigationBar()->setCurrentRow(page);
                break;
            case Action::ScrollPage:
                acted = scroll(scrollable(w.page(w.currentPage())));
                break;
            case Action::ScrollEvents:
                // The event list is scrolled where it is shown.
                if (w.currentPage() != kPageTr290) w.navigationBar()->setCurrentRow(kPageTr290);
                acted = scroll(w.resultsView()->eventList());
                break;
            case Action::ScrollNav:
                acted = scroll(w.navigationBar());
                break;
        }
        if (!acted) {
            pending.reset();
            return;
        }
        lastAction = kActionNames[static_cast<std::size_t>(a)];
        // The whole window repaints after every action, as an expose would make it: the measure
        // is the action plus drawing every widget shown.
        w.update();
    });

    std::printf("file %s (%.2f GB), one action every %d ms, load average %s\n", file.c_str(),
                static_cast<double>(std::filesystem::file_size(file)) / 1e9, periodMs,
                loadBefore.c_str());
    std::fflush(stdout);
    const double started = nowMs();
    if (online)
        w.action(Command::Online)->trigger();
    else
        w.analyseFile(QString::fromStdString(file));
    ticks.start(5);
    actions.start(periodMs);

    double passEnded = -1.0;
    double runStarted = started;
    std::vector<double> runSeconds;
    std::vector<uint64_t> runPackets;  // analysed by each pass
    QTimer watch;
    double onlineStopMs = -1.0;
    uint64_t onlinePackets = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const double t = nowMs();
        if (online && passEnded < 0 && t - started >= onlineSeconds * 1000.0) {
            session.access([&onlinePackets](AnalysisContext& ctx, ResultsPage&) {
                onlinePackets = ctx.packetCounter;
            });
            w.action(Command::Stop)->trigger();
            onlineStopMs = nowMs() - t;
            passEnded = nowMs();
        }
        if (!online && passEnded < 0 && !session.fileThreadRunning()) {
            runSeconds.push_back((t - runStarted) / 1000.0);
            uint64_t packets = 0;
            session.access(
                [&packets](AnalysisContext& ctx, ResultsPage&) { packets = ctx.packetCounter; });
            runPackets.push_back(packets);
            if (static_cast<int>(runSeconds.size()) < runs) {
                // The next run: "停止分析" (the pages clear, the log is written), then the file
                // again, as a user would do it.
                w.action(Command::Stop)->trigger();
                runStarted = nowMs();
                w.analyseFile(QString::fromStdString(file));
                return;
            }
            passEnded = t;
        }
        const bool done =
            (passEnded >= 0 && t - passEnded >= afterMs) || t - started >= maxSeconds * 1000.0;
        if (done) QCoreApplication::quit();
    });
    watch.start(20);
    app.exec();
    ticks.stop();
    actions.stop();
    watch.stop();

    w.handled = nullptr;
    const std::string loadAfter = loadAverage();
    const double fileMb = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    if (online)
        std::printf("online for %.1f s: %llu packets, \"停止分析\" took %.1f ms (%s)\n",
                    onlineSeconds, static_cast<unsigned long long>(onlinePackets), onlineStopMs,
                    session.analysisActive() ? "still active" : "stopped");
    if (!online) {
        std::printf("%zu pass(es) ended%s, measured for %.2f s; pass seconds:", runSeconds.size(),
                    passEnded >= 0 ? "" : " (the last one still running)",
                    (nowMs() - started) / 1000.0);
        for (std::size_t i = 0; i < runSeconds.size(); ++i)
            std::printf(" %.2f (%.0f MB/s, %llu packets)", runSeconds[i], fileMb / runSeconds[i],
                        static_cast<unsigned long long>(runPackets[i]));
        std::printf("\n");
    }
    const auto over = std::count_if(gaps.begin(), gaps.end(), [](double g) { return g > 100.0; });
    const auto overCpu =
        std::count_if(gapCpu.begin(), gapCpu.end(), [](double g) { return g > 100.0; });
    std::printf(
        "5 ms timer: %zu ticks, largest gap %.1f ms (GUI thread CPU in it %.1f ms, after: "
        "%s), p99 %.1f ms, %td gaps over 100 ms; GUI thread CPU in a gap: max %.1f ms, "
        "%td over 100 ms\n",
        gaps.size(), maxGap, maxGapCpu, maxGapAfter.c_str(), percentile(gaps, 0.99), over,
        gapCpu.empty() ? 0.0 : *std::max_element(gapCpu.begin(), gapCpu.end()), overCpu);
    std::printf("action until repainted:\n");
    Series all;
    for (std::size_t i = 0; i < series.size(); ++i) {
        printSeries(kActionNames[i], series[i]);
        all.ms.insert(all.ms.end(), series[i].ms.begin(), series[i].ms.end());
        all.cpuMs.insert(all.cpuMs.end(), series[i].cpuMs.begin(), series[i].cpuMs.end());
        all.unpainted += series[i].unpainted;
    }
    printSeries("all actions", all);
    std::printf("page switches by the page shown:\n");
    for (int i = 0; i < kPageCount; ++i) {
        const std::string name = "to page " + std::to_string(i);
        printSeries(name.c_str(), pageSwitches[static_cast<std::size_t>(i)]);
    }
    std::printf("load average before %s, after %s\n", loadBefore.c_str(), loadAfter.c_str());
    std::fflush(stdout);
    // Closing stops the run, as the window's close button does.
    w.close();
    const bool frozen = maxGap > 100.0 || (!all.ms.empty() &&
                                           *std::max_element(all.ms.begin(), all.ms.end()) > 100.0);
    return frozen ? 1 : 0;
}
