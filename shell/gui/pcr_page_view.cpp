#include "shell/gui/pcr_page_view.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <mutex>

#include "shell/gui/analysis_session.h"
#include "shell/gui/curve_chart.h"
#include "shell/gui/qt_text.h"

namespace orv::gui {
namespace {

void setText(QLineEdit* edit, const QString& t) {
    if (edit->text() != t) edit->setText(t);
}

// The value fields in the order of PcrField, with their labels.
constexpr std::array<const char*, kPcrFieldCount> kFieldLabels{
    "PCR值：",        "参考时钟：",     "当前抖动(ns)：", "最大抖动(ns)：",
    "最小抖动(ns)：", "当前间隔(ms)：", "最大间隔(ms)：", "最小间隔(ms)：",
};
constexpr std::array<const char*, 4> kScaleLabels{"抖动范围(ns)：", "观察点数：",
                                                  "间隔最大值(ms)：", "间隔最小值(ms)："};

const QColor kJitterColour(255, 210, 60);
const QColor kIntervalColour(90, 220, 120);
const QColor kBarColour(90, 170, 255);

QLabel* stripLabel(std::string_view strip, QWidget* parent) {
    auto* label = new QLabel(text(strip), parent);
    label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return label;
}

}  // namespace

PcrPageView::PcrPageView(AnalysisSession& session, QWidget* parent)
    : PageView(parent), session_(session) {
    model_ = std::make_unique<PcrPage>(session_.context(), timers_, waits_);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("选择节目:"), this));
    selector_ = new QComboBox(this);
    selector_->setMinimumContentsLength(40);
    selector_->setPlaceholderText(QStringLiteral("（未选择）"));
    top->addWidget(selector_);
    top->addStretch(1);
    showHistograms_ = new QRadioButton(QStringLiteral("显示分布范围"), this);
    showCurves_ = new QRadioButton(QStringLiteral("显示数值曲线"), this);
    showCurves_->setChecked(true);
    top->addWidget(showHistograms_);
    top->addWidget(showCurves_);
    layout->addLayout(top);

    list_ = new QTreeWidget(this);
    list_->setColumnCount(static_cast<int>(kPcrListColumns.size()));
    QStringList headers;
    for (const ListColumn& c : kPcrListColumns)
        headers << text(c.title);
    list_->setHeaderLabels(headers);
    for (std::size_t c = 0; c < kPcrListColumns.size(); ++c)
        list_->setColumnWidth(static_cast<int>(c), kPcrListColumns[c].width);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setMaximumHeight(140);
    layout->addWidget(list_);

    auto* middle = new QHBoxLayout;
    auto* values = new QGroupBox(QStringLiteral("PCR信息"), this);
    auto* grid = new QGridLayout(values);
    for (int f = 0; f < kPcrFieldCount; ++f) {
        auto* edit = new QLineEdit(values);
        edit->setReadOnly(true);
        edit->setMinimumWidth(160);
        grid->addWidget(
            new QLabel(QString::fromUtf8(kFieldLabels[static_cast<std::size_t>(f)]), values), f, 0);
        grid->addWidget(edit, f, 1);
        fields_[static_cast<std::size_t>(f)] = edit;
    }
    grid->setRowStretch(kPcrFieldCount, 1);
    middle->addWidget(values);

    curvesPanel_ = new QWidget(this);
    auto* curves = new QVBoxLayout(curvesPanel_);
    curves->setContentsMargins(0, 0, 0, 0);
    curves->addWidget(new QLabel(QStringLiteral("PCR抖动(ns)"), curvesPanel_));
    jitterChart_ = new CurveChart(curvesPanel_);
    curves->addWidget(jitterChart_, 1);
    curves->addWidget(new QLabel(QStringLiteral("PCR间隔(ms)"), curvesPanel_));
    intervalChart_ = new CurveChart(curvesPanel_);
    curves->addWidget(intervalChart_, 1);
    auto* controls = new QHBoxLayout;
    play_ = new QPushButton(QStringLiteral("播 放"), curvesPanel_);
    pause_ = new QPushButton(QStringLiteral("暂 停"), curvesPanel_);
    back_ = new QPushButton(QStringLiteral("<<"), curvesPanel_);
    forward_ = new QPushButton(QStringLiteral(">>"), curvesPanel_);
    for (QPushButton* b : {play_, pause_, back_, forward_})
        controls->addWidget(b);
    controls->addSpacing(12);
    const PcrScaleTexts& scales = model_->scaleTexts();
    const std::array<const std::string*, 4> initial{&scales.jitterRange, &scales.observationPoints,
                                                    &scales.intervalMax, &scales.intervalMin};
    for (std::size_t i = 0; i < scaleFields_.size(); ++i) {
        controls->addWidget(new QLabel(QString::fromUtf8(kScaleLabels[i]), curvesPanel_));
        auto* edit = new QLineEdit(text(*initial[i]), curvesPanel_);
        edit->setFixedWidth(64);
        controls->addWidget(edit);
        scaleFields_[i] = edit;
        // Enter in any field is the page's OK action.
        connect(edit, &QLineEdit::returnPressed, this, &PcrPageView::onApplyScales);
    }
    controls->addStretch(1);
    curves->addLayout(controls);
    middle->addWidget(curvesPanel_, 1);

    histogramsPanel_ = new QWidget(this);
    auto* bars = new QVBoxLayout(histogramsPanel_);
    bars->setContentsMargins(0, 0, 0, 0);
    bars->addWidget(new QLabel(QStringLiteral("PCR抖动分布(%)"), histogramsPanel_));
    jitterBars_ = new CurveChart(histogramsPanel_);
    bars->addWidget(jitterBars_, 1);
    bars->addWidget(stripLabel(kJitterHistogramLabels, histogramsPanel_));
    bars->addWidget(new QLabel(QStringLiteral("PCR间隔分布(%)"), histogramsPanel_));
    intervalBars_ = new CurveChart(histogramsPanel_);
    bars->addWidget(intervalBars_, 1);
    bars->addWidget(stripLabel(kIntervalHistogramLabels, histogramsPanel_));
    middle->addWidget(histogramsPanel_, 1);
    histogramsPanel_->hide();
    layout->addLayout(middle, 1);

    connect(selector_, &QComboBox::currentIndexChanged, this, &PcrPageView::onSelect);
    connect(play_, &QPushButton::clicked, this, &PcrPageView::onPlay);
    connect(pause_, &QPushButton::clicked, this, &PcrPageView::onPause);
    connect(back_, &QPushButton::clicked, this, [this] { onScroll(false); });
    connect(forward_, &QPushButton::clicked, this, [this] { onScroll(true); });
    connect(showHistograms_, &QRadioButton::clicked, this, [this] { onMode(true); });
    connect(showCurves_, &QRadioButton::clicked, this, [this] { onMode(false); });

    model_->reset();
    onApplyScales();
    sync();
}

// The model's destructor kills its timer and joins the replay thread before the timer service
// and the wait clock it uses go.
PcrPageView::~PcrPageView() = default;

bool PcrPageView::contextReady() const {
    return session_.contextReadable();
}

void PcrPageView::refresh() {
    if (!contextReady()) return;
    bool initDone = false;
    {
        const std::lock_guard<std::mutex> lock(session_.context().mutex);
        initDone = session_.context().initDone;
    }
    // Before the initialisation phase has ended the program table is not complete, and the
    // selector is filled only once.
    if (initDone) model_->refresh();
    sync();
}

void PcrPageView::passFinished() {
    flags_ = {true, true};
    model_->setReplayFile(session_.replayFile());
    refresh();
}

void PcrPageView::clearAtStop() {
    model_->reset();
    flags_ = {true, true};
    sync();
}

void PcrPageView::showEvent(QShowEvent* event) {
    PageView::showEvent(event);
    if (flags_[0] || flags_[1]) {
        flags_ = {};
        // Everything the model holds is drawn again, whatever the charts last showed.
        jitterChart_->update();
        intervalChart_->update();
        jitterBars_->update();
        intervalBars_->update();
    }
}

void PcrPageView::onSelect(int index) {
    if (index < 0 || !contextReady()) return;
    model_->selectProgram(index);
    sync();
}

void PcrPageView::onPlay() {
    // The replay re-measures the file: not while the main pass still writes the same records.
    if (!contextReady() || session_.fileThreadRunning()) return;
    model_->setReplayFile(session_.replayFile());
    model_->play();
    sync();
}

void PcrPageView::onPause() {
    if (!contextReady()) return;
    model_->pause();
    sync();
}

void PcrPageView::onScroll(bool forward) {
    if (forward)
        model_->scrollForward();
    else
        model_->scrollBack();
    sync();
}

void PcrPageView::onMode(bool histograms) {
    if (histograms)
        model_->showHistograms();
    else
        model_->showCurves();
    sync();
}

void PcrPageView::onApplyScales() {
    PcrScaleTexts& t = model_->scaleTexts();
    const std::array<std::string*, 4> texts{&t.jitterRange, &t.observationPoints, &t.intervalMax,
                                            &t.intervalMin};
    for (std::size_t i = 0; i < texts.size(); ++i)
        *texts[i] = scaleFields_[i]->text().trimmed().toStdString();
    model_->applyScales();
    // The model rewrites what it corrected.
    for (std::size_t i = 0; i < texts.size(); ++i)
        setText(scaleFields_[i], text(*texts[i]));
    syncCharts();
}

void PcrPageView::sync() {
    const std::vector<std::string>& entries = model_->selectorEntries();
    bool same = selector_->count() == static_cast<int>(entries.size());
    for (int i = 0; same && i < selector_->count(); ++i)
        same = selector_->itemText(i) == text(entries[static_cast<std::size_t>(i)]);
    if (!same) {
        const QSignalBlocker block(selector_);
        selector_->clear();
        for (const std::string& e : entries)
            selector_->addItem(text(e));
    }
    const int selected = model_->selectedProgram().value_or(-1);
    if (selector_->currentIndex() != selected) {
        const QSignalBlocker block(selector_);
        selector_->setCurrentIndex(selected);
    }
    for (int f = 0; f < kPcrFieldCount; ++f)
        setText(fields_[static_cast<std::size_t>(f)],
                text(model_->field(static_cast<PcrField>(f))));
    const bool histograms = model_->mode() == PcrDisplayMode::Histograms;
    if (showHistograms_->isChecked() != histograms)
        (histograms ? showHistograms_ : showCurves_)->setChecked(true);
    curvesPanel_->setVisible(!histograms);
    histogramsPanel_->setVisible(histograms);
    syncList();
    syncCharts();
    syncButtons();
}

void PcrPageView::syncList() {
    const std::vector<PcrListRow>& rows = model_->listRows();
    while (list_->topLevelItemCount() > static_cast<int>(rows.size()))
        delete list_->takeTopLevelItem(list_->topLevelItemCount() - 1);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(r));
        if (item == nullptr) {
            item = new QTreeWidgetItem;
            list_->addTopLevelItem(item);
        }
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            const QString t = text(rows[r][c]);
            if (item->text(static_cast<int>(c)) != t) item->setText(static_cast<int>(c), t);
        }
    }
}

void PcrPageView::syncCharts() {
    // The window's newest `observation points` samples are drawn.
    const int points = std::clamp(model_->observationPoints(), 1, kPcrWindowSamples);
    const double from = kPcrWindowSamples - points;
    const double to = kPcrWindowSamples - 1;
    jitterChart_->setXRange(from, to);
    intervalChart_->setXRange(from, to);
    jitterChart_->setScale(model_->jitterScale());
    intervalChart_->setScale(model_->intervalScale());
    jitterChart_->setCurve(0, model_->jitterCurve(), kJitterColour);
    intervalChart_->setCurve(0, model_->intervalCurve(), kIntervalColour);
    jitterBars_->setBars(model_->jitterBars(), kBarColour);
    intervalBars_->setBars(model_->intervalBars(), kBarColour);
}

void PcrPageView::syncButtons() {
    const PcrButtons& b = model_->buttons();
    play_->setEnabled(b.play && !session_.fileThreadRunning());
    pause_->setEnabled(b.pause);
    back_->setEnabled(b.back);
    forward_->setEnabled(b.forward);
}

}  // namespace orv::gui
