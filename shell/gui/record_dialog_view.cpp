#include "shell/gui/record_dialog_view.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
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
#include <algorithm>

#include "acquisition/card_claim.h"
#include "acquisition/interface_dialog.h"
#include "acquisition/record_card_feed.h"
#include "platform/message.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/dialog_fields.h"
#include "shell/gui/dialog_launchers.h"

namespace orv::gui {
namespace {

constexpr const char* kRecordDialogTitle = "TS码流录制";
// Timer 1 of a recording; after a stop the end is looked for more often.
constexpr int kProgressTimerMs = 1000;
constexpr int kStopPollMs = 100;
constexpr int kLimitFieldChars = 6;
constexpr int kPidEntryChars = 6;  // "0x" and four digits
constexpr int kDefaultFrequencyKHz = 315000;
constexpr int kDefaultSymbolRateK = 6875;
constexpr std::string_view kPidListFull = "PID列表已满(最多50个)!";

}  // namespace

RecordDialogView::RecordDialogView(QWidget* parent, std::unique_ptr<RecordFeed> feed)
    : QDialog(parent),
      feed_(feed ? std::move(feed) : std::make_unique<RecordCardFeed>()),
      recorder_(*feed_) {
    setWindowTitle(QString::fromUtf8(kRecordDialogTitle));

    // --- 参数设置 ---
    auto* inputGroup = new QGroupBox(QStringLiteral("参数设置"), this);
    auto* inputForm = new QFormLayout(inputGroup);
    input_ = inputInterfaceList(inputGroup);
    recordMode_ = new QComboBox(inputGroup);
    recordMode_->addItems({QStringLiteral("同步"), QStringLiteral("不同步")});
    frequency_ =
        digitEdit(QString::number(kDefaultFrequencyKHz), int(kFrequencyFieldChars), inputGroup);
    symbolRate_ =
        digitEdit(QString::number(kDefaultSymbolRateK), int(kSymbolRateFieldChars), inputGroup);
    qam_ = qamModeList(inputGroup);
    init_ = new QPushButton(QStringLiteral("初始化"), inputGroup);
    inputForm->addRow(QStringLiteral("输入接口"), input_);
    inputForm->addRow(QStringLiteral("录制方式"), recordMode_);
    inputForm->addRow(QStringLiteral("下行频率(KHz)"), frequency_);
    inputForm->addRow(QStringLiteral("符号率(KBaud)"), symbolRate_);
    inputForm->addRow(QStringLiteral("调制模式："), qam_);
    inputForm->addRow(init_);

    // --- 传送流信息 ---
    auto* infoGroup = new QGroupBox(QStringLiteral("传送流信息"), this);
    auto* infoForm = new QFormLayout(infoGroup);
    bitrate_ = new QLineEdit(infoGroup);
    bitrate_->setReadOnly(true);
    packetLength_ = new QLineEdit(infoGroup);
    packetLength_->setReadOnly(true);
    info_ = new QListWidget(infoGroup);
    infoForm->addRow(QStringLiteral("当前码率(Mbps)"), bitrate_);
    infoForm->addRow(QStringLiteral("分组长度(Bytes)"), packetLength_);
    infoForm->addRow(new QLabel(QStringLiteral("初始化信息:"), infoGroup));
    infoForm->addRow(info_);

    // --- 码流录制设置 ---
    auto* filterBox = new QGroupBox(QStringLiteral("码流录制设置"), this);
    auto* filterGrid = new QGridLayout(filterBox);
    filterGroup_ = new QButtonGroup(this);
    const char* filterTexts[] = {"不作处理进行录制：", "过滤以下PID进行录制：",
                                 "选择以下PID进行录制："};
    for (int mode = 0; mode < 3; ++mode) {
        auto* radio = new QRadioButton(QString::fromUtf8(filterTexts[mode]), filterBox);
        filterGroup_->addButton(radio, mode);
        filterGrid->addWidget(radio, mode, 0, 1, 3);
    }
    filterButton(FilterMode::All)->setChecked(true);
    pidEntry_ = new QLineEdit(filterBox);
    pidEntry_->setMaxLength(kPidEntryChars);
    add_ = new QPushButton(QStringLiteral("增加"), filterBox);
    remove_ = new QPushButton(QStringLiteral("删除"), filterBox);
    pidList_ = new QListWidget(filterBox);
    filterGrid->addWidget(new QLabel(QStringLiteral("PID 0x"), filterBox), 3, 0);
    filterGrid->addWidget(pidEntry_, 3, 1);
    auto* pidButtons = new QHBoxLayout;
    pidButtons->addWidget(add_);
    pidButtons->addWidget(remove_);
    filterGrid->addLayout(pidButtons, 3, 2);
    filterGrid->addWidget(pidList_, 4, 0, 1, 3);
    filterGrid->setColumnStretch(1, 1);

    // --- 录制方式 ---
    auto* limitBox = new QGroupBox(QStringLiteral("录制方式"), this);
    auto* limitGrid = new QGridLayout(limitBox);
    sizeLimit_ = new QRadioButton(QStringLiteral("文件大小："), limitBox);
    timeLimit_ = new QRadioButton(QStringLiteral("文件时间："), limitBox);
    auto* limitGroup = new QButtonGroup(this);
    limitGroup->addButton(sizeLimit_);
    limitGroup->addButton(timeLimit_);
    sizeLimit_->setChecked(true);
    sizeEdit_ = digitEdit(QStringLiteral("10"), kLimitFieldChars, limitBox);
    timeEdit_ = digitEdit(QStringLiteral("10"), kLimitFieldChars, limitBox);
    limitGrid->addWidget(sizeLimit_, 0, 0);
    limitGrid->addWidget(sizeEdit_, 0, 1);
    limitGrid->addWidget(new QLabel(QStringLiteral("MBytes"), limitBox), 0, 2);
    limitGrid->addWidget(timeLimit_, 1, 0);
    limitGrid->addWidget(timeEdit_, 1, 1);
    limitGrid->addWidget(new QLabel(QStringLiteral("秒"), limitBox), 1, 2);

    // --- file, progress, buttons ---
    path_ = new QLineEdit(this);
    browse_ = new QPushButton(QStringLiteral("..."), this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    percent_ = new QLabel(this);
    percent_->setMinimumWidth(48);
    written_ = new QLabel(this);
    start_ = new QPushButton(QStringLiteral("开始"), this);
    stop_ = new QPushButton(QStringLiteral("停止"), this);
    close_ = new QPushButton(QStringLiteral("关闭"), this);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel(QStringLiteral("文  件："), this));
    fileRow->addWidget(path_, 1);
    fileRow->addWidget(browse_);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(new QLabel(QStringLiteral("已完成："), this));
    progressRow->addWidget(bar_, 1);
    progressRow->addWidget(percent_);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(written_, 1);
    buttonRow->addWidget(start_);
    buttonRow->addWidget(stop_);
    buttonRow->addWidget(close_);

    auto* top = new QHBoxLayout;
    top->addWidget(inputGroup);
    top->addWidget(infoGroup, 1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(filterBox, 1);
    middle->addWidget(limitBox);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle);
    layout->addLayout(fileRow);
    layout->addLayout(progressRow);
    layout->addLayout(buttonRow);

    timer_ = new QTimer(this);
    timer_->setInterval(kProgressTimerMs);
    connect(timer_, &QTimer::timeout, this, &RecordDialogView::tick);
    connect(input_, &QComboBox::currentIndexChanged, this, &RecordDialogView::enableInputControls);
    connect(filterGroup_, &QButtonGroup::idToggled, this, &RecordDialogView::enableFilterControls);
    connect(sizeLimit_, &QRadioButton::toggled, this, &RecordDialogView::enableLimitControls);
    connect(init_, &QPushButton::clicked, this, &RecordDialogView::initialise);
    connect(add_, &QPushButton::clicked, this, &RecordDialogView::addPid);
    connect(pidEntry_, &QLineEdit::returnPressed, this, &RecordDialogView::addPid);
    connect(remove_, &QPushButton::clicked, this, &RecordDialogView::removePid);
    connect(browse_, &QPushButton::clicked, this, &RecordDialogView::browse);
    connect(start_, &QPushButton::clicked, this, &RecordDialogView::startRecording);
    connect(stop_, &QPushButton::clicked, this, &RecordDialogView::stopRecording);
    connect(close_, &QPushButton::clicked, this, &RecordDialogView::reject);

    enableIdleControls(true);
}

RecordDialogView::~RecordDialogView() {
    timer_->stop();
    recorder_.requestStop();
    if (initThread_.joinable()) initThread_.join();
    recorder_.stop();
}

QRadioButton* RecordDialogView::filterButton(FilterMode mode) const {
    return qobject_cast<QRadioButton*>(filterGroup_->button(static_cast<int>(mode)));
}

RecordSettings RecordDialogView::settingsFromControls() const {
    RecordSettings s;
    s.input.inputInterface =
        input_->currentIndex() == 1 ? InputInterface::Cable : InputInterface::Asi;
    s.input.cableFrequencyKHz =
        frequency_->text().isEmpty() ? kDefaultFrequencyKHz : digitValue(frequency_);
    s.input.cableSymbolRateK =
        symbolRate_->text().isEmpty() ? kDefaultSymbolRateK : digitValue(symbolRate_);
    s.input.cableQamIndex = qam_->currentIndex();
    s.recordMode = recordMode_->currentIndex() == 1 ? RecordMode::Raw : RecordMode::Synchronised;
    s.filterMode = static_cast<FilterMode>(std::max(0, filterGroup_->checkedId()));
    if (s.filterMode != FilterMode::All) s.pids = pids_.pids();
    s.limitMode = timeLimit_->isChecked() ? LimitMode::Time : LimitMode::Size;
    s.limit = digitValue(s.limitMode == LimitMode::Time ? timeEdit_ : sizeEdit_);
    s.path = path_->text().toStdString();
    return s;
}

bool RecordDialogView::cardRefused() const {
    if (!feed_->usesCard() || CardClaim::holder() == CardUser::None) return false;
    showMessage(CardClaim::busyMessage());
    return true;
}

void RecordDialogView::enableInputControls() {
    const bool cable = input_->currentIndex() == 1;
    const bool idle = !busy();
    frequency_->setEnabled(idle && cable);
    symbolRate_->setEnabled(idle && cable);
    qam_->setEnabled(idle && cable);
}

void RecordDialogView::enableFilterControls() {
    const bool listed = filterGroup_->checkedId() > 0 && !recording_;
    pidEntry_->setEnabled(listed);
    add_->setEnabled(listed);
    remove_->setEnabled(listed);
    pidList_->setEnabled(listed);
}

void RecordDialogView::enableLimitControls() {
    sizeEdit_->setEnabled(!recording_ && sizeLimit_->isChecked());
    timeEdit_->setEnabled(!recording_ && timeLimit_->isChecked());
}

void RecordDialogView::enableIdleControls(bool idle) {
    input_->setEnabled(idle);
    recordMode_->setEnabled(idle);
    init_->setEnabled(idle);
    for (QAbstractButton* b : filterGroup_->buttons())
        b->setEnabled(idle);
    sizeLimit_->setEnabled(idle);
    timeLimit_->setEnabled(idle);
    path_->setEnabled(idle);
    browse_->setEnabled(idle);
    start_->setEnabled(idle);
    close_->setEnabled(idle);
    stop_->setEnabled(!idle && recording_);
    // The mode rules hold after a stop too: cable fields for CABLE, the PID controls for a
    // filter, the field of the chosen limit.
    enableInputControls();
    enableFilterControls();
    enableLimitControls();
}

void RecordDialogView::showInit(const RecordInit& init) {
    info_->clear();
    for (const std::string& line : init.lines)
        info_->addItem(QString::fromStdString(line));
    infoShown_ = init.lines;
    bitrate_->setText(QString::fromStdString(init.bitrateText));
    packetLength_->setText(QString::fromStdString(init.packetLengthText));
}

void RecordDialogView::initialise() {
    if (busy() || cardRefused()) return;
    info_->clear();
    infoShown_.clear();
    bitrate_->clear();
    packetLength_->clear();
    initialising_ = true;
    // "初始化", "开始" and "关闭" wait for the step; it takes about a second of the input.
    init_->setEnabled(false);
    start_->setEnabled(false);
    close_->setEnabled(false);
    const RecordSettings settings = settingsFromControls();
    initThread_ = std::thread([this, settings] {
        initResult_ = recorder_.initialise(settings);
        QMetaObject::invokeMethod(
            this, [this] { initialiseEnded(); }, Qt::QueuedConnection);
    });
}

void RecordDialogView::initialiseEnded() {
    if (initThread_.joinable()) initThread_.join();
    initialising_ = false;
    showInit(initResult_);
    enableIdleControls(true);
}

void RecordDialogView::startRecording() {
    if (busy()) return;
    const RecordSettings settings = settingsFromControls();
    if (settings.path.empty()) return;
    if (settings.filterMode == FilterMode::Only && settings.pids.empty()) return;
    if (cardRefused()) return;
    // The recorder shows why it cannot start (the card taken meanwhile).
    if (recorder_.start(settings)) return;
    recording_ = true;
    recordSettings_ = settings;
    info_->clear();
    infoShown_.clear();
    bitrate_->clear();
    packetLength_->clear();
    bar_->setRange(0, 100);
    bar_->setValue(0);
    percent_->clear();
    written_->clear();
    enableIdleControls(false);
    timer_->setInterval(kProgressTimerMs);
    timer_->start();
}

void RecordDialogView::stopRecording() {
    if (!recording_) return;
    // The thread completes the file after its current read; the timer sees it end.
    recorder_.requestStop();
    stop_->setEnabled(false);
    timer_->setInterval(kStopPollMs);
}

void RecordDialogView::tick() {
    if (!recording_) return;
    const RecordStatus s = recorder_.status();
    if (s.init.lines != infoShown_) showInit(s.init);
    if (s.state == RecordState::Ended) {
        recordingEnded();
        return;
    }
    if (s.state != RecordState::Recording) return;
    const int percent = recordPercent(s, recordSettings_);
    const std::int64_t limit = recordSettings_.limit;
    if (recordSettings_.limitMode == LimitMode::Time && limit > 0) {
        const int range = static_cast<int>(std::min<std::int64_t>(limit, 999999));
        bar_->setRange(0, range);
        bar_->setValue(std::min(range, static_cast<int>(s.seconds)));
    } else {
        bar_->setRange(0, 100);
        bar_->setValue(percent);
    }
    percent_->setText(QStringLiteral("%1 %").arg(percent));
    written_->setText(QStringLiteral("已写入 %L1 字节").arg(static_cast<qulonglong>(s.bytes)));
}

void RecordDialogView::recordingEnded() {
    timer_->stop();
    recorder_.stop();  // the thread has ended: the join is immediate
    const RecordStatus s = recorder_.status();
    recording_ = false;
    bar_->setRange(0, 100);
    // A start that found no usable input ends before anything was recorded: the bar stays.
    bar_->setValue(s.endedBy == RecordEnd::InputFailed ? 0 : 100);
    percent_->setText(QStringLiteral(" "));
    written_->setText(
        s.endedBy == RecordEnd::InputFailed
            ? QString()
            : QStringLiteral("已写入 %L1 字节").arg(static_cast<qulonglong>(s.bytes)));
    timer_->setInterval(kProgressTimerMs);
    enableIdleControls(true);
}

void RecordDialogView::addPid() {
    if (pids_.lines.size() >= kMaxRecordPids) {
        showMessage(kPidListFull);
        return;
    }
    if (pids_.add(pidEntry_->text().trimmed().toStdString()))
        pidList_->addItem(QString::fromStdString(pids_.lines.back()));
}

void RecordDialogView::removePid() {
    const int row = pidList_->currentRow();
    if (row < 0) return;
    pids_.remove(static_cast<std::size_t>(row));
    delete pidList_->takeItem(row);
}

void RecordDialogView::browse() {
    QFileDialog dialog(this, QStringLiteral("TS码流录制"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("ts"));
    dialog.setNameFilters({QStringLiteral("TS 码流文件(*.ts)"), QStringLiteral("所有文件(*.*)")});
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!path_->text().isEmpty()) dialog.selectFile(path_->text());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        path_->setText(dialog.selectedFiles().constFirst());
}

void RecordDialogView::reject() {
    if (busy()) return;
    QDialog::reject();
}

void runRecordDialog(AnalysisSession& session, QWidget* parent) {
    // The recording initialises card 0: never while a run uses it.
    if (session.analysisActive()) return;
    RecordDialogView dialog(parent);
    dialog.exec();
}

}  // namespace orv::gui
