// The interface settings dialog with its QAM detector, the recording dialog and the QAM status
// panel, on the simulated PCI card whose channel is 474000 kHz / 6875 kbaud / 64-QAM and which
// plays the bundled sample. Dialogs are driven through their controls without exec().
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "acquisition/card_claim.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/interface_dialog_view.h"
#include "shell/gui/qam_status_panel_view.h"
#include "shell/gui/record_dialog_view.h"
#include "tests/gui/gui_test_support.h"

using namespace orv;
using namespace orv::gui;

namespace {

const QString kSample = QStringLiteral(ORV_SAMPLE_STREAM);
// A tune of the simulated demodulator that does not lock runs its whole sweep: bound it well.
constexpr int kScanWaitMs = 60000;
constexpr int kRecordWaitMs = 60000;

QStringList lines(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

// The whole file, and whether it is whole 188-byte packets, each starting with the sync byte.
struct RecordedFile {
    qint64 size = 0;
    bool wholePackets = false;
};
RecordedFile readRecording(const QString& path) {
    QFile f(path);
    RecordedFile r;
    if (!f.open(QIODevice::ReadOnly)) return r;
    const QByteArray bytes = f.readAll();
    r.size = bytes.size();
    r.wholePackets = r.size > 0 && r.size % 188 == 0;
    for (qint64 at = 0; r.wholePackets && at < r.size; at += 188)
        r.wholePackets = static_cast<unsigned char>(bytes[at]) == 0x47;
    return r;
}

}  // namespace

class AcquisitionDialogsTest : public QObject {
    Q_OBJECT

  private:
    test::PrivateFolders folders_;

  private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(kSample)) QSKIP("the bundled sample was not generated");
        qputenv("ORV_SIM_DEVICE", ("pci:file=" + kSample + ",freq=474000,sr=6875,qam=64").toUtf8());
    }

    void interfaceDialogOpensOnTheSettingsAndAcceptsCable() {
        InterfaceSettings settings;
        InterfaceDialogView d(settings);
        QCOMPARE(d.inputList()->currentText(), QStringLiteral("ASI输入"));
        QCOMPARE(d.frequencyEdit()->text(), QStringLiteral("315000"));
        QCOMPARE(d.symbolRateEdit()->text(), QStringLiteral("6875"));
        QCOMPARE(d.qamList()->currentText(), QStringLiteral("64 QAM"));
        QVERIFY(!d.frequencyEdit()->isEnabled());
        QVERIFY(!d.symbolRateEdit()->isEnabled());
        QVERIFY(!d.qamList()->isEnabled());
        QCOMPARE(d.scanFrequencyEdit()->text(), QStringLiteral("52000"));
        QCOMPARE(d.scanSymbolRateEdit()->text(), QStringLiteral("6875"));
        QVERIFY(d.automaticButton()->isChecked());
        QVERIFY(!d.scanFrequencyEdit()->isEnabled());
        QVERIFY(d.startButton()->isEnabled());
        QVERIFY(!d.stopButton()->isEnabled());

        d.inputList()->setCurrentIndex(1);
        QVERIFY(d.frequencyEdit()->isEnabled() && d.symbolRateEdit()->isEnabled() &&
                d.qamList()->isEnabled());
        d.manualButton()->setChecked(true);
        QVERIFY(d.scanFrequencyEdit()->isEnabled());
        // The numeric fields take digits only, the symbol rate four of them.
        d.symbolRateEdit()->clear();
        QTest::keyClicks(d.symbolRateEdit(), "68a755");
        QCOMPARE(d.symbolRateEdit()->text(), QStringLiteral("6875"));
        d.frequencyEdit()->setText(QStringLiteral("474000"));
        d.qamList()->setCurrentIndex(4);
        QCOMPARE(d.qamList()->currentText(), QStringLiteral("256 QAM"));
        d.okButton()->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(int(settings.inputInterface), 1);
        QCOMPARE(settings.cableFrequencyKHz, 474000);
        QCOMPARE(settings.cableSymbolRateK, 6875);
        QCOMPARE(settings.cableQamIndex, 4);

        // Opened again, it shows what was accepted.
        InterfaceDialogView again(settings);
        QCOMPARE(again.inputList()->currentText(), QStringLiteral("CABLE输入"));
        QCOMPARE(again.frequencyEdit()->text(), QStringLiteral("474000"));
        QCOMPARE(again.qamList()->currentText(), QStringLiteral("256 QAM"));
    }

    void interfaceDialogRefusesIncompleteInput_data() {
        QTest::addColumn<bool>("scan");  // "开 始" instead of "确 定"
        QTest::addColumn<int>("input");
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("symbolRate");
        QTest::addColumn<bool>("manual");
        QTest::addColumn<QString>("scanFrequency");
        QTest::addColumn<QString>("scanSymbolRate");
        QTest::addColumn<QString>("message");  // empty: taken
        const QString noFrequency = QStringLiteral("请输入有效的下行频率(KHz)!");
        const QString noSymbolRate = QStringLiteral("请输入有效的符号率(KBaud)!");
        QTest::newRow("cable, empty frequency") << false << 1 << ""
                                                << "6875" << false << "52000"
                                                << "6875" << noFrequency;
        QTest::newRow("cable, frequency 0") << false << 1 << "000"
                                            << "6875" << false << "52000"
                                            << "6875" << noFrequency;
        QTest::newRow("cable, empty symbol rate") << false << 1 << "474000"
                                                  << "" << false << "52000"
                                                  << "6875" << noSymbolRate;
        QTest::newRow("asi ignores the cable fields") << false << 0 << ""
                                                      << "" << false << "52000"
                                                      << "6875" << QString();
        QTest::newRow("manual test without frequency") << true << 0 << "315000"
                                                       << "6875" << true << ""
                                                       << "6875" << noFrequency;
        QTest::newRow("scan without symbol rate") << true << 0 << "315000"
                                                  << "6875" << false << "52000"
                                                  << "0" << noSymbolRate;
    }
    void interfaceDialogRefusesIncompleteInput() {
        QFETCH(bool, scan);
        QFETCH(int, input);
        QFETCH(QString, frequency);
        QFETCH(QString, symbolRate);
        QFETCH(bool, manual);
        QFETCH(QString, scanFrequency);
        QFETCH(QString, scanSymbolRate);
        QFETCH(QString, message);
        const test::CapturedMessages messages;
        const InterfaceSettings before{InputInterface::Cable, 306000, 6900, 1};
        InterfaceSettings settings = before;
        InterfaceDialogView d(settings);
        d.inputList()->setCurrentIndex(input);
        d.frequencyEdit()->setText(frequency);
        d.symbolRateEdit()->setText(symbolRate);
        d.manualButton()->setChecked(manual);
        d.automaticButton()->setChecked(!manual);
        d.scanFrequencyEdit()->setText(scanFrequency);
        d.scanSymbolRateEdit()->setText(scanSymbolRate);
        (scan ? d.startButton() : d.okButton())->click();
        if (message.isEmpty()) {
            QCOMPARE(messages.texts(), QStringList());
            QCOMPARE(d.result(), int(QDialog::Accepted));
            QCOMPARE(int(settings.inputInterface), input);
            return;
        }
        QCOMPARE(messages.texts(), QStringList{message});
        QVERIFY(!d.scanning());
        QCOMPARE(d.resultList()->count(), 0);
        QVERIFY(d.startButton()->isEnabled());
        QCOMPARE(d.result(), int(QDialog::Rejected));  // still open: never accepted
        QCOMPARE(settings.cableFrequencyKHz, before.cableFrequencyKHz);
        QCOMPARE(settings.cableSymbolRateK, before.cableSymbolRateK);
    }

    void manualTestListsTheLockedChannel() {
        InterfaceSettings settings;
        InterfaceDialogView d(settings);
        d.manualButton()->setChecked(true);
        d.scanFrequencyEdit()->setText(QStringLiteral("474000"));
        d.startButton()->click();
        QVERIFY(d.scanning());
        for (QWidget* w : std::initializer_list<QWidget*>{d.startButton(), d.okButton(),
                                                          d.automaticButton(), d.manualButton(),
                                                          d.scanSymbolRateEdit(), d.scanQamList()})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(d.stopButton()->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return !d.scanning(); }, kScanWaitMs));
        QCOMPARE(lines(d.resultList()), QStringList{QStringLiteral("474000KHz...OK!")});
        QVERIFY(d.startButton()->isEnabled() && d.okButton()->isEnabled());
        QVERIFY(!d.stopButton()->isEnabled());
        QCOMPARE(d.progressBar()->value(), 0);
        QCOMPARE(CardClaim::holder(), CardUser::None);
    }

    void scanStopsAfterTheFrequencyUnderTest_data() {
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("stop button") << false;
        QTest::newRow("closing the dialog") << true;
    }
    void scanStopsAfterTheFrequencyUnderTest() {
        QFETCH(bool, byClosing);
        InterfaceSettings settings;
        InterfaceDialogView d(settings);
        d.show();
        d.startButton()->click();
        QVERIFY(d.scanning());
        QCOMPARE(d.progressBar()->maximum(), 20);
        QTest::qWait(600);  // one step of the bar
        if (byClosing)
            d.reject();
        else
            d.stopButton()->click();
        QVERIFY(!d.stopButton()->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return !d.scanning(); }, kScanWaitMs));
        // 52000 kHz and its neighbours hold no channel.
        QCOMPARE(d.resultList()->count(), 0);
        QCOMPARE(d.progressBar()->value(), 0);
        QCOMPARE(CardClaim::holder(), CardUser::None);
        if (byClosing) {
            QVERIFY(!d.isVisible());
            QCOMPARE(d.result(), int(QDialog::Rejected));
        } else {
            QVERIFY(d.isVisible());
            QVERIFY(d.startButton()->isEnabled() && d.automaticButton()->isEnabled());
        }
    }

    void recordingWithASizeLimitWritesWholePackets() {
        const QString path = QDir(folders_.path()).filePath(QStringLiteral("size.ts"));
        RecordDialogView d;
        d.show();
        // As the dialog opens.
        QVERIFY(d.filterButton(FilterMode::All)->isChecked());
        QVERIFY(d.sizeButton()->isChecked());
        QCOMPARE(d.sizeEdit()->text(), QStringLiteral("10"));
        QCOMPARE(d.timeEdit()->text(), QStringLiteral("10"));
        QVERIFY(!d.timeEdit()->isEnabled() && !d.pidEntry()->isEnabled());
        QVERIFY(!d.frequencyEdit()->isEnabled() && !d.stopButton()->isEnabled());
        QCOMPARE(d.qamList()->currentText(), QStringLiteral("64 QAM"));

        d.pathEdit()->setText(path);
        d.sizeEdit()->setText(QStringLiteral("1"));
        d.startButton()->click();
        QVERIFY(d.recording());
        QVERIFY(d.stopButton()->isEnabled());
        QVERIFY(!d.startButton()->isEnabled() && !d.closeButton()->isEnabled() &&
                !d.initButton()->isEnabled() && !d.sizeEdit()->isEnabled());
        // The card is the recording's: nobody else gets it, and closing is refused.
        QVERIFY(!CardClaim::take(CardUser::QamScan).has_value());
        d.reject();
        QVERIFY(d.isVisible());

        QVERIFY(QTest::qWaitFor([&] { return !d.recording(); }, kRecordWaitMs));
        // 10^6 bytes cut at the last whole packet: 5319 x 188 = 999 972.
        const RecordedFile file = readRecording(path);
        QCOMPARE(file.size, qint64(999972));
        QVERIFY(file.wholePackets);
        const QStringList info = lines(d.infoList());
        QVERIFY2(info.size() > 3, qPrintable(info.join('|')));
        QCOMPARE(info.mid(0, 2), (QStringList{QStringLiteral("初始化成功！"),
                                              QStringLiteral("正在分析传送流......")}));
        for (const char* pid : {"0x0000", "0x0100", "0x0101", "0x0102", "0x0200", "0x0210"})
            QVERIFY2(info.contains(QString::fromLatin1(pid)), pid);
        QCOMPARE(d.packetLengthEdit()->text(), QStringLiteral("188"));
        QVERIFY(!d.bitrateEdit()->text().isEmpty());
        QCOMPARE(d.progressBar()->value(), 100);
        QCOMPARE(d.percentLabel()->text(), QStringLiteral(" "));
        QVERIFY(d.startButton()->isEnabled() && d.closeButton()->isEnabled() &&
                d.initButton()->isEnabled() && d.sizeEdit()->isEnabled());
        QVERIFY(!d.stopButton()->isEnabled() && !d.timeEdit()->isEnabled());
        QCOMPARE(CardClaim::holder(), CardUser::None);
    }

    void recordingShowsItsProgressAndStops() {
        const QString path = QDir(folders_.path()).filePath(QStringLiteral("time.ts"));
        RecordDialogView d;
        d.timeButton()->setChecked(true);
        QVERIFY(d.timeEdit()->isEnabled() && !d.sizeEdit()->isEnabled());
        d.timeEdit()->setText(QStringLiteral("100"));
        d.pathEdit()->setText(path);
        d.startButton()->click();
        QVERIFY(d.recording());
        // Two seconds of recording after the initialisation step: 2 of 100 seconds.
        QVERIFY(QTest::qWaitFor([&] { return d.progressBar()->value() >= 2; }, kRecordWaitMs));
        QCOMPARE(d.progressBar()->maximum(), 100);
        QVERIFY(d.percentLabel()->text().endsWith(QStringLiteral(" %")));
        QVERIFY(d.percentLabel()->text().section(' ', 0, 0).toInt() >= 2);
        d.stopButton()->click();
        QVERIFY(!d.stopButton()->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return !d.recording(); }, 10000));
        const RecordedFile file = readRecording(path);
        QVERIFY(file.wholePackets);
        // At 8 Mbit/s, two seconds and more are well over 1 MB.
        QVERIFY2(file.size > 1000000, qPrintable(QString::number(file.size)));
        QCOMPARE(d.progressBar()->value(), 100);
        QVERIFY(d.startButton()->isEnabled() && d.timeEdit()->isEnabled());
    }

    void initialisationListsWhatTheInputHolds_data() {
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("recordMode");
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QStringList>("firstLines");
        QTest::addColumn<bool>("pidsListed");
        QTest::addColumn<QString>("packetLength");
        const QString ok = QStringLiteral("初始化成功！");
        const QString analysing = QStringLiteral("正在分析传送流......");
        QTest::newRow("synchronised")
            << 0 << 0 << "315000" << QStringList{ok, analysing} << true << "188";
        QTest::newRow("not synchronised")
            << 0 << 1 << "315000" << QStringList{ok, analysing, QStringLiteral("不同步方式录制!")}
            << false << "";
        QTest::newRow("cable on its channel")
            << 1 << 0 << "474000" << QStringList{ok, analysing} << true << "188";
        QTest::newRow("cable off the channel")
            << 1 << 0 << "482000" << QStringList{QStringLiteral("初始化失败！")} << false << "";
    }
    void initialisationListsWhatTheInputHolds() {
        QFETCH(int, input);
        QFETCH(int, recordMode);
        QFETCH(QString, frequency);
        QFETCH(QStringList, firstLines);
        QFETCH(bool, pidsListed);
        QFETCH(QString, packetLength);
        RecordDialogView d;
        d.inputList()->setCurrentIndex(input);
        QCOMPARE(d.frequencyEdit()->isEnabled(), input == 1);
        d.recordModeList()->setCurrentIndex(recordMode);
        d.frequencyEdit()->setText(frequency);
        d.initButton()->click();
        QVERIFY(d.initialising());
        QVERIFY(!d.startButton()->isEnabled() && !d.closeButton()->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return !d.initialising(); }, kRecordWaitMs));
        const QStringList info = lines(d.infoList());
        QCOMPARE(info.mid(0, static_cast<int>(firstLines.size())), firstLines);
        // Every further line is one PID of the input, each once.
        const QStringList pids = info.mid(static_cast<int>(firstLines.size()));
        QCOMPARE(!pids.isEmpty(), pidsListed);
        for (const QString& pid : pids)
            QVERIFY2(
                pid.startsWith(QStringLiteral("0x")) && pid.size() == 6 && pids.count(pid) == 1,
                qPrintable(pid));
        if (pidsListed) QVERIFY(pids.contains(QStringLiteral("0x0000")));
        QCOMPARE(d.packetLengthEdit()->text(), packetLength);
        QVERIFY(d.startButton()->isEnabled() && d.initButton()->isEnabled());
        QCOMPARE(CardClaim::holder(), CardUser::None);
    }

    void pidListAndAnEmptySelection() {
        RecordDialogView d;
        d.filterButton(FilterMode::Only)->setChecked(true);
        QVERIFY(d.pidEntry()->isEnabled() && d.addButton()->isEnabled());
        for (const char* entry : {"1fff", "0x1FFF", "2000", "xyz", "0x0100"}) {
            d.pidEntry()->setText(QString::fromLatin1(entry));
            d.addButton()->click();
        }
        QCOMPARE(lines(d.pidList()), (QStringList{"0x1fff", "0x0100"}));
        d.pidList()->setCurrentRow(0);
        d.removeButton()->click();
        d.pidList()->setCurrentRow(0);
        d.removeButton()->click();
        QCOMPARE(d.pidList()->count(), 0);
        // Keeping only listed PIDs with none listed: "开始" does nothing.
        const QString path = QDir(folders_.path()).filePath(QStringLiteral("none.ts"));
        d.pathEdit()->setText(path);
        d.startButton()->click();
        QVERIFY(!d.busy());
        QVERIFY(!QFile::exists(path));
        QVERIFY(d.startButton()->isEnabled());
    }

    void theCardClaimRefusesASecondUser() {
        const test::CapturedMessages messages;
        std::optional<CardClaim> online = CardClaim::take(CardUser::OnlineAnalysis);
        QVERIFY(online.has_value());
        const QString busy = QStringLiteral(
            "card 0 is busy with online analysis: it cannot be "
            "used until that ends");

        InterfaceSettings settings;
        InterfaceDialogView scanDialog(settings);
        scanDialog.manualButton()->setChecked(true);
        scanDialog.scanFrequencyEdit()->setText(QStringLiteral("474000"));
        scanDialog.startButton()->click();
        QVERIFY(!scanDialog.scanning());
        QCOMPARE(scanDialog.resultList()->count(), 0);

        const QString path = QDir(folders_.path()).filePath(QStringLiteral("refused.ts"));
        RecordDialogView recordDialog;
        recordDialog.pathEdit()->setText(path);
        recordDialog.initButton()->click();
        recordDialog.startButton()->click();
        QVERIFY(!recordDialog.busy());
        QVERIFY(!QFile::exists(path));
        QCOMPARE(messages.texts(), (QStringList{busy, busy, busy}));

        // Released, the card serves the next user.
        online.reset();
        recordDialog.initButton()->click();
        QVERIFY(recordDialog.initialising());
        QVERIFY(!recordDialog.startButton()->isEnabled() &&
                !recordDialog.closeButton()->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return !recordDialog.initialising(); }, kRecordWaitMs));
        QCOMPARE(recordDialog.infoList()->item(0)->text(), QStringLiteral("初始化成功！"));
        QCOMPARE(recordDialog.packetLengthEdit()->text(), QStringLiteral("188"));
        QVERIFY(recordDialog.startButton()->isEnabled());
        QCOMPARE(CardClaim::holder(), CardUser::None);
    }

    void qamPanelFollowsTheRun() {
        AnalysisSession session;
        QamStatusPanelView panel(session);
        auto texts = [&panel] {
            QStringList out;
            for (int i = 0; i < 5; ++i)
                out << panel.value(i)->text();
            return out;
        };
        const QStringList none(5, QStringLiteral(" - "));
        QCOMPARE(texts(), none);

        // An offline run shows " - " everywhere.
        session.interfaceSettings() = {InputInterface::Cable, 474000, 6875, 2};
        QVERIFY(session.startOffline(kSample));
        QVERIFY(test::waitForPass(session));
        panel.refresh();
        QCOMPARE(texts(), none);
        QCOMPARE(panel.qualityBar()->maximum(), 1000);
        QCOMPARE(panel.qualityBar()->value(), 0);
        session.stop();

        // Online on the CABLE input: the run's settings, locked, the bar over 0 to 45 dB.
        QVERIFY(session.startOnline());
        const bool initDone = QTest::qWaitFor(
            [&] {
                bool done = false;
                session.access([&](AnalysisContext& ctx, ResultsPage&) { done = ctx.initDone; });
                return done;
            },
            kRecordWaitMs);
        QVERIFY(initDone);
        panel.refresh();
        QCOMPARE(texts(),
                 (QStringList{"CABLE 输入", "锁定", "474000 kHz", "6875 kbaud", "64 QAM"}));
        QCOMPARE(panel.qualityBar()->maximum(), 4500);
        session.stop();
        QCOMPARE(texts(), none);
        QCOMPARE(CardClaim::holder(), CardUser::None);
    }
};

QTEST_MAIN(AcquisitionDialogsTest)
#include "acquisition_dialogs_test.moc"
