// The monitoring settings dialog, the progress panel's texts and the initialisation dialog.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QtTest>
#include <algorithm>
#include <thread>
#include <vector>

#include "shell/gui/init_dialog_view.h"
#include "shell/gui/monitor_settings_dialog.h"
#include "shell/gui/progress_panel.h"
#include "shell/gui/qt_timer_service.h"

using namespace orv;
using namespace orv::gui;

namespace {

MonitorSwitches allOn() {
    MonitorSwitches s;
    s.fill(1);
    return s;
}

// A dialog with the log options given, recording every change it applies at once.
struct DialogUnderTest {
    std::vector<LogSettings> applied;
    MonitorSettingsDialog dialog;
    DialogUnderTest(const LogSettings& log, const MonitorSwitches& switches = allOn())
        : dialog(switches, log, [this](const LogSettings& l) { applied.push_back(l); }) {}
};

LogSettings logWith(bool save, bool isDefault, const char* path = "c:\\ERROR.log") {
    LogSettings l;
    l.saveLogEnabled = save;
    l.logPathIsDefault = isDefault;
    l.errorLogPath = path;
    return l;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void switchesInTheirGroups_data() {
        QTest::addColumn<int>("k");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("group");
        QTest::newRow("first") << 0 << "同步丢失错"
                               << "一级错误设置";
        QTest::newRow("last of group 1") << 6 << "PID错误"
                                         << "一级错误设置";
        QTest::newRow("first of group 2") << 7 << "传送错误"
                                          << "二级错误设置";
        QTest::newRow("last of group 2") << 14 << "CAT错误"
                                         << "二级错误设置";
        QTest::newRow("first of group 3") << 15 << "NIT ID错误"
                                          << "三级错误设置";
        QTest::newRow("EIT PF") << 27 << "EIT PF 错"
                                << "三级错误设置";
        QTest::newRow("last") << 31 << "数据延迟错误"
                              << "三级错误设置";
    }
    void switchesInTheirGroups() {
        QFETCH(int, k);
        QFETCH(QString, label);
        QFETCH(QString, group);
        MonitorSwitches s = allOn();
        s[static_cast<std::size_t>(k)] = 0;
        DialogUnderTest t(logWith(true, true), s);
        QCheckBox* box = t.dialog.switchBox(k);
        QCOMPARE(box->text(), label);
        QVERIFY(!box->isChecked());
        QCOMPARE(qobject_cast<QGroupBox*>(box->parentWidget())->title(), group);
        QCOMPARE(t.dialog.windowTitle(), QStringLiteral("TR101 290监测参数设置"));
    }

    // Which log controls are usable when the dialog opens.
    void openingState_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<bool>("isDefault");
        QTest::addColumn<bool>("radiosEnabled");
        QTest::addColumn<bool>("pathEnabled");
        QTest::addColumn<bool>("customChecked");
        QTest::newRow("saving off") << false << true << false << false << false;
        QTest::newRow("saving off, user path") << false << false << false << false << true;
        QTest::newRow("default path") << true << true << true << false << false;
        QTest::newRow("user path") << true << false << true << true << true;
    }
    void openingState() {
        QFETCH(bool, save);
        QFETCH(bool, isDefault);
        QFETCH(bool, radiosEnabled);
        QFETCH(bool, pathEnabled);
        QFETCH(bool, customChecked);
        DialogUnderTest t(logWith(save, isDefault, "/tmp/x.log"));
        MonitorSettingsDialog& d = t.dialog;
        QCOMPARE(d.saveLogBox()->isChecked(), save);
        QCOMPARE(d.customPathButton()->isEnabled(), radiosEnabled);
        QCOMPARE(d.defaultPathButton()->isEnabled(), radiosEnabled);
        QCOMPARE(d.intervalField()->isEnabled(), radiosEnabled);
        QCOMPARE(d.pathField()->isEnabled(), pathEnabled);
        QCOMPARE(d.browseButton()->isEnabled(), pathEnabled);
        QCOMPARE(d.customPathButton()->isChecked(), customChecked);
        QCOMPARE(d.pathField()->text(), QStringLiteral("/tmp/x.log"));
        QCOMPARE(d.intervalField()->text(), QStringLiteral("30"));
        QVERIFY(t.applied.empty());
    }

    // The log controls apply at once and stay applied when the dialog is cancelled; the check
    // boxes are taken only by "确定".
    void logControlsApplyAtOnce() {
        DialogUnderTest t(logWith(true, false, "/tmp/mine.log"));
        MonitorSettingsDialog& d = t.dialog;
        d.saveLogBox()->click();
        QCOMPARE(t.applied.size(), std::size_t{1});
        QVERIFY(!t.applied.back().saveLogEnabled);
        QVERIFY(!d.pathField()->isEnabled());
        QVERIFY(!d.intervalField()->isEnabled());
        d.saveLogBox()->click();
        QVERIFY(t.applied.back().saveLogEnabled);
        QVERIFY(d.pathField()->isEnabled());  // the user's path again

        d.defaultPathButton()->click();
        QCOMPARE(d.pathField()->text(), QStringLiteral("c:\\ERROR.log"));
        QVERIFY(t.applied.back().logPathIsDefault);
        QVERIFY(!d.pathField()->isEnabled());
        QVERIFY(!d.browseButton()->isEnabled());
        d.customPathButton()->click();
        QVERIFY(!t.applied.back().logPathIsDefault);
        QVERIFY(d.pathField()->isEnabled());

        d.switchBox(5)->click();
        d.cancelButton()->click();
        QCOMPARE(d.result().switches, MonitorSwitches{});  // nothing taken
        QCOMPARE(d.result().errorLogPath, std::string{});
    }

    void okTakesTheFields_data() {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("button");  // clear all, select all, or none
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QString>("takenPath");
        QTest::addColumn<int>("onCount");
        QTest::newRow("zero minutes") << "0"
                                      << "/tmp/a.log"
                                      << "" << 30 << "/tmp/a.log" << 31;
        QTest::newRow("empty minutes") << ""
                                       << "/tmp/a.log"
                                       << "" << 30 << "/tmp/a.log" << 31;
        QTest::newRow("15 minutes") << "15"
                                    << "/tmp/a.log"
                                    << "" << 15 << "/tmp/a.log" << 31;
        QTest::newRow("empty path") << "5"
                                    << ""
                                    << "" << 5 << "c:\\ERROR.log" << 31;
        QTest::newRow("clear all") << "5"
                                   << "/tmp/a.log"
                                   << "clear" << 5 << "/tmp/a.log" << 0;
        QTest::newRow("select all") << "5"
                                    << "/tmp/a.log"
                                    << "select" << 5 << "/tmp/a.log" << 32;
    }
    void okTakesTheFields() {
        QFETCH(QString, interval);
        QFETCH(QString, path);
        QFETCH(QString, button);
        QFETCH(int, minutes);
        QFETCH(QString, takenPath);
        QFETCH(int, onCount);
        MonitorSwitches s = allOn();
        s[0] = 0;  // only "同步丢失错" off
        DialogUnderTest t(logWith(true, false), s);
        MonitorSettingsDialog& d = t.dialog;
        d.intervalField()->setText(interval);
        d.pathField()->setText(path);
        if (button == "clear") d.clearAllButton()->click();
        if (button == "select") d.selectAllButton()->click();
        d.okButton()->click();
        QCOMPARE(d.result().saveIntervalMinutes, minutes);
        QCOMPARE(QString::fromStdString(d.result().errorLogPath), takenPath);
        int on = 0;
        for (int v : d.result().switches)
            on += v;
        QCOMPARE(on, onCount);
        if (onCount == 31) QCOMPARE(d.result().switches[0], 0);
        QCOMPARE(switchesText(d.result().switches).size(), std::size_t{32});
    }

    void progressLines_data() {
        QTest::addColumn<bool>("initialised");
        QTest::addColumn<bool>("mainPass");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("initialising") << false << false << 0 << "初始化数据......."
                                      << "";
        QTest::newRow("initialised") << true << false << 0 << "初始化数据................. OK!"
                                     << "正在分析数据........";
        QTest::newRow("analysing") << true << true << 42 << "初始化数据................. OK!"
                                   << "正在分析数据.......... 42 %";
    }
    void progressLines() {
        QFETCH(bool, initialised);
        QFETCH(bool, mainPass);
        QFETCH(int, percent);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QCOMPARE(progressFirstLine(initialised), first);
        QCOMPARE(progressSecondLine(initialised, mainPass, percent), second);
    }

    void initDialogDrawsItsModel() {
        InitDialogView view;
        InitDialog model;
        model.show();
        model.setLine(kDialogLinePat + 1, "PMT");
        model.addPid("0x0000");
        model.addPid("0x0100");
        view.show(model);
        QVERIFY(view.isVisible());
        QCOMPARE(view.windowTitle(), QStringLiteral("在线读进数据 . . . . . . ."));
        QCOMPARE(view.line(0)->text(), QStringLiteral("分析PAT......."));
        QCOMPARE(view.line(1)->text(), QStringLiteral("PMT"));
        QCOMPARE(view.pidList()->count(), 2);
        model.addPid("0x0101");
        view.show(model);
        QCOMPARE(view.pidList()->count(), 3);
        QCOMPARE(view.pidList()->item(2)->text(), QStringLiteral("0x0101"));
        model.show();  // a new run: the list starts again
        view.show(model);
        QCOMPARE(view.pidList()->count(), 0);
        model.close();
        view.show(model);
        QVERIFY(!view.isVisible());
    }

    // The run control's timers on Qt: a re-armed timer fires once, a killed one never, and work
    // armed or posted from another thread runs on the GUI thread.
    void timerService() {
        QtTimerService timers;
        std::vector<QString> fired;
        std::vector<bool> onGuiThread;
        const auto record = [&](const char* name) {
            return [&, name] {
                fired.push_back(QString::fromLatin1(name));
                onGuiThread.push_back(QThread::currentThread() == qApp->thread());
            };
        };
        timers.arm(1, std::chrono::milliseconds(5), record("first"));
        timers.arm(1, std::chrono::milliseconds(10), record("re-armed"));
        timers.arm(2, std::chrono::milliseconds(5), record("killed"));
        timers.kill(2);
        std::thread other([&] {
            timers.arm(3, std::chrono::milliseconds(15), record("from thread"));
            timers.post(record("posted"));
        });
        other.join();
        QVERIFY(QTest::qWaitFor([&] { return fired.size() >= 3; }, 2000));
        QTest::qWait(30);
        // Each once, in whatever order a loaded machine lets them run.
        std::sort(fired.begin(), fired.end());
        QCOMPARE(fired, (std::vector<QString>{"from thread", "posted", "re-armed"}));
        for (bool b : onGuiThread)
            QVERIFY(b);
        QVERIFY(!timers.armed(1) && !timers.armed(2) && !timers.armed(3));
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
