#include "shell/gui/monitor_settings_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace orv::gui {

const std::array<const char*, kKindCount> kSwitchLabels{
    "同步丢失错",      "同步字节错",    "PAT错误",       "连续计数错",    "PMT间隔错误",
    "PMT加扰错误",     "PID错误",       "传送错误",      "CRC错误",       "PCR间隔错误",
    "PCR非连续标志错", "PCR抖动错误",   "PTS错误",       "TS包加扰错",    "CAT错误",
    "NIT ID错误",      "NIT间隔错误",   "NIT其他错误",   "SI重复率错",    "缓冲器错误",
    "非指定PID错",     "SDT ID错",      "SDT当前间隔错", "SDT其他间隔错", "EIT ID错",
    "EIT当前间隔错",   "EIT其他间隔错", "EIT PF 错",     "RST错误",       "TDT错误",
    "空缓冲器错误",    "数据延迟错误",
};

namespace {

struct SwitchGroup {
    const char* title;
    int first;
    int last;
};
constexpr std::array<SwitchGroup, 3> kGroups{{
    {"一级错误设置", 0, 6},
    {"二级错误设置", 7, 14},
    {"三级错误设置", 15, 31},
}};

}  // namespace

int intervalFromText(const QString& text) {
    const int minutes = (text.isEmpty() ? QStringLiteral("30") : text).toInt();
    return minutes == 0 ? 30 : minutes;
}

MonitorSettingsDialog::MonitorSettingsDialog(const MonitorSwitches& switches,
                                             const LogSettings& log, LogChange onLogChange,
                                             QWidget* parent)
    : QDialog(parent), log_(log), onLogChange_(std::move(onLogChange)) {
    setWindowTitle(QString::fromUtf8(kMonitorDialogTitle));
    auto* layout = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    for (const SwitchGroup& g : kGroups) {
        auto* box = new QGroupBox(QString::fromUtf8(g.title), this);
        auto* grid = new QGridLayout(box);
        const int rowsPerColumn = 9;
        for (int k = g.first; k <= g.last; ++k) {
            auto* check =
                new QCheckBox(QString::fromUtf8(kSwitchLabels[static_cast<std::size_t>(k)]), box);
            check->setChecked(switches[static_cast<std::size_t>(k)] != 0);
            boxes_[static_cast<std::size_t>(k)] = check;
            const int i = k - g.first;
            grid->addWidget(check, i % rowsPerColumn, i / rowsPerColumn);
        }
        groups->addWidget(box);
    }
    layout->addLayout(groups);

    auto* logBox = new QGroupBox(QStringLiteral("LOG设置"), this);
    auto* logGrid = new QGridLayout(logBox);
    saveLog_ = new QCheckBox(QStringLiteral("保存日志文件"), logBox);
    customPath_ = new QRadioButton(QStringLiteral("更改保存路径"), logBox);
    defaultPath_ = new QRadioButton(QStringLiteral("默认保存路径"), logBox);
    interval_ = new QLineEdit(logBox);
    interval_->setValidator(new QIntValidator(0, 1'000'000, interval_));
    path_ = new QLineEdit(logBox);
    browse_ = new QPushButton(QStringLiteral("..."), logBox);
    logGrid->addWidget(saveLog_, 0, 0);
    logGrid->addWidget(customPath_, 0, 1);
    logGrid->addWidget(defaultPath_, 0, 2);
    logGrid->addWidget(new QLabel(QStringLiteral("保存间隔设置(分钟)："), logBox), 1, 0);
    logGrid->addWidget(interval_, 1, 1);
    logGrid->addWidget(new QLabel(QStringLiteral("文件："), logBox), 2, 0);
    logGrid->addWidget(path_, 2, 1, 1, 2);
    logGrid->addWidget(browse_, 2, 3);
    layout->addWidget(logBox);

    auto* buttons = new QHBoxLayout;
    clearAll_ = new QPushButton(QStringLiteral("清除全部设置"), this);
    selectAll_ = new QPushButton(QStringLiteral("选择全部设置"), this);
    ok_ = new QPushButton(QStringLiteral("确定"), this);
    cancel_ = new QPushButton(QStringLiteral("取消"), this);
    ok_->setDefault(true);
    buttons->addWidget(clearAll_);
    buttons->addWidget(selectAll_);
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);

    // The dialog opens on the settings as they are.
    saveLog_->setChecked(log_.saveLogEnabled);
    (log_.logPathIsDefault ? defaultPath_ : customPath_)->setChecked(true);
    path_->setText(QString::fromStdString(log_.errorLogPath));
    interval_->setText(QString::number(log_.saveIntervalMinutes));
    updateLogControls();

    connect(saveLog_, &QCheckBox::toggled, this, &MonitorSettingsDialog::onSaveLogToggled);
    connect(customPath_, &QRadioButton::toggled, this, &MonitorSettingsDialog::onCustomPathToggled);
    connect(defaultPath_, &QRadioButton::toggled, this,
            &MonitorSettingsDialog::onDefaultPathToggled);
    connect(browse_, &QPushButton::clicked, this, &MonitorSettingsDialog::browse);
    connect(clearAll_, &QPushButton::clicked, this, [this] {
        for (QCheckBox* b : boxes_)
            b->setChecked(false);
    });
    connect(selectAll_, &QPushButton::clicked, this, [this] {
        for (QCheckBox* b : boxes_)
            b->setChecked(true);
    });
    connect(ok_, &QPushButton::clicked, this, &MonitorSettingsDialog::onOk);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void MonitorSettingsDialog::updateLogControls() {
    const bool on = log_.saveLogEnabled;
    customPath_->setEnabled(on);
    defaultPath_->setEnabled(on);
    interval_->setEnabled(on);
    const bool pathEditable = on && !log_.logPathIsDefault;
    path_->setEnabled(pathEditable);
    browse_->setEnabled(pathEditable);
}

void MonitorSettingsDialog::onSaveLogToggled(bool on) {
    log_.saveLogEnabled = on;
    updateLogControls();
    if (onLogChange_) onLogChange_(log_);
}

void MonitorSettingsDialog::onCustomPathToggled(bool on) {
    log_.logPathIsDefault = !on;
    updateLogControls();
    if (onLogChange_) onLogChange_(log_);
}

void MonitorSettingsDialog::onDefaultPathToggled(bool on) {
    if (on) path_->setText(QString::fromUtf8(kDefaultErrorLogPath));
    log_.logPathIsDefault = on;
    updateLogControls();
    if (onLogChange_) onLogChange_(log_);
}

void MonitorSettingsDialog::browse() {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("log"));
    dialog.setNameFilters({QStringLiteral("TS 保存文件(*.log)"), QStringLiteral("所有文件(*.*)")});
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        path_->setText(dialog.selectedFiles().first());
}

void MonitorSettingsDialog::onOk() {
    for (int k = 0; k < kKindCount; ++k)
        result_.switches[static_cast<std::size_t>(k)] =
            boxes_[static_cast<std::size_t>(k)]->isChecked() ? 1 : 0;
    result_.saveIntervalMinutes = intervalFromText(interval_->text());
    const QString path =
        path_->text().isEmpty() ? QString::fromUtf8(kDefaultErrorLogPath) : path_->text();
    result_.errorLogPath = path.toStdString();
    accept();
}

}  // namespace orv::gui
