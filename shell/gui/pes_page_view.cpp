#include "shell/gui/pes_page_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <mutex>

#include "shell/gui/analysis_session.h"
#include "shell/gui/curve_chart.h"
#include "shell/gui/qt_text.h"

namespace orv::gui {
namespace {

void setText(QLineEdit* edit, const QString& t) {
    if (edit->text() != t) edit->setText(t);
}

// Refills a selector only when its entries changed; `current` -1 shows no choice.
void syncCombo(QComboBox* combo, const std::vector<std::string>& entries, int current) {
    bool same = combo->count() == static_cast<int>(entries.size());
    for (int i = 0; same && i < combo->count(); ++i)
        same = combo->itemText(i) == text(entries[static_cast<std::size_t>(i)]);
    const QSignalBlocker block(combo);
    if (!same) {
        combo->clear();
        for (const std::string& e : entries)
            combo->addItem(text(e));
    }
    if (current >= combo->count()) current = -1;
    if (combo->currentIndex() != current) combo->setCurrentIndex(current);
}

struct CurveInfo {
    const char* box;
    PesField field;
    QColor colour;
};
const std::array<CurveInfo, kVideoCurves> kVideo{{
    {"视频DTS-PCR：", PesField::VideoDtsPcr, QColor(255, 210, 60)},
    {"视频DTS间隔：", PesField::VideoDtsDistance, QColor(90, 220, 120)},
    {"视频PTS-PCR：", PesField::VideoPtsPcr, QColor(255, 110, 90)},
    {"视频PTS间隔：", PesField::VideoPtsDistance, QColor(90, 170, 255)},
    {"VbvDelay：", PesField::VbvDelay, QColor(220, 120, 255)},
}};
const std::array<CurveInfo, kAudioCurves> kAudio{{
    {"音频DTS-PCR：", PesField::AudioDtsPcr, QColor(255, 210, 60)},
    {"音频DTS间隔：", PesField::AudioDtsDistance, QColor(90, 220, 120)},
    {"音频PTS-PCR：", PesField::AudioPtsPcr, QColor(255, 110, 90)},
    {"音频PTS间隔：", PesField::AudioPtsDistance, QColor(90, 170, 255)},
}};

QLineEdit* readOnlyField(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    return edit;
}

// A colour swatch before a check box, so the box names its curve.
QLabel* swatch(const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setFixedSize(12, 12);
    label->setStyleSheet(QStringLiteral("background: %1;").arg(colour.name()));
    return label;
}

}  // namespace

PesPageView::PesPageView(AnalysisSession& session, QWidget* parent)
    : PageView(parent), session_(session) {
    model_ = std::make_unique<PesPage>(session_.context(), timers_, waits_);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QGridLayout;
    programs_ = new QComboBox(this);
    programs_->setMinimumContentsLength(30);
    videoPids_ = new QComboBox(this);
    audioPids_ = new QComboBox(this);
    videoPids_->setMinimumContentsLength(12);
    audioPids_->setMinimumContentsLength(12);
    top->addWidget(new QLabel(QStringLiteral("节目："), this), 0, 0);
    top->addWidget(programs_, 0, 1);
    top->addWidget(new QLabel(QStringLiteral("视频ES流PID："), this), 0, 2);
    top->addWidget(videoPids_, 0, 3);
    top->addWidget(new QLabel(QStringLiteral("音频ES流PID："), this), 0, 4);
    top->addWidget(audioPids_, 0, 5);
    const std::array<std::pair<const char*, PesField>, 3> heads{{
        {"PCR_PID ：", PesField::PcrPid},
        {"加扰状态:", PesField::Scrambling},
        {"时间：", PesField::Time},
    }};
    for (std::size_t i = 0; i < heads.size(); ++i) {
        top->addWidget(new QLabel(QString::fromUtf8(heads[i].first), this), 1,
                       static_cast<int>(2 * i));
        QLineEdit* f = readOnlyField(this);
        fields_[static_cast<std::size_t>(heads[i].second)] = f;
        top->addWidget(f, 1, static_cast<int>(2 * i + 1));
    }
    layout->addLayout(top);

    auto makeGroup = [this](PesSide side, const QString& title, auto& boxes, const auto& infos,
                            const char* bottomLabel) {
        const std::size_t s = index(side);
        auto* group = new QGroupBox(title, this);
        auto* row = new QHBoxLayout(group);
        auto* values = new QGridLayout;
        int line = 0;
        for (std::size_t c = 0; c < infos.size(); ++c, ++line) {
            auto* box = new QCheckBox(QString::fromUtf8(infos[c].box), group);
            box->setChecked(true);
            boxes[c] = box;
            values->addWidget(swatch(infos[c].colour, group), line, 0);
            values->addWidget(box, line, 1);
            QLineEdit* f = readOnlyField(group);
            fields_[static_cast<std::size_t>(infos[c].field)] = f;
            values->addWidget(f, line, 2);
        }
        if (side == PesSide::Video) {
            for (auto [label, field] : {std::pair{"VbvBufSize：", PesField::VbvBufSize},
                                        std::pair{"I:B:P/GOP：", PesField::Gop}}) {
                values->addWidget(new QLabel(QString::fromUtf8(label), group), line, 1);
                QLineEdit* f = readOnlyField(group);
                fields_[static_cast<std::size_t>(field)] = f;
                values->addWidget(f, line++, 2);
            }
        }
        auto* buttons = new QHBoxLayout;
        play_[s] = new QPushButton(QStringLiteral("播 放"), group);
        pause_[s] = new QPushButton(QStringLiteral("暂 停"), group);
        buttons->addWidget(play_[s]);
        buttons->addWidget(pause_[s]);
        values->addLayout(buttons, line++, 1, 1, 2);
        auto* rangeRow = new QHBoxLayout;
        rangeRow->addWidget(new QLabel(QStringLiteral("范围(ms)："), group));
        range_[s] = new QLineEdit(text(model_->rangeText(side)), group);
        range_[s]->setMaximumWidth(70);
        rangeRow->addWidget(range_[s]);
        rangeRow->addWidget(
            new QLabel(QStringLiteral("(%1)").arg(QString::fromUtf8(bottomLabel)), group));
        values->addLayout(rangeRow, line++, 1, 1, 2);
        values->setRowStretch(line, 1);
        row->addLayout(values);
        charts_[s] = new CurveChart(group);
        charts_[s]->setXRange(0, static_cast<double>(kPesWindowSamples - 1));
        row->addWidget(charts_[s], 1);
        connect(play_[s], &QPushButton::clicked, this, [this, side] { onPlay(side); });
        connect(pause_[s], &QPushButton::clicked, this, [this, side] { onPause(side); });
        connect(range_[s], &QLineEdit::returnPressed, this, &PesPageView::onApplyRanges);
        return group;
    };
    layout->addWidget(
        makeGroup(PesSide::Video, QStringLiteral("视频PES分析"), videoBoxes_, kVideo, "-200ms"), 1);
    layout->addWidget(
        makeGroup(PesSide::Audio, QStringLiteral("音频PES分析"), audioBoxes_, kAudio, "0 ms"), 1);

    for (int c = 0; c < kVideoCurves; ++c)
        connect(videoBoxes_[static_cast<std::size_t>(c)], &QCheckBox::toggled, this,
                [this, c](bool on) {
                    if (!session_.contextReadable()) return;
                    model_->setVideoCurveChecked(static_cast<VideoCurve>(c), on);
                    sync();
                });
    for (int c = 0; c < kAudioCurves; ++c)
        connect(audioBoxes_[static_cast<std::size_t>(c)], &QCheckBox::toggled, this,
                [this, c](bool on) {
                    if (!session_.contextReadable()) return;
                    model_->setAudioCurveChecked(static_cast<AudioCurve>(c), on);
                    sync();
                });
    connect(programs_, &QComboBox::currentIndexChanged, this, &PesPageView::onSelectProgram);
    connect(audioPids_, &QComboBox::currentIndexChanged, this, &PesPageView::onSelectAudio);
    sync();
}

// The model's destructor kills its timer and joins the replay thread before the timer service
// and the wait clock it uses go.
PesPageView::~PesPageView() = default;

bool PesPageView::initDone() {
    if (!session_.contextReadable()) return false;
    const std::lock_guard<std::mutex> lock(session_.context().mutex);
    return session_.context().initDone;
}

void PesPageView::refresh() {
    // Before the initialisation phase has ended the program table is not complete, and the
    // selector is filled only once.
    if (initDone()) model_->refresh();
    sync();
}

void PesPageView::passFinished() {
    model_->setReplayFile(session_.replayFile());
    model_->setRebuildFlags(true, true);
    refresh();
    model_->setRebuildFlags(false, false);
}

void PesPageView::clearAtStop() {
    model_->reset();
    sync();
}

void PesPageView::showEvent(QShowEvent* event) {
    PageView::showEvent(event);
    model_->setRebuildFlags(false, false);
}

void PesPageView::onSelectProgram(int index) {
    if (index < 0 || !initDone()) return;
    model_->selectProgram(index);
    // The PID selectors of the chosen program fill at once.
    model_->refresh();
    sync();
}

void PesPageView::onSelectAudio(int entry) {
    if (entry < 0 || !session_.contextReadable()) return;
    model_->selectAudio(entry);
    sync();
}

void PesPageView::onPlay(PesSide side) {
    // The replay re-measures the file: not while the main pass still writes the same records.
    if (!initDone() || session_.fileThreadRunning()) return;
    model_->setReplayFile(session_.replayFile());
    model_->play(side);
    sync();
}

void PesPageView::onPause(PesSide side) {
    if (!session_.contextReadable()) return;
    model_->pause(side);
    sync();
}

void PesPageView::onApplyRanges() {
    for (PesSide side : {PesSide::Video, PesSide::Audio})
        model_->rangeText(side) = range_[index(side)]->text().trimmed().toStdString();
    model_->applyRanges();
    for (PesSide side : {PesSide::Video, PesSide::Audio})
        setText(range_[index(side)], text(model_->rangeText(side)));
    syncCharts();
}

void PesPageView::sync() {
    syncCombo(programs_, model_->selectorEntries(), model_->selectedProgram().value_or(-1));
    syncCombo(videoPids_, model_->videoPidEntries(), model_->videoPidEntries().empty() ? -1 : 0);
    syncCombo(audioPids_, model_->audioPidEntries(), model_->audioEntry());
    for (int f = 0; f < kPesFieldCount; ++f)
        setText(fields_[static_cast<std::size_t>(f)],
                text(model_->field(static_cast<PesField>(f))));
    for (PesSide side : {PesSide::Video, PesSide::Audio}) {
        const bool playing = model_->playing(side);
        play_[index(side)]->setEnabled(!playing && !session_.fileThreadRunning());
        pause_[index(side)]->setEnabled(playing);
    }
    syncCharts();
}

void PesPageView::syncCharts() {
    CurveChart* video = charts_[index(PesSide::Video)];
    CurveChart* audio = charts_[index(PesSide::Audio)];
    video->setScale(model_->videoGraph().scale);
    audio->setScale(model_->audioGraph().scale);
    for (int c = 0; c < kVideoCurves; ++c)
        video->setCurve(c, model_->curve(static_cast<VideoCurve>(c)),
                        kVideo[static_cast<std::size_t>(c)].colour);
    for (int c = 0; c < kAudioCurves; ++c)
        audio->setCurve(c, model_->curve(static_cast<AudioCurve>(c)),
                        kAudio[static_cast<std::size_t>(c)].colour);
}

}  // namespace orv::gui
