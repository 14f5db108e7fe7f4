// The main window over real runs: command availability, page switching, titles, the results of
// the bundled sample, settings applied to a running analysis, the stop on close, help.
#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QtTest>
#include <array>
#include <map>
#include <optional>
#include <set>

#include "platform/text_codec.h"
#include "shell/gui/init_dialog_view.h"
#include "shell/gui/main_window.h"
#include "shell/gui/progress_panel.h"
#include "shell/gui/results_view.h"
#include "shell/gui/table_tree_view.h"
#include "tests/gui/gui_test_support.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

using namespace orv;
using namespace orv::gui;

namespace {

const QString kSample = QStringLiteral(ORV_SAMPLE_STREAM);

struct Availability {
    Command command;
    bool idle;
    bool active;
};
// Greyed while a run is active: the four acquisition commands; "停止分析" only then enabled.
constexpr std::array<Availability, 10> kAvailability{{
    {Command::Offline, true, false},
    {Command::Online, true, false},
    {Command::Record, true, false},
    {Command::Stop, false, true},
    {Command::Exit, true, true},
    {Command::InterfaceSettings, true, false},
    {Command::MonitorSettings, true, true},
    {Command::PrintSettings, true, true},
    {Command::Help, true, true},
    {Command::About, true, true},
}};

void checkAvailability(MainWindow& w, bool active) {
    w.updateCommands();
    for (const Availability& a : kAvailability) {
        const bool expected = active ? a.active : a.idle;
        QVERIFY2(w.action(a.command)->isEnabled() == expected,
                 qPrintable(w.action(a.command)->text() + (active ? " while active" : " idle")));
    }
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    test::PrivateFolders folders_;

  private Q_SLOTS:
    void initTestCase() {
        qputenv("ORV_SIM_DEVICE", ("pci:file=" + kSample).toUtf8());
        if (!QFile::exists(kSample)) QSKIP("the bundled sample was not generated");
    }

    void commandsFollowTheRun() {
        AnalysisSession session;
        MainWindow w(session);
        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪"));
        checkAvailability(w, false);

        w.analyseFile(kSample);
        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪-离线分析orv01-sample.ts"));
        checkAvailability(w, true);
        QVERIFY(test::waitForPass(session));
        // The results stay until the stop; so does the run.
        checkAvailability(w, true);
        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪-离线分析orv01-sample.ts"));

        w.action(Command::Stop)->trigger();
        checkAvailability(w, false);
        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪-停止分析"));
        // Stop-time page reset: the results page is empty again, its lamps green.
        QCOMPARE(w.resultsView()->eventList()->topLevelItemCount(), 0);
        QCOMPARE(w.resultsView()->counterBox(3)->text(), QStringLiteral("0"));
        QVERIFY(!w.resultsView()->lampRed(3));
        QCOMPARE(w.tableTreeView()->tree()->topLevelItemCount(), 0);
    }

    void pageSwitching_data() {
        QTest::addColumn<QString>("steps");  // m<index>: menu item, n<index>: navigation entry
        QTest::addColumn<int>("page");
        QTest::newRow("start") << "" << 0;
        QTest::newRow("menu capture selects its entry") << "m8" << 8;
        QTest::newRow("navigation") << "n5" << 5;
        QTest::newRow("menu then navigation") << "m4,n2" << 2;
        QTest::newRow("navigation then menu") << "n9,m3" << 3;
        QTest::newRow("same page again") << "m6,m6" << 6;
    }
    void pageSwitching() {
        QFETCH(QString, steps);
        QFETCH(int, page);
        AnalysisSession session;
        MainWindow w(session);
        auto* stack = w.findChild<QStackedWidget*>();
        QVERIFY(stack);
        for (const QString& step : steps.split(',', Qt::SkipEmptyParts)) {
            const int index = step.mid(1).toInt();
            if (step.startsWith('m'))
                w.pageAction(index)->trigger();
            else
                w.navigationBar()->setCurrentRow(index);
        }
        QCOMPARE(w.currentPage(), page);
        QCOMPARE(stack->currentIndex(), page);
        QVERIFY(stack->currentWidget()->isAncestorOf(w.page(page)));
        QCOMPARE(w.navigationBar()->currentRow(), page);
        for (int i = 0; i < kPageCount; ++i)
            QCOMPARE(w.pageAction(i)->isChecked(), i == page);

        // Choosing the page shown changes nothing, from either side.
        QSignalSpy stackChanges(stack, &QStackedWidget::currentChanged);
        QSignalSpy navChanges(w.navigationBar(), &QListWidget::currentRowChanged);
        w.showPage(page);
        w.selectEntry(page);
        QCOMPARE(stackChanges.count(), 0);
        QCOMPARE(navChanges.count(), 0);
    }

    void navigationAndMenuTexts() {
        AnalysisSession session;
        MainWindow w(session);
        const std::array<const char*, kPageCount> nav{
            "基本信息",     "TR101 290监测", "节目分析", "传送流浏览", "PCR分析",
            "PSI/SI表分析", "缓冲器分析",    "PES分析",  "数据捕获",   "电子节目指南"};
        const std::array<const char*, kPageCount> menu{
            "基本信息",     "TR101 290监测", "节目分析", "带宽信息", "PCR分析",
            "PSI/SI表分析", "缓冲器分析",    "PES分析",  "数据捕获", "电子节目指南"};
        QCOMPARE(w.navigationBar()->count(), kPageCount);
        for (int i = 0; i < kPageCount; ++i) {
            QCOMPARE(w.navigationBar()->item(i)->text(), QString::fromUtf8(nav[i]));
            QVERIFY(!w.navigationBar()->item(i)->icon().isNull());
            QCOMPARE(w.pageAction(i)->text(), QString::fromUtf8(menu[i]));
        }
    }

    // Whatever the widest page holds, the window fits a 1366 x 768 laptop screen (title bar and
    // panel included): the pages scroll inside it instead.
    void windowFitsASmallScreen() {
        AnalysisSession session;
        MainWindow w(session);
        const QSize least = w.minimumSizeHint().expandedTo(w.minimumSize());
        QVERIFY2(least.width() <= 1280 && least.height() <= 680,
                 qPrintable(QStringLiteral("%1x%2").arg(least.width()).arg(least.height())));
        for (int i = 0; i < kPageCount; ++i) {
            w.showPage(i);
            QVERIFY(w.page(i)->isVisibleTo(&w));
        }
    }

    // The sample's five injected faults, and nothing else, light their lamps.
    void sampleResults() {
        AnalysisSession session;
        MainWindow w(session);
        w.analyseFile(kSample);
        QCOMPARE(w.currentPage(), static_cast<int>(kPageTr290));
        QVERIFY(test::waitForPass(session));
        w.tick();
        ResultsView& r = *w.resultsView();
        // Continuity (a loss and a triple packet), transport error, scrambling without CAT, an
        // unreferenced PID three times.
        const std::map<int, QString> red{{3, "2"}, {7, "1"}, {13, "1"}, {20, "3"}};
        for (int k = 0; k < kKindCount; ++k) {
            const auto it = red.find(k);
            QVERIFY2(r.lampRed(k) == (it != red.end()), qPrintable(QString("kind %1").arg(k)));
            QCOMPARE(r.counterBox(k)->text(), it != red.end() ? it->second : QStringLiteral("0"));
        }
        QTreeWidget& events = *r.eventList();
        QCOMPARE(events.topLevelItemCount(), 8);
        QCOMPARE(events.topLevelItem(1)->text(3),
                 QStringLiteral("PID=0x0101的TS包出现丢包 第11228包"));
        QCOMPARE(events.topLevelItem(2)->text(3),
                 QStringLiteral("PID=0x0102的TS包出现超过2次 第21351包"));
        QCOMPARE(events.topLevelItem(3)->text(3),
                 QStringLiteral("PID0x0201的TS包传送错误标志位等于'1' 第31918包"));
        QCOMPARE(events.topLevelItem(7)->text(3),
                 QStringLiteral("TS包(PID=0x0202)加扰不等于'00'且CAT没有出现 第47965包"));
        QCOMPARE(events.topLevelItem(1)->text(0), QStringLiteral("01"));

        // The tables of the sample: no CAT and no BAT.
        QStringList tables;
        for (int i = 0; i < w.tableTreeView()->tree()->topLevelItemCount(); ++i)
            tables << w.tableTreeView()->tree()->topLevelItem(i)->text(0);
        QCOMPARE(tables, QStringList({"NIT", "SDT", "EIT", "TDT", "TOT"}));
    }

    // A switch turned off while the file is analysed holds from the next block on: the
    // unreferenced PID of the sample (from packet 37577) is no longer reported.
    void switchesApplyToTheRunningAnalysis() {
        AnalysisSession session;
        MainWindow w(session);
        w.analyseFile(kSample);
        MonitorSwitches s;
        s.fill(1);
        s[20] = 0;
        session.setSwitches(s);
        QVERIFY(test::waitForPass(session));
        // The change reached the running analysis. Whether it came before the fault at packet
        // 37577 depends on the threads' timing (a loaded machine may run the whole file first), so
        // the lamps are checked on the next run, which keeps the context's switches.
        bool applied = false;
        QVERIFY(session.access([&applied](AnalysisContext& ctx, ResultsPage&) {
            applied = ctx.monitorEnabled[20] == 0 && ctx.monitorEnabled[3] != 0;
        }));
        QVERIFY(applied);
        session.stop();
        w.analyseFile(kSample);
        QVERIFY(test::waitForPass(session));
        w.tick();
        QVERIFY(!w.resultsView()->lampRed(20));
        QVERIFY(w.resultsView()->lampRed(3));
        QCOMPARE(w.resultsView()->eventList()->topLevelItemCount(), 5);
    }

    // Closing the window during a run stops it and the pending events reach the error log.
    void closeDuringRunWritesTheLog() {
        QFile::remove(folders_.errorLogPath());
        AnalysisSession session;
        MainWindow w(session);
        w.analyseFile(kSample);
        QVERIFY(session.fileThreadRunning());
        QVERIFY(w.close());
        QVERIFY(!session.fileThreadRunning());
        QVERIFY(!session.analysisActive());
        QFile log(folders_.errorLogPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray bytes = log.readAll();
        const std::string runEvent = utf8ToCp936("离线数据分析!").text;
        QVERIFY(bytes.contains(QByteArray::fromStdString(runEvent)));
    }

    // The panel's "停止分析" ends the run; the stop completes as the menu's does.
    void progressPanelStops() {
        AnalysisSession session;
        MainWindow w(session);
        w.analyseFile(kSample);
        w.tick();
        QVERIFY(w.progressPanel()->isVisible());
        QTest::mouseClick(w.progressPanel()->stopButton(), Qt::LeftButton);
        QVERIFY(test::waitForPass(session));
        QVERIFY(!session.analysisActive());
        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪-停止分析"));
        w.tick();
        QVERIFY(!w.progressPanel()->isVisible());
    }

    void onlineWithSimulatedCard() {
        AnalysisSession session;
        MainWindow w(session);
        w.action(Command::Online)->trigger();
        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪-在线分析"));
        checkAvailability(w, true);
        QVERIFY(QTest::qWaitFor(
            [&] {
                w.tick();
                return w.initDialog()->isVisible();
            },
            5000));
        QTest::mouseClick(w.initDialog()->stopButton(), Qt::LeftButton);
        QVERIFY(!session.analysisActive());
        checkAvailability(w, false);
        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪-停止分析"));
        w.tick();
        QVERIFY(!w.initDialog()->isVisible());
    }

    // A file that cannot be analysed shows its message and leaves the window idle, with the
    // title it had before; a file without any usable PCR says why instead of ending silently.
    void filesThatCannotBeAnalysed_data() {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("too short") << "short"
                                   << "文件长度不够!";
        QTest::newRow("no sync byte") << "zeros"
                                      << "文件错误！未找到TS分组头！";
        QTest::newRow("no PCR") << "nopcr"
                                << "文件初始化失败";
    }
    void filesThatCannotBeAnalysed() {
        QFETCH(QString, content);
        QFETCH(QString, message);
        std::vector<uint8_t> bytes;
        if (content == "short") bytes.assign(1000, 0x47);
        if (content == "zeros") bytes.assign(600'000, 0);
        if (content == "nopcr") {
            tsgen::Fault gap;
            gap.kind = tsgen::FaultKind::PcrGap;
            gap.at = 0;
            gap.until = 60'000;
            bytes = tsgen::generateStream(tsgen::cleanPreset().config, {gap});
        }
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath("bad.ts");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        f.close();

        const test::CapturedMessages messages;
        AnalysisSession session;
        MainWindow w(session);
        w.analyseFile(path);
        QVERIFY(test::waitForPass(session));
        QCOMPARE(messages.texts(), QStringList{message});
        QVERIFY(!session.analysisActive());
        checkAvailability(w, false);
        QCOMPARE(w.windowTitle(), QStringLiteral("码流分析仪"));
        w.tick();
        QVERIFY(!w.progressPanel()->isVisible());
    }

    void help_data() {
        QTest::addColumn<bool>("filePresent");
        QTest::addColumn<bool>("openerTakesIt");
        QTest::addColumn<bool>("messageShown");
        QTest::newRow("missing file") << false << true << true;
        QTest::newRow("file opened") << true << true << false;
        QTest::newRow("opener refuses") << true << false << true;
    }
    void help() {
        QFETCH(bool, filePresent);
        QFETCH(bool, openerTakesIt);
        QFETCH(bool, messageShown);
        QTemporaryDir folder;
        const QString path = QDir(folder.path()).filePath(QString::fromUtf8(kHelpFileName));
        if (filePresent) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        AnalysisSession session;
        MainWindow w(session);
        w.setHelpFolder(folder.path());
        QStringList opened;
        w.setOpener([&](const QString& p) {
            opened << p;
            return openerTakesIt;
        });
        const test::CapturedMessages messages;
        w.action(Command::Help)->trigger();
        QCOMPARE(opened, filePresent ? QStringList{path} : QStringList{});
        QCOMPARE(messages.texts(),
                 messageShown ? QStringList{"找不到帮助文件:码流分析仪帮助.html,请重新安装!"}
                              : QStringList{});
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
