#include "shell/gui/interface_dialog_view.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "acquisition/card_tuning.h"
#include "platform/message.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/dialog_fields.h"
#include "shell/gui/dialog_launchers.h"

namespace orv::gui {
namespace {

// Timer 1 of the detector.
constexpr int kScanTimerMs = 500;

}  // namespace

InterfaceDialogView::InterfaceDialogView(InterfaceSettings& settings, QWidget* parent,
                                         ChannelTuner tuner)
    : QDialog(parent), settings_(settings), scan_(tuner ? std::move(tuner) : tuneCableChannel) {
    setWindowTitle(qtext(kInterfaceDialogTitle));
    const InterfaceDialog opened = InterfaceDialog::open(settings);

    auto* inputGroup = new QGroupBox(QStringLiteral("输入接口设置"), this);
    auto* inputForm = new QFormLayout(inputGroup);
    input_ = inputInterfaceList(inputGroup);
    input_->setCurrentIndex(opened.inputIndex);
    qam_ = qamModeList(inputGroup);
    qam_->setCurrentIndex(opened.qamIndex);
    frequency_ = digitEdit(QString::fromStdString(opened.frequencyText),
                           static_cast<int>(kFrequencyFieldChars), inputGroup);
    symbolRate_ = digitEdit(QString::fromStdString(opened.symbolRateText),
                            static_cast<int>(kSymbolRateFieldChars), inputGroup);
    ok_ = new QPushButton(QStringLiteral("确 定"), inputGroup);
    ok_->setDefault(true);
    inputForm->addRow(QStringLiteral("输入接口："), input_);
    inputForm->addRow(QStringLiteral("调制模式："), qam_);
    inputForm->addRow(QStringLiteral("下行频率(KHz):"), frequency_);
    inputForm->addRow(QStringLiteral("符号率(KBaud):"), symbolRate_);
    inputForm->addRow(ok_);
    inputGroup->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    auto* scanGroup = new QGroupBox(QStringLiteral("QAM信号自动检测"), this);
    auto* scanGrid = new QGridLayout(scanGroup);
    scanQam_ = qamModeList(scanGroup);
    scanQam_->setCurrentIndex(opened.scanQamIndex);
    // The detector's symbol rate has the same four places as the input group's.
    scanSymbolRate_ = digitEdit(QString::fromStdString(opened.scanSymbolRateText),
                                static_cast<int>(kSymbolRateFieldChars), scanGroup);
    automatic_ = new QRadioButton(QStringLiteral("自动"), scanGroup);
    manual_ = new QRadioButton(QStringLiteral("手动"), scanGroup);
    automatic_->setChecked(opened.scanAutomatic);
    manual_->setChecked(!opened.scanAutomatic);
    scanFrequency_ = digitEdit(QString::fromStdString(opened.scanFrequencyText),
                               static_cast<int>(kScanFrequencyFieldChars), scanGroup);
    start_ = new QPushButton(QStringLiteral("开 始"), scanGroup);
    stop_ = new QPushButton(QStringLiteral("停 止"), scanGroup);
    results_ = new QListWidget(scanGroup);
    bar_ = new QProgressBar(scanGroup);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    scanGrid->addWidget(new QLabel(QStringLiteral("调制模式:"), scanGroup), 0, 0);
    scanGrid->addWidget(scanQam_, 0, 1);
    scanGrid->addWidget(new QLabel(QStringLiteral("符号率(KBaud)"), scanGroup), 1, 0);
    scanGrid->addWidget(scanSymbolRate_, 1, 1);
    auto* modes = new QHBoxLayout;
    modes->addWidget(automatic_);
    modes->addWidget(manual_);
    scanGrid->addLayout(modes, 2, 0, 1, 2);
    scanGrid->addWidget(new QLabel(QStringLiteral("下行频率(KHz)"), scanGroup), 3, 0);
    scanGrid->addWidget(scanFrequency_, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    scanGrid->addLayout(buttons, 4, 0, 1, 2);
    scanGrid->addWidget(new QLabel(QStringLiteral("检测结果:"), scanGroup), 5, 0, 1, 2);
    scanGrid->addWidget(results_, 6, 0, 1, 2);
    scanGrid->addWidget(bar_, 7, 0, 1, 2);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(inputGroup, 0, Qt::AlignTop);
    layout->addWidget(scanGroup);

    timer_ = new QTimer(this);
    timer_->setInterval(kScanTimerMs);
    connect(timer_, &QTimer::timeout, this, &InterfaceDialogView::tick);
    connect(ok_, &QPushButton::clicked, this, &InterfaceDialogView::accept);
    connect(start_, &QPushButton::clicked, this, &InterfaceDialogView::startScan);
    connect(stop_, &QPushButton::clicked, this, &InterfaceDialogView::stopScan);
    connect(input_, &QComboBox::currentIndexChanged, this,
            &InterfaceDialogView::enableCableControls);
    connect(automatic_, &QRadioButton::toggled, this, [this] { enableScanControls(!scanning_); });

    enableCableControls();
    enableScanControls(true);
}

InterfaceDialogView::~InterfaceDialogView() {
    timer_->stop();
    scan_.stop();
}

InterfaceDialog InterfaceDialogView::model() const {
    InterfaceDialog d;
    d.inputIndex = input_->currentIndex();
    d.qamIndex = qam_->currentIndex();
    d.frequencyText = frequency_->text().toStdString();
    d.symbolRateText = symbolRate_->text().toStdString();
    d.scanQamIndex = scanQam_->currentIndex();
    d.scanSymbolRateText = scanSymbolRate_->text().toStdString();
    d.scanAutomatic = automatic_->isChecked();
    d.scanFrequencyText = scanFrequency_->text().toStdString();
    return d;
}

void InterfaceDialogView::enableCableControls() {
    const bool cable = model().cableControlsEnabled();
    qam_->setEnabled(cable);
    frequency_->setEnabled(cable);
    symbolRate_->setEnabled(cable);
}

void InterfaceDialogView::enableScanControls(bool idle) {
    start_->setEnabled(idle);
    automatic_->setEnabled(idle);
    manual_->setEnabled(idle);
    ok_->setEnabled(idle);
    scanSymbolRate_->setEnabled(idle);
    scanQam_->setEnabled(idle);
    // The frequency field shows the frequency under test while scanning; it is typed into only
    // for a manual test.
    scanFrequency_->setEnabled(idle && manual_->isChecked());
    stop_->setEnabled(!idle && !closeWhenEnded_);
}

void InterfaceDialogView::startScan() {
    if (scanning_) return;
    const InterfaceDialog d = model();
    if (const std::optional<std::string_view> problem = d.scanProblem()) {
        showMessage(*problem);
        return;
    }
    results_->clear();
    resultsShown_ = 0;
    ScanRequest request;
    request.automatic = d.scanAutomatic;
    request.frequencyKHz = fieldNumber(d.scanFrequencyText);
    request.symbolRateK = fieldNumber(d.scanSymbolRateText);
    request.qamIndex = d.scanQamIndex;
    // The card is refused while another user holds it (the scan says who).
    if (const std::optional<std::string> refused = scan_.start(request)) {
        showMessage(*refused);
        return;
    }
    scanning_ = true;
    automaticScan_ = request.automatic;
    bar_->setRange(0, kScanProgressSteps);
    bar_->setValue(0);
    bar_->setFormat(request.automatic ? QStringLiteral("0/%1").arg(qamScanFrequencies().size())
                                      : QString());
    bar_->setTextVisible(request.automatic);
    enableScanControls(false);
    timer_->start();
}

void InterfaceDialogView::stopScan() {
    if (!scanning_) return;
    // The thread ends after the frequency under test; the timer sees it end and brings the
    // controls back. The window is never held while the tuner finishes its sweep.
    scan_.requestStop();
    stop_->setEnabled(false);
}

void InterfaceDialogView::tick() {
    if (!scanning_) return;
    scan_.tick();
    const ScanStatus s = scan_.status();
    for (; resultsShown_ < static_cast<int>(s.results.size()); ++resultsShown_)
        results_->addItem(
            QString::fromStdString(s.results[static_cast<std::size_t>(resultsShown_)]));
    if (!s.scanning) {
        scanEnded();
        return;
    }
    bar_->setValue(s.progress);
    if (automaticScan_) {
        scanFrequency_->setText(QString::number(s.frequencyUnderTest));
        bar_->setFormat(QStringLiteral("%1/%2").arg(s.tried).arg(s.total));
    }
}

void InterfaceDialogView::scanEnded() {
    timer_->stop();
    scan_.join();
    scanning_ = false;
    bar_->setValue(0);
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    enableScanControls(true);
    if (closeWhenEnded_) {
        closeWhenEnded_ = false;
        QDialog::reject();
    }
}

void InterfaceDialogView::accept() {
    if (scanning_) return;
    const InterfaceDialog d = model();
    if (const std::optional<std::string_view> problem = d.acceptProblem()) {
        showMessage(*problem);
        return;
    }
    settings_ = d.accept();
    QDialog::accept();
}

void InterfaceDialogView::reject() {
    if (!scanning_) {
        QDialog::reject();
        return;
    }
    closeWhenEnded_ = true;
    stopScan();
    enableScanControls(false);
}

void runInterfaceDialog(AnalysisSession& session, QWidget* parent) {
    // The detector initialises card 0: never while a run uses it.
    if (session.analysisActive()) return;
    InterfaceDialogView dialog(session.interfaceSettings(), parent);
    dialog.exec();
}

}  // namespace orv::gui
