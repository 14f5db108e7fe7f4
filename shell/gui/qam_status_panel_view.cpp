#include "shell/gui/qam_status_panel_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <cmath>

#include "shell/gui/analysis_session.h"
#include "shell/gui/dialog_fields.h"

namespace orv::gui {

QamStatusPanelView::QamStatusPanelView(AnalysisSession& session, QWidget* parent)
    : QDockWidget(parent), session_(session) {
    setObjectName(QStringLiteral("qamStatusPanel"));
    setWindowTitle(QStringLiteral("QAM状态"));
    setFeatures(QDockWidget::NoDockWidgetFeatures);
    setTitleBarWidget(new QWidget(this));  // a plain strip, no title bar

    auto* body = new QWidget(this);
    auto* row = new QHBoxLayout(body);
    row->setContentsMargins(6, 2, 6, 2);
    const std::array<std::string_view, 5> labels{kPanelInputLabel, kPanelLockLabel,
                                                 kPanelFrequencyLabel, kPanelSymbolRateLabel,
                                                 kPanelQamLabel};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        row->addWidget(new QLabel(qtext(labels[i]), body));
        values_[i] = new QLabel(body);
        values_[i]->setMinimumWidth(80);
        row->addWidget(values_[i]);
    }
    row->addWidget(new QLabel(qtext(kPanelQualityLabel), body));
    bar_ = new QProgressBar(body);
    bar_->setMinimumWidth(160);
    row->addWidget(bar_, 1);
    setWidget(body);

    timer_ = new QTimer(this);
    timer_->setInterval(static_cast<int>(kQamPanelPeriod.count()));
    connect(timer_, &QTimer::timeout, this, &QamStatusPanelView::refresh);
    timer_->start();
    // A stopped run is not shown as still locked: the panel empties with the results pages.
    connect(&session_, &AnalysisSession::stopped, this, [this] {
        panel_ = {};
        qualityDb_.reset();
        draw();
    });
    draw();
}

void QamStatusPanelView::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    refresh();
}

void QamStatusPanelView::refresh() {
    QamPanelInputs in;
    const bool read = session_.access([&in](AnalysisContext& ctx, ResultsPage&) {
        in.initDone = ctx.initDone;
        in.analysisMode = ctx.analysisMode;
    });
    if (!read || !in.initDone) return;
    in.settings = session_.interfaceSettings();
    if (const std::optional<ExtraDataInTs> info = session_.latestQamInfo())
        in.qualityDb = info->qualityDb;
    panel_.refresh(in);
    const bool cable = in.analysisMode == AnalysisMode::Online &&
                       in.settings.inputInterface == InputInterface::Cable;
    qualityDb_ = cable && in.qualityDb && std::isfinite(*in.qualityDb) && *in.qualityDb >= 0.0f
                     ? in.qualityDb
                     : std::nullopt;
    draw();
}

void QamStatusPanelView::draw() {
    const std::array<const std::string*, 5> texts{
        &panel_.input, &panel_.lockState, &panel_.frequency, &panel_.symbolRate, &panel_.qamMode};
    for (std::size_t i = 0; i < texts.size(); ++i)
        values_[i]->setText(QString::fromStdString(*texts[i]));
    bar_->setRange(0, panel_.barMax);
    bar_->setValue(panel_.barPosition);
    // The figure itself beside the bar, when the card gave one.
    bar_->setTextVisible(qualityDb_.has_value());
    if (qualityDb_) bar_->setFormat(QStringLiteral("%1 dB").arg(double(*qualityDb_), 0, 'f', 1));
}

}  // namespace orv::gui
