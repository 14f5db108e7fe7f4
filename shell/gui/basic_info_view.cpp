#include "shell/gui/basic_info_view.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "presentation/page_texts.h"
#include "presentation/program_info_page.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/view_widgets.h"

namespace orv::gui {
namespace {

constexpr std::array<const char*, kPacketClassCount> kClassLabels{"视频", "音频", "PSI/SI", "空包",
                                                                  "其他"};
constexpr std::array<const char*, 4> kRateLabels{"最小值：", "最大值：", "平均值：", "当前值："};
constexpr std::array<const char*, 4> kStreamLabels{"TS分组长度：", "同步丢失错误：", "同步错误：",
                                                   "传送错误："};
constexpr std::array<const char*, 3> kPatLabels{"传送流标识符：", "业务数量：", "PCR数量："};
constexpr std::array<const char*, 5> kNitLabels{"NIT_PID：", "网络标识符：", "网络名称：",
                                                "现行传送流标识符", "原始网络标识符:"};
constexpr std::array<const char*, 4> kPmtLabels{"业务提供者名称：", "业务名称：",
                                                "业务自由条件接收模式描述：", "PCR_PID："};
constexpr std::array<const char*, 5> kIntervalColumns{"内容", "table_id", "当前值(s)", "最大值(s)",
                                                      "最小值(s)"};

// One line of the repetition table: a PMT is named by its program, a table never received shows
// dashes instead of its intervals.
QStringList intervalCells(const IntervalRow& r) {
    const std::string name = r.tableId == 0x02 && r.programNumber >= 0
                                 ? printfText("PMT[%04x]", unsigned(r.programNumber))
                                 : r.name;
    QStringList cells{qtext(name), qtext(printfText("0x%02x", r.tableId))};
    for (double v : {r.current, r.max, r.min})
        cells << (r.received ? qtext(printfText("%2.6f", v)) : QStringLiteral("-----"));
    return cells;
}

}  // namespace

QLineEdit* BasicInfoView::addField(QGridLayout* grid, int row, int column, const char* label) {
    auto* box = valueBox(this);
    grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, column);
    grid->addWidget(box, row, column + 1);
    fields_.insert(QString::fromUtf8(label), box);
    return box;
}

BasicInfoView::BasicInfoView(AnalysisSession& session, QWidget* parent)
    : PageView(parent), session_(session) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;

    auto* classes = new QGroupBox(QStringLiteral("传送流数据结构"), this);
    auto* classGrid = new QGridLayout(classes);
    for (int c = 0; c < kPacketClassCount; ++c) {
        const auto i = static_cast<std::size_t>(c);
        auto* bar = new QProgressBar(classes);
        bar->setRange(0, 10000);
        bar->setValue(0);
        bar->setTextVisible(false);
        bars_[i] = bar;
        shares_[i] = valueBox(classes);
        shares_[i]->setMaximumWidth(90);
        classGrid->addWidget(new QLabel(QString::fromUtf8(kClassLabels[i]), classes), c, 0);
        classGrid->addWidget(bar, c, 1);
        classGrid->addWidget(shares_[i], c, 2);
    }
    top->addWidget(classes, 3);

    auto* rates = new QGroupBox(QStringLiteral("传送流速率（Mbps）"), this);
    auto* rateGrid = new QGridLayout(rates);
    for (int r = 0; r < 4; ++r)
        addField(rateGrid, r, 0, kRateLabels[static_cast<std::size_t>(r)]);
    top->addWidget(rates, 2);

    auto* stream = new QGroupBox(QStringLiteral("传送流信息"), this);
    auto* streamGrid = new QGridLayout(stream);
    for (int r = 0; r < 4; ++r)
        addField(streamGrid, r, 0, kStreamLabels[static_cast<std::size_t>(r)]);
    top->addWidget(stream, 2);
    layout->addLayout(top);

    auto* middle = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* pat = new QGroupBox(QStringLiteral("PAT信息"), this);
    auto* patGrid = new QGridLayout(pat);
    for (int r = 0; r < 3; ++r)
        addField(patGrid, r, 0, kPatLabels[static_cast<std::size_t>(r)]);
    left->addWidget(pat);
    auto* nit = new QGroupBox(QStringLiteral("NIT信息"), this);
    auto* nitGrid = new QGridLayout(nit);
    for (int r = 0; r < 5; ++r)
        addField(nitGrid, r, 0, kNitLabels[static_cast<std::size_t>(r)]);
    left->addWidget(nit);
    left->addStretch(1);
    middle->addLayout(left, 2);

    auto* pmt = new QGroupBox(QStringLiteral("PMT信息"), this);
    auto* pmtGrid = new QGridLayout(pmt);
    programs_ = new QComboBox(pmt);
    pmtGrid->addWidget(new QLabel(QStringLiteral("节目号-PMT_PID："), pmt), 0, 0);
    pmtGrid->addWidget(programs_, 0, 1);
    for (int r = 0; r < 4; ++r)
        addField(pmtGrid, r + 1, 0, kPmtLabels[static_cast<std::size_t>(r)]);
    pmtGrid->addWidget(new QLabel(QStringLiteral("业务组件描述："), pmt), 5, 0, Qt::AlignTop);
    components_ = new QListWidget(pmt);
    pmtGrid->addWidget(components_, 5, 1);
    ca_ = new QListWidget(pmt);
    pmtGrid->addWidget(ca_, 6, 0, 1, 2);
    middle->addWidget(pmt, 3);
    layout->addLayout(middle);
    connect(programs_, &QComboBox::currentIndexChanged, this, &BasicInfoView::selectProgram);

    auto* other = new QGroupBox(QStringLiteral("其他相关信息"), this);
    auto* otherLayout = new QVBoxLayout(other);
    tabs_ = new QTabWidget(other);
    multiplex_ = new QListWidget(tabs_);
    tabs_->addTab(multiplex_, QStringLiteral("传送流复用结构"));
    intervals_ = new QTreeWidget(tabs_);
    intervals_->setColumnCount(static_cast<int>(kIntervalColumns.size()));
    QStringList headers;
    for (const char* h : kIntervalColumns)
        headers << QString::fromUtf8(h);
    intervals_->setHeaderLabels(headers);
    intervals_->setRootIsDecorated(false);
    intervals_->setUniformRowHeights(true);
    tabs_->addTab(intervals_, QStringLiteral("PSI/SI传送间隔"));
    auto* qam = new QWidget(tabs_);
    auto* qamGrid = new QGridLayout(qam);
    int row = 0;
    for (std::string_view label : {kPanelInputLabel, kPanelLockLabel, kPanelFrequencyLabel,
                                   kPanelSymbolRateLabel, kPanelQamLabel})
        addField(qamGrid, row++, 0, std::string(label).c_str());
    qualityBar_ = new QProgressBar(qam);
    qualityBar_->setTextVisible(false);
    qualityBar_->setRange(0, qam_.barMax);
    qualityBar_->setValue(0);
    qamGrid->addWidget(
        new QLabel(QString::fromUtf8(kPanelQualityLabel.data(),
                                     static_cast<qsizetype>(kPanelQualityLabel.size())),
                   qam),
        row, 0);
    qamGrid->addWidget(qualityBar_, row, 1);
    qamGrid->setRowStretch(row + 1, 1);
    tabs_->addTab(qam, QStringLiteral("QAM参数测量"));
    otherLayout->addWidget(tabs_);
    layout->addWidget(other, 1);
}

void BasicInfoView::showEvent(QShowEvent* event) {
    cycle_.makeDue();
    qamCycle_.makeDue();
    PageView::showEvent(event);
}

void BasicInfoView::refresh() {
    // The page reads the run while one is active; after the stop it keeps what the stop left.
    if (!session_.analysisActive()) return;
    if (qamCycle_.due()) drawQam();
    if (!cycle_.due()) return;
    int delay = 0;
    std::vector<std::string> multiplex;
    const bool read = session_.access([&](AnalysisContext& ctx, ResultsPage&) {
        delay = page_.refresh(ctx);
        if (page_.info().filled) multiplex = multiplexText(ctx);
    });
    if (!read) return;
    // Until the initialisation phase has ended the model has nothing: ask again next tick, so
    // the fields appear as soon as it ends.
    if (page_.info().filled) {
        cycle_.arm(delay);
        multiplexLines_ = std::move(multiplex);
    }
    draw();
}

void BasicInfoView::passFinished() {
    cycle_.makeDue();
    qamCycle_.makeDue();
    refresh();
}

void BasicInfoView::drawQam() {
    QamPanelInputs in;
    const bool read = session_.access([&](AnalysisContext& ctx, ResultsPage&) {
        in.initDone = ctx.initDone;
        in.analysisMode = ctx.analysisMode;
    });
    if (!read) return;
    in.settings = session_.interfaceSettings();
    if (session_.runKind() == RunKind::Online) {
        const RunStatus status = session_.onlineStatus();
        if (status.qamInfo) in.qualityDb = status.qamInfo->qualityDb;
    }
    qam_.refresh(in);
    // Nothing changes before the initialisation phase has ended: look again next tick.
    if (in.initDone) qamCycle_.arm(static_cast<int>(kQamPanelPeriod.count()));
    showText(fields_.value(QString::fromUtf8(kPanelInputLabel.data())), qam_.input);
    showText(fields_.value(QString::fromUtf8(kPanelLockLabel.data())), qam_.lockState);
    showText(fields_.value(QString::fromUtf8(kPanelFrequencyLabel.data())), qam_.frequency);
    showText(fields_.value(QString::fromUtf8(kPanelSymbolRateLabel.data())), qam_.symbolRate);
    showText(fields_.value(QString::fromUtf8(kPanelQamLabel.data())), qam_.qamMode);
    qualityBar_->setRange(0, qam_.barMax);
    qualityBar_->setValue(qam_.barPosition);
}

void BasicInfoView::draw() {
    const BasicInfo& i = page_.info();
    if (!i.filled) return;
    for (int c = 0; c < kPacketClassCount; ++c) {
        const auto k = static_cast<std::size_t>(c);
        bars_[k]->setValue(i.classes[k].bar);
        showText(shares_[k], i.classes[k].text);
    }
    const std::array<const std::string*, 4> rates{&i.rateMinText, &i.rateMaxText, &i.rateMeanText,
                                                  &i.rateCurrentText};
    for (std::size_t r = 0; r < rates.size(); ++r)
        showText(fields_.value(QString::fromUtf8(kRateLabels[r])), *rates[r]);
    const std::array<const std::string*, 4> stream{&i.packetLengthText, &i.syncLossText,
                                                   &i.syncByteText, &i.transportErrorText};
    for (std::size_t r = 0; r < stream.size(); ++r)
        showText(fields_.value(QString::fromUtf8(kStreamLabels[r])), *stream[r]);
    const std::array<const std::string*, 3> pat{&i.transportStreamIdText, &i.programCountText,
                                                &i.pcrPidCountText};
    for (std::size_t r = 0; r < pat.size(); ++r)
        showText(fields_.value(QString::fromUtf8(kPatLabels[r])), *pat[r]);
    const std::array<const std::string*, 5> nit{&i.nitPidText, &i.networkIdText, &i.networkNameText,
                                                &i.nitTransportStreamIdText,
                                                &i.nitOriginalNetworkIdText};
    for (std::size_t r = 0; r < nit.size(); ++r)
        showText(fields_.value(QString::fromUtf8(kNitLabels[r])), *nit[r]);

    showChoices(programs_, i.programChoices, i.selected);
    const SelectedProgramTexts& s = i.selectedProgram;
    const std::array<const std::string*, 4> pmt{&s.provider, &s.name, &s.freeCa, &s.pcrPid};
    for (std::size_t r = 0; r < pmt.size(); ++r)
        showText(fields_.value(QString::fromUtf8(kPmtLabels[r])), *pmt[r]);
    showLines(components_, s.components);
    showLines(ca_, s.caList);

    showLines(multiplex_, multiplexLines_);
    const bool sameCount = intervals_->topLevelItemCount() == static_cast<int>(i.intervals.size());
    if (!sameCount) intervals_->clear();
    for (std::size_t r = 0; r < i.intervals.size(); ++r) {
        const QStringList cells = intervalCells(i.intervals[r]);
        if (!sameCount) {
            intervals_->addTopLevelItem(new QTreeWidgetItem(cells));
            continue;
        }
        QTreeWidgetItem* item = intervals_->topLevelItem(static_cast<int>(r));
        for (int c = 0; c < cells.size(); ++c)
            if (item->text(c) != cells[c]) item->setText(c, cells[c]);
    }
}

void BasicInfoView::selectProgram(int index) {
    const bool read = session_.access(
        [&](AnalysisContext& ctx, ResultsPage&) { page_.selectProgram(ctx, index); });
    if (read) draw();
}

void BasicInfoView::clearAtStop() {
    // The run's texts go with the run: the next run starts from an empty page.
    page_ = BasicInfoPage{};
    qam_ = QamStatusPanel{};
    multiplexLines_.clear();
    cycle_.makeDue();
    qamCycle_.makeDue();
    for (QLineEdit* box : fields_)
        box->clear();
    for (std::size_t c = 0; c < bars_.size(); ++c) {
        bars_[c]->setValue(0);
        shares_[c]->clear();
    }
    {
        const QSignalBlocker block(programs_);
        programs_->clear();
    }
    components_->clear();
    ca_->clear();
    multiplex_->clear();
    intervals_->clear();
    qualityBar_->setValue(0);
}

}  // namespace orv::gui
