#include "shell/cli/monitor_command.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "acquisition/card_source.h"
#include "acquisition/ip_source.h"
#include "acquisition/ip_url.h"
#include "acquisition/run_control.h"
#include "engine/analysis_context.h"
#include "platform/event_loop.h"
#include "platform/message.h"
#include "platform/paths.h"
#include "presentation/error_log_writer.h"
#include "presentation/results_page.h"
#include "shell/cli/analysis_report.h"
#include "shell/cli/card_options.h"
#include "shell/cli/live_source_choice.h"
#include "shell/cli/monitor_status.h"
#include "shell/cli/report_json.h"
#include "shell/settings/monitor_switches.h"

namespace orv::cli {
namespace {

// Timers of the command beside the run's (which keep to 1100..1199).
constexpr TimerService::TimerId kStatusTimer = 1200;
constexpr TimerService::TimerId kDurationTimer = 1201;
constexpr std::chrono::milliseconds kStatusPeriod{1000};

// The results page and the error log behind the run control, keeping every event that becomes a
// row for the next status line, and the analysis document of the run's last stop. Every hook
// runs with ctx.mutex held.
class MonitorFrontEnd final : public RunFrontEnd {
  public:
    MonitorFrontEnd(AnalysisContext& ctx, ResultsPage& page, std::string source, EventLoop& loop)
        : page_(page), source_(std::move(source)), loop_(loop) {
        page_.setRowObserver([this, &ctx](const StoredEvent& stored, const EventRow& row) {
            fresh_.push_back(eventLine(row, stored, ctx));
        });
    }
    ~MonitorFrontEnd() override { page_.setRowObserver({}); }

    int refreshResults(AnalysisContext& ctx) override { return page_.refresh(ctx); }
    void saveEvents(AnalysisContext& ctx) override {
        if (final_) {
            // The stop's save: the last events and the error rate first, then the document of
            // everything analysed, before the run is torn down.
            page_.refresh(ctx);
            report_ = buildReport(source_, ctx, page_);
        }
        writeErrorLog(ctx, page_);
    }
    void resetResults(AnalysisContext& ctx) override { page_.reset(ctx); }
    void runEnded() override { loop_.quit(); }

    // The next stop is the last: it keeps the document.
    void finalStop() { final_ = true; }
    std::optional<AnalysisReport>& report() { return report_; }
    // The events since the last call. The caller holds ctx.mutex.
    std::vector<EventLine> takeFresh() { return std::exchange(fresh_, {}); }

  private:
    ResultsPage& page_;
    std::string source_;
    EventLoop& loop_;
    bool final_ = false;
    std::optional<AnalysisReport> report_;
    std::vector<EventLine> fresh_;
};

// Writes the status of each second: plain lines, or on a terminal one line redrawn in place that
// is kept (ended) whenever it reports new events or a new state.
class StatusWriter {
  public:
    StatusWriter(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
    ~StatusWriter() { end(); }
    StatusWriter(const StatusWriter&) = delete;
    StatusWriter& operator=(const StatusWriter&) = delete;

    void write(const MonitorTick& tick) {
        const std::string line = statusLine(tick);
        if (!terminal_) {
            out_ << line << '\n' << std::flush;
            return;
        }
        const std::string state = runStateWords(tick.status);
        out_ << '\r' << line << "\033[K";
        open_ = true;
        if (!tick.events.empty() || state != lastState_) end();
        lastState_ = state;
        out_ << std::flush;
    }
    void end() {
        if (open_) out_ << '\n' << std::flush;
        open_ = false;
    }

  private:
    std::ostream& out_;
    bool terminal_;
    bool open_ = false;
    std::string lastState_;
};

bool anyFinding(const std::array<KindLine, kKindCount>& kinds) {
    for (const KindLine& k : kinds)
        if (k.count > 0) return true;
    return false;
}

}  // namespace

int runMonitor(const MonitorOptions& o, std::ostream& out, std::ostream& statusOut) {
    auto ctx = std::make_unique<AnalysisContext>();
    if (!loadMonitorSwitches(*ctx)) return kMonitorInputError;
    if (o.switches) {
        const std::optional<MonitorSwitches> s = parseSwitches(*o.switches, true);
        if (!s) {
            showMessage("orv01: --switches takes 32 characters '0' or '1'");
            return kMonitorInputError;
        }
        ctx->monitorEnabled = *s;
    }
    if (o.durationSeconds < 0.0) {
        showMessage("orv01: --duration takes a number of seconds above 0");
        return kMonitorInputError;
    }
    const std::unique_ptr<LiveSource> source = makeLiveSource(o, "monitor");
    if (!source) return kMonitorInputError;
    ctx->logSettings.errorLogPath = o.writeLog ? o.logPath : "/dev/null";
    ctx->logSettings.logPathIsDefault = o.logPath == "c:\\ERROR.log";

    EventLoop loop;
    ResultsPage page;
    MonitorFrontEnd frontEnd(*ctx, page, source->describe(), loop);
    RunControl run(*ctx, loop, frontEnd);
    StatusWriter statusWriter(statusOut, o.statusIsTerminal);
    std::array<KindLine, kKindCount> lastKinds{};

    // One second's snapshot: the run's status, then the events drained from the log since the
    // last one (as the page's refresh drains them), all of them, whatever saved the list since.
    const auto tick = [&] {
        MonitorTick t;
        t.now = std::time(nullptr);
        t.status = run.status();
        {
            const std::lock_guard<std::mutex> lock(ctx->mutex);
            page.drainPending(*ctx);
            t.events = frontEnd.takeFresh();
            // Between runs (a restart) the counters are reset: the last run's stand.
            if (t.status.active && !t.status.restartPending) lastKinds = kindLines(*ctx);
        }
        t.kinds = lastKinds;
        if (o.json)
            out << statusJson(t).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                << '\n'
                << std::flush;
        if (o.status) statusWriter.write(t);
    };
    std::function<void()> everySecond = [&] {
        tick();
        loop.arm(kStatusTimer, kStatusPeriod, everySecond);
    };

    {
        const QuitOnSignals signals(loop);
        loop.post([&] { run.start(*source); });
        loop.arm(kStatusTimer, kStatusPeriod, everySecond);
        if (o.durationSeconds > 0.0) {
            const auto ms =
                std::chrono::milliseconds(static_cast<long long>(o.durationSeconds * 1000.0 + 0.5));
            loop.arm(kDurationTimer, ms, [&] { loop.quit(); });
        }
        loop.run();
        loop.kill(kStatusTimer);
        loop.kill(kDurationTimer);
        // The stop: the thread ends, the pending events go to the error log, and the front end
        // keeps the document of the run.
        frontEnd.finalStop();
        run.stop();
    }
    if (run.status().interfaceFailed) {
        statusWriter.end();
        return kMonitorInputError;
    }
    std::optional<AnalysisReport>& report = frontEnd.report();
    if (report) lastKinds = report->kinds;
    // The last line: what the stop drained.
    tick();
    statusWriter.end();
    if (!report) return kMonitorStopped;
    report->endedBy = "stopped";
    if (o.writeLog && page.failedSaves() == 0)
        report->errorLog = isDrivePath(o.logPath) ? mapDrivePath(o.logPath).string() : o.logPath;
    report->errorLogFailed = page.failedSaves() > 0;
    if (o.json) {
        out << reportDocument(*report).dump(-1, ' ', false,
                                            nlohmann::json::error_handler_t::replace)
            << '\n';
    } else {
        out << reportText(*report);
    }
    out << std::flush;
    if (report->errorLogFailed) return kMonitorLogFailed;
    return o.failOnFindings && anyFinding(report->kinds) ? kMonitorFindings : kMonitorStopped;
}

}  // namespace orv::cli
