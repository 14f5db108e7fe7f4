#include "shell/gui/progress_panel.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/gui/analysis_session.h"

namespace orv::gui {

QString progressFirstLine(bool initialised) {
    return initialised ? QStringLiteral("初始化数据................. OK!")
                       : QStringLiteral("初始化数据.......");
}

QString progressSecondLine(bool initialised, bool mainPassSeen, int percent) {
    if (!initialised) return {};
    if (!mainPassSeen) return QStringLiteral("正在分析数据........");
    return QStringLiteral("正在分析数据.......... %1 %").arg(percent);
}

ProgressPanel::ProgressPanel(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setWindowTitle(QString::fromUtf8(kProgressPanelTitle));
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = new QVBoxLayout(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    first_ = new QLabel(progressFirstLine(false), this);
    second_ = new QLabel(this);
    stop_ = new QPushButton(QStringLiteral("停止分析"), this);
    layout->addWidget(bar_);
    layout->addWidget(first_);
    layout->addWidget(second_);
    layout->addWidget(stop_, 0, Qt::AlignRight);
    connect(stop_, &QPushButton::clicked, this, &ProgressPanel::stopRequested);
    setMinimumWidth(360);
}

void ProgressPanel::show(const OfflineProgressView& progress) {
    if (!progress.visible) {
        hide();
        return;
    }
    first_->setText(progressFirstLine(progress.initialised));
    second_->setText(
        progressSecondLine(progress.initialised, progress.percent > 0, progress.percent));
    bar_->setValue(progress.percent);
    if (!isVisible()) QDialog::show();
}

}  // namespace orv::gui
