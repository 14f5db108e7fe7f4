// The main window while a run goes on: an online run on a simulated card shows red lamps and a
// growing event list and stops at once on "停止分析"; closing the window during a file run or an
// online run stops it, ends its thread and leaves every event logged before the close in the
// error log, in the order the results page listed them.
#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>
#include <vector>

#include "platform/text_codec.h"
#include "presentation/table_tree.h"
#include "shell/gui/init_dialog_view.h"
#include "shell/gui/main_window.h"
#include "shell/gui/results_view.h"
#include "shell/gui/table_tree_view.h"
#include "tests/gui/gui_test_support.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

using namespace orv;
using namespace orv::gui;

namespace {

const QString kSample = QStringLiteral(ORV_SAMPLE_STREAM);
// The simulated card's channel (the sample played in a loop at its own bitrate); the interface
// settings below tune to it.
const QByteArray kDevice = "pci:file=" + kSample.toUtf8() + ",freq=474000,sr=6875,qam=64,speed=1";

void tuneToTheSimulatedChannel(AnalysisSession& session) {
    InterfaceSettings& s = session.interfaceSettings();
    s.inputInterface = InputInterface::Cable;
    s.cableFrequencyKHz = 474000;
    s.cableSymbolRateK = 6875;
    s.cableQamIndex = 2;  // 64-QAM
}

// Command availability while a run is active (true) or idle.
void checkAvailability(MainWindow& w, bool active) {
    struct Row {
        Command command;
        bool whenActive;
        bool whenIdle;
    };
    const Row rows[] = {
        {Command::Offline, false, true},
        {Command::Online, false, true},
        {Command::Record, false, true},
        {Command::Stop, true, false},
        {Command::InterfaceSettings, false, true},
        {Command::MonitorSettings, true, true},
        {Command::Exit, true, true},
    };
    w.updateCommands();
    for (const Row& r : rows)
        QVERIFY2(w.action(r.command)->isEnabled() == (active ? r.whenActive : r.whenIdle),
                 qPrintable(w.action(r.command)->text()));
}

int redLamps(const ResultsView& r) {
    int red = 0;
    for (int k = 0; k < kKindCount; ++k)
        red += r.lampRed(k) ? 1 : 0;
    return red;
}

uint64_t packetCounter(AnalysisSession& session) {
    uint64_t n = 0;
    session.access([&n](AnalysisContext& ctx, ResultsPage&) { n = ctx.packetCounter; });
    return n;
}

// One line of the error log: number TAB time TAB type TAB [TAB] detail CR LF, in CP936.
struct LogLine {
    QString number, time, type, detail;
};

std::vector<LogLine> readErrorLog(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    const CodecResult utf8 = cp936ToUtf8(std::string_view(bytes.constData(), bytes.size()));
    std::vector<LogLine> lines;
    for (const QString& line :
         QString::fromStdString(utf8.text).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        QStringList f = line.split('\t');
        if (f.size() == 5 && f[3].isEmpty()) f.removeAt(3);  // a short type's second TAB
        if (f.size() != 4) return {};                        // not the log's layout
        lines.push_back({f[0], f[1], f[2], f[3]});
    }
    return lines;
}

// Expands every item below `item` (its children are made on the way) and returns their labels,
// depth-first, each indented by its depth.
void expandedLabels(QTreeWidgetItem* item, int depth, QStringList& out) {
    out << QString(depth, ' ') + item->text(0);
    item->setExpanded(true);
    for (int i = 0; i < item->childCount(); ++i)
        expandedLabels(item->child(i), depth + 1, out);
}

void nodeLabels(const TreeNode& node, int depth, QStringList& out) {
    out << QString(depth, ' ') + QString::fromStdString(node.label);
    for (const TreeNode& child : node.children)
        nodeLabels(child, depth + 1, out);
}

// What the run had logged when the window was closed: the results page's rows and the
// engine's count of transport errors.
struct BeforeClose {
    std::vector<EventRow> rows;
    int transportErrors = 0;
    bool threadRunning = false;
};

BeforeClose snapshot(AnalysisSession& session) {
    BeforeClose b;
    session.access([&b](AnalysisContext& ctx, ResultsPage& page) {
        page.drainPending(ctx);
        b.rows.assign(page.eventRows().begin(), page.eventRows().end());
        b.transportErrors = ctx.log.kindCount.total(Tr290ErrorKind::TransportError);
    });
    b.threadRunning = session.fileThreadRunning() || session.onlineStatus().active;
    return b;
}

// The log holds the rows listed before the close first, unchanged and in order, and at least as
// many transport error lines as the engine had counted then.
void checkLogAfterClose(const QString& path, const BeforeClose& before) {
    const std::vector<LogLine> log = readErrorLog(path);
    QVERIFY2(log.size() >= before.rows.size(),
             qPrintable(QStringLiteral("%1 log lines for %2 rows listed before the close")
                            .arg(log.size())
                            .arg(before.rows.size())));
    for (std::size_t i = 0; i < before.rows.size(); ++i) {
        const EventRow& r = before.rows[i];
        const LogLine& l = log[i];
        QCOMPARE(l.number, QString::fromStdString(r.number));
        QCOMPARE(l.time, QString::fromStdString(r.time));
        QCOMPARE(l.type, QString::fromStdString(r.type));
        QCOMPARE(l.detail, QString::fromStdString(r.detail));
    }
    const auto transportErrors = std::count_if(log.begin(), log.end(), [](const LogLine& l) {
        return l.detail.contains(QStringLiteral("传送错误标志位等于'1'"));
    });
    QVERIFY2(transportErrors >= before.transportErrors,
             qPrintable(QStringLiteral("%1 transport error lines, %2 counted before the close")
                            .arg(transportErrors)
                            .arg(before.transportErrors)));
}

}  // namespace

class OnlineRunTest : public QObject {
    Q_OBJECT

  private:
    test::PrivateFolders folders_;

  private Q_SLOTS:
    void initTestCase() {
        // The simulated devices are chosen once per process, at the first card call.
        qputenv("ORV_SIM_DEVICE", kDevice);
        if (!QFile::exists(kSample)) QSKIP("the bundled sample was not generated");
    }

    void onlineRunShowsLiveResultsAndStopsAtOnce() {
        AnalysisSession session;
        tuneToTheSimulatedChannel(session);
        MainWindow w(session);
        w.showPage(kPageTr290);
        w.action(Command::Online)->trigger();
        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪-在线分析"));
        checkAvailability(w, true);

        ResultsView& r = *w.resultsView();
        // The sample's transport error (6 s into it) lights its lamp once the run has started;
        // its other faults and the seam of the loop keep the list growing.
        QVERIFY(QTest::qWaitFor(
            [&] {
                w.tick();
                return r.lampRed(kindIndex(Tr290ErrorKind::TransportError)) &&
                       r.eventList()->topLevelItemCount() > 0;
            },
            30000));
        QVERIFY(session.onlineStatus().active);
        const int rowsBefore = r.eventList()->topLevelItemCount();
        QVERIFY(QTest::qWaitFor(
            [&] {
                w.tick();
                return r.eventList()->topLevelItemCount() > rowsBefore;
            },
            15000));

        QElapsedTimer stopTime;
        stopTime.start();
        w.action(Command::Stop)->trigger();
        const qint64 stopMs = stopTime.elapsed();
        // The stop has completed when the command returns: thread joined, card stopped.
        QVERIFY(!session.analysisActive());
        QVERIFY(!session.onlineStatus().active);
        qInfo("online stop took %lld ms", static_cast<long long>(stopMs));
        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪-停止分析"));
        checkAvailability(w, false);
        // Nothing feeds the context any more.
        const uint64_t packets = packetCounter(session);
        QTest::qWait(300);
        QCOMPARE(packetCounter(session), packets);
        // Stop-time page reset.
        w.tick();
        QCOMPARE(r.eventList()->topLevelItemCount(), 0);
        QCOMPARE(redLamps(r), 0);
        QVERIFY(!w.initDialog()->isVisible());
    }

    // A file run closed while its thread goes on: a faulty stream of about 120 MB (the sample's
    // twelve seconds with a transport error every 2000 packets, ten times over), closed once the
    // first events have been logged.
    void closeDuringFileRunWritesTheLoggedEvents() {
        tsgen::Preset p = tsgen::samplePreset();
        for (uint64_t at = 2000; at < 60000; at += 2000) {
            tsgen::Fault tei;
            tei.kind = tsgen::FaultKind::TransportError;
            tei.at = at;
            p.faults.push_back(tei);
        }
        const std::vector<uint8_t> segment = tsgen::generateStream(p.config, p.faults);
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("faulty.ts"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 10; ++i)
            QCOMPARE(f.write(reinterpret_cast<const char*>(segment.data()),
                             static_cast<qint64>(segment.size())),
                     static_cast<qint64>(segment.size()));
        f.close();

        QFile::remove(folders_.errorLogPath());
        AnalysisSession session;
        MainWindow w(session);
        w.analyseFile(path);
        // Until the main pass has logged a few transport errors (a tight loop: the pass is fast).
        BeforeClose before;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 60000) {
            before = snapshot(session);
            if (before.transportErrors >= 3 || !session.fileThreadRunning()) break;
            QCoreApplication::processEvents();
        }
        QVERIFY2(before.threadRunning, "the pass ended before the close: make the file larger");
        QVERIFY(before.transportErrors >= 3);
        QVERIFY(w.close());
        QVERIFY(!session.fileThreadRunning());
        QVERIFY(!session.analysisActive());
        QCOMPARE(session.windowTitle(), QStringLiteral("码流分析仪-停止分析"));
        checkLogAfterClose(folders_.errorLogPath(), before);
    }

    // The table tree makes items below its first level when they are first expanded: expanding
    // everything shows every node of the tables, in order, each once.
    void tableTreeShowsEveryNodeWhenExpanded() {
        AnalysisSession session;
        MainWindow w(session);
        w.analyseFile(kSample);
        QVERIFY(test::waitForPass(session));
        QStringList expected;
        session.access([&expected](AnalysisContext& ctx, ResultsPage&) {
            for (const TreeNode& top : buildTableTree(storedSections(ctx.siStore)))
                nodeLabels(top, 0, expected);
        });
        QTreeWidget& tree = *w.tableTreeView()->tree();
        QStringList shown;
        for (int i = 0; i < tree.topLevelItemCount(); ++i)
            expandedLabels(tree.topLevelItem(i), 0, shown);
        QVERIFY(expected.size() > 100);
        QCOMPARE(shown, expected);
        // Collapsing and expanding again makes nothing twice.
        tree.topLevelItem(0)->setExpanded(false);
        tree.topLevelItem(0)->setExpanded(true);
        QStringList again;
        for (int i = 0; i < tree.topLevelItemCount(); ++i)
            expandedLabels(tree.topLevelItem(i), 0, again);
        QCOMPARE(again, expected);
        w.action(Command::Stop)->trigger();
        QCOMPARE(tree.topLevelItemCount(), 0);
    }

    void closeDuringOnlineRunWritesTheLoggedEvents() {
        QFile::remove(folders_.errorLogPath());
        AnalysisSession session;
        tuneToTheSimulatedChannel(session);
        MainWindow w(session);
        w.action(Command::Online)->trigger();
        BeforeClose before;
        QVERIFY(QTest::qWaitFor(
            [&] {
                before = snapshot(session);
                return before.transportErrors > 0 && before.rows.size() >= 3;
            },
            30000));
        QVERIFY(before.threadRunning);
        QVERIFY(w.close());
        QVERIFY(!session.analysisActive());
        QVERIFY(!session.onlineStatus().active);
        const uint64_t packets = packetCounter(session);
        QTest::qWait(300);
        QCOMPARE(packetCounter(session), packets);
        checkLogAfterClose(folders_.errorLogPath(), before);
    }
};

QTEST_MAIN(OnlineRunTest)
#include "online_run_test.moc"
