#include "shell/gui/program_info_view.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "presentation/page_texts.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/view_widgets.h"

namespace orv::gui {
namespace {

constexpr std::array<const char*, 8> kProgramLabels{
    "节目号：", "业务组件数：", "PCR_PID：",        "业务类型：",
    "加扰：",   "运行状态：",   "业务提供者名称：", "业务名称："};
constexpr std::array<const char*, 8> kVideoLabels{"视频编码格式:", "水平大小：", "垂直大小：",
                                                  "帧频：",        "传输速率：", "类和级：",
                                                  "宽高比：",      "色度格式："};
constexpr std::array<const char*, 6> kAudioLabels{"音频编码格式:", "层：",   "比特率：",
                                                  "采样率：",      "模式：", "加重："};
constexpr std::array<const char*, 6> kPesLabels{"PES包前缀：",   "Stream_ID：",   "PES包长度：",
                                                "PES加扰标志：", "PES优先标志：", "数据对齐标志："};
constexpr std::array<const char*, 5> kComponentColumns{"序号", "组件类型", "PID", "码率(Mbps)",
                                                       "连续计数错误"};

std::array<const std::string*, 6> pesTexts(const PesHeaderTexts& p) {
    return {&p.prefix, &p.streamId, &p.length, &p.scrambling, &p.priority, &p.alignment};
}

}  // namespace

void RateHistogram::setBars(std::vector<std::pair<QString, double>> bars) {
    if (bars == bars_) return;
    bars_ = std::move(bars);
    update();
}

void RateHistogram::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (bars_.empty()) return;
    double top = 0.0;
    for (const auto& b : bars_)
        top = std::max(top, b.second);
    if (top <= 0.0) top = 1.0;
    const int labelHeight = fontMetrics().height() + 4;
    const int plotHeight = std::max(1, height() - 2 * labelHeight);
    const int slot = std::max(1, width() / static_cast<int>(bars_.size()));
    for (std::size_t i = 0; i < bars_.size(); ++i) {
        const int x = static_cast<int>(i) * slot;
        const int h = static_cast<int>(bars_[i].second / top * plotHeight);
        const QRect bar(x + slot / 4, labelHeight + plotHeight - h, std::max(1, slot / 2), h);
        p.fillRect(bar, QColor(40, 110, 200));
        p.setPen(Qt::black);
        p.drawText(QRect(x, labelHeight + plotHeight, slot, labelHeight), Qt::AlignCenter,
                   bars_[i].first);
        p.drawText(QRect(x, bar.top() - labelHeight, slot, labelHeight), Qt::AlignCenter,
                   QString::number(bars_[i].second, 'f', 3));
    }
}

QLineEdit* ProgramInfoView::addField(QHash<QString, QLineEdit*>& into, QGridLayout* grid, int row,
                                     int column, const char* label) {
    auto* box = valueBox(this);
    grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, column);
    grid->addWidget(box, row, column + 1);
    into.insert(QString::fromUtf8(label), box);
    return box;
}

ProgramInfoView::ProgramInfoView(AnalysisSession& session, QWidget* parent)
    : PageView(parent), session_(session) {
    auto* layout = new QVBoxLayout(this);
    auto* selectRow = new QHBoxLayout;
    selectRow->addWidget(new QLabel(QStringLiteral("选择节目:"), this));
    programs_ = new QComboBox(this);
    programs_->setMinimumWidth(260);
    selectRow->addWidget(programs_);
    selectRow->addStretch(1);
    layout->addLayout(selectRow);

    auto* program = new QGroupBox(QStringLiteral("节目信息表"), this);
    auto* programLayout = new QHBoxLayout(program);
    auto* listSide = new QVBoxLayout;
    auto* modes = new QHBoxLayout;
    showList_ = new QRadioButton(QStringLiteral("组件描述"), program);
    showHistogram_ = new QRadioButton(QStringLiteral("实时码率直方图"), program);
    showList_->setChecked(true);
    modes->addWidget(showList_);
    modes->addWidget(showHistogram_);
    modes->addStretch(1);
    listSide->addLayout(modes);
    componentStack_ = new QStackedWidget(program);
    components_ = new QTreeWidget(componentStack_);
    components_->setColumnCount(static_cast<int>(kComponentColumns.size()));
    QStringList headers;
    for (const char* h : kComponentColumns)
        headers << QString::fromUtf8(h);
    components_->setHeaderLabels(headers);
    components_->setRootIsDecorated(false);
    components_->setUniformRowHeights(true);
    histogram_ = new RateHistogram(componentStack_);
    histogram_->setMinimumHeight(120);
    componentStack_->addWidget(components_);
    componentStack_->addWidget(histogram_);
    listSide->addWidget(componentStack_);
    programLayout->addLayout(listSide, 3);
    auto* programGrid = new QGridLayout;
    for (int r = 0; r < static_cast<int>(kProgramLabels.size()); ++r)
        addField(fields_, programGrid, r, 0, kProgramLabels[static_cast<std::size_t>(r)]);
    programLayout->addLayout(programGrid, 2);
    layout->addWidget(program, 1);
    connect(showList_, &QRadioButton::toggled, this,
            [this](bool on) { componentStack_->setCurrentIndex(on ? 0 : 1); });

    auto* streams = new QHBoxLayout;
    auto* video = new QGroupBox(QStringLiteral("视频流编码信息"), this);
    auto* videoGrid = new QGridLayout(video);
    videoStreams_ = new QComboBox(video);
    videoGrid->addWidget(videoStreams_, 0, 0, 1, 2);
    int row = 1;
    for (const char* label : kVideoLabels)
        addField(video_, videoGrid, row++, 0, label);
    for (const char* label : kPesLabels)
        addField(video_, videoGrid, row++, 0, label);
    videoGrid->setRowStretch(row, 1);
    streams->addWidget(video);

    auto* audio = new QGroupBox(QStringLiteral("音频流编码信息"), this);
    auto* audioGrid = new QGridLayout(audio);
    audioStreams_ = new QComboBox(audio);
    audioGrid->addWidget(audioStreams_, 0, 0, 1, 2);
    row = 1;
    for (const char* label : kAudioLabels)
        addField(audio_, audioGrid, row++, 0, label);
    for (const char* label : kPesLabels)
        addField(audio_, audioGrid, row++, 0, label);
    audioGrid->setRowStretch(row, 1);
    streams->addWidget(audio);
    layout->addLayout(streams, 2);

    connect(programs_, &QComboBox::currentIndexChanged, this, &ProgramInfoView::selectProgram);
    connect(audioStreams_, &QComboBox::currentIndexChanged, this, &ProgramInfoView::selectAudio);
}

void ProgramInfoView::showEvent(QShowEvent* event) {
    cycle_.makeDue();
    PageView::showEvent(event);
}

void ProgramInfoView::refresh() {
    if (!session_.analysisActive() || !cycle_.due()) return;
    int delay = 0;
    const bool read =
        session_.access([&](AnalysisContext& ctx, ResultsPage&) { delay = page_.refresh(ctx); });
    if (!read) return;
    // No program yet (initialisation phase): look again next tick.
    if (!page_.programChoices().empty()) cycle_.arm(delay);
    draw();
}

void ProgramInfoView::passFinished() {
    cycle_.makeDue();
    refresh();
}

void ProgramInfoView::selectProgram(int index) {
    const bool read = session_.access(
        [&](AnalysisContext& ctx, ResultsPage&) { page_.selectProgram(ctx, index); });
    if (read) draw();
}

void ProgramInfoView::selectAudio(int index) {
    const bool read =
        session_.access([&](AnalysisContext& ctx, ResultsPage&) { page_.selectAudio(ctx, index); });
    if (read) draw();
}

void ProgramInfoView::draw() {
    const ProgramView& v = page_.view();
    if (page_.programChoices().empty() || !v.valid) return;
    showChoices(programs_, page_.programChoices(), page_.selectedProgram());

    const std::array<const std::string*, 8> program{
        &v.programNumberText, &v.componentCountText, &v.pcrPidText, &v.serviceTypeText,
        &v.scrambledText,     &v.runningText,        &v.provider,   &v.serviceName};
    for (std::size_t i = 0; i < program.size(); ++i)
        showText(fields_.value(QString::fromUtf8(kProgramLabels[i])), *program[i]);

    const bool sameRows = components_->topLevelItemCount() == static_cast<int>(v.components.size());
    if (!sameRows) components_->clear();
    std::vector<std::pair<QString, double>> bars;
    for (std::size_t i = 0; i < v.components.size(); ++i) {
        const ComponentRow& c = v.components[i];
        const QStringList cells{qtext(c.index), qtext(c.type), qtext(c.pid), qtext(c.rate),
                                qtext(c.ccErrors)};
        if (!sameRows) {
            components_->addTopLevelItem(new QTreeWidgetItem(cells));
        } else {
            QTreeWidgetItem* item = components_->topLevelItem(static_cast<int>(i));
            for (int col = 0; col < cells.size(); ++col)
                if (item->text(col) != cells[col]) item->setText(col, cells[col]);
        }
        bars.emplace_back(qtext(c.pid), c.mbps);
    }
    histogram_->setBars(std::move(bars));

    std::vector<std::string> videoChoices;
    if (v.hasVideo) videoChoices.push_back(printfText("0x%04x", v.videoPid));
    showChoices(videoStreams_, videoChoices, 0);
    const std::array<const std::string*, 8> video{
        &v.video.format,  &v.video.horizontal,   &v.video.vertical,    &v.video.frameRate,
        &v.video.bitRate, &v.video.profileLevel, &v.video.aspectRatio, &v.video.chroma};
    for (std::size_t i = 0; i < video.size(); ++i)
        showText(video_.value(QString::fromUtf8(kVideoLabels[i])), *video[i]);
    const auto videoPes = pesTexts(v.video.pes);
    for (std::size_t i = 0; i < videoPes.size(); ++i)
        showText(video_.value(QString::fromUtf8(kPesLabels[i])), *videoPes[i]);

    std::vector<std::string> audioChoices;
    for (unsigned pid : v.audioPids)
        audioChoices.push_back(printfText("0x%04x", pid));
    showChoices(audioStreams_, audioChoices, v.audioIndex);
    const std::array<const std::string*, 6> audio{&v.audio.format,  &v.audio.layer,
                                                  &v.audio.bitRate, &v.audio.sampling,
                                                  &v.audio.mode,    &v.audio.emphasis};
    for (std::size_t i = 0; i < audio.size(); ++i)
        showText(audio_.value(QString::fromUtf8(kAudioLabels[i])), *audio[i]);
    const auto audioPes = pesTexts(v.audio.pes);
    for (std::size_t i = 0; i < audioPes.size(); ++i)
        showText(audio_.value(QString::fromUtf8(kPesLabels[i])), *audioPes[i]);
}

void ProgramInfoView::clearAtStop() {
    // The model's reset empties the selector but keeps the fields; the page clears them too.
    page_ = ProgramInfoPage{};
    cycle_.makeDue();
    for (QComboBox* box : {programs_, videoStreams_, audioStreams_}) {
        const QSignalBlocker block(box);
        box->clear();
    }
    for (const QHash<QString, QLineEdit*>* group : {&fields_, &video_, &audio_})
        for (QLineEdit* box : *group)
            box->clear();
    components_->clear();
    histogram_->setBars({});
}

}  // namespace orv::gui
