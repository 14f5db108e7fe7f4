#include "shell/gui/results_view.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "presentation/results_page.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/app_icons.h"
#include "shell/gui/qt_text.h"

namespace orv::gui {
namespace {

// The four button columns: first and last kind (0-based) and the group title.
struct KindColumn {
    int first;
    int last;
    const char* title;
};
constexpr std::array<KindColumn, 4> kColumns{{
    {0, 6, "TR101 290 1级错误"},
    {7, 14, "TR101 290 2级错误"},
    {15, 22, "TR101 290 3级错误"},
    {23, 31, "TR101 290 3级错误"},
}};

constexpr std::array<int, 4> kColumnWidths{80, 120, 170, 450};

}  // namespace

ResultsView::ResultsView(AnalysisSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    lampDrawn_.fill(-1);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    for (const KindColumn& c : kColumns) {
        auto* box = new QGroupBox(QString::fromUtf8(c.title), this);
        auto* grid = new QGridLayout(box);
        grid->setVerticalSpacing(2);
        for (int k = c.first; k <= c.last; ++k) {
            const auto i = static_cast<std::size_t>(k);
            auto* button =
                new QPushButton(text(resultsKind(static_cast<Tr290ErrorKind>(k)).button), box);
            button->setStyleSheet(
                QStringLiteral("text-align: left; background: rgb(220,220,220);"));
            button->setObjectName(QStringLiteral("kind%1").arg(k));
            auto* counter = new QLineEdit(QStringLiteral("0"), box);
            counter->setReadOnly(true);
            counter->setAlignment(Qt::AlignRight);
            counter->setMaximumWidth(60);
            buttons_[i] = button;
            counters_[i] = counter;
            grid->addWidget(button, k - c.first, 0);
            grid->addWidget(counter, k - c.first, 1);
            connect(button, &QPushButton::clicked, this, [this, k] { selectKind(k); });
        }
        grid->setRowStretch(c.last - c.first + 1, 1);
        top->addWidget(box);
    }
    layout->addLayout(top);

    auto* middle = new QHBoxLayout;
    auto* infoBox = new QGroupBox(QStringLiteral("TR101 290信息"), this);
    auto* infoLayout = new QVBoxLayout(infoBox);
    detail_ = new QListWidget(infoBox);
    detail_->setMaximumHeight(130);
    infoLayout->addWidget(detail_);
    middle->addWidget(infoBox, 3);

    auto* side = new QVBoxLayout;
    auto* settings = new QPushButton(QStringLiteral("监测参数设置"), this);
    connect(settings, &QPushButton::clicked, this, &ResultsView::monitorSettingsRequested);
    side->addWidget(settings);
    auto* rateRow = new QHBoxLayout;
    rateRow->addWidget(new QLabel(QStringLiteral("误码率："), this));
    errorRate_ = new QLineEdit(this);
    errorRate_->setReadOnly(true);
    rateRow->addWidget(errorRate_);
    side->addLayout(rateRow);
    auto* modeBox = new QGroupBox(QStringLiteral("事件显示方式"), this);
    auto* modeLayout = new QHBoxLayout(modeBox);
    allEvents_ = new QRadioButton(QStringLiteral("显示全部事件"), modeBox);
    singleKind_ = new QRadioButton(QStringLiteral("显示单个事件"), modeBox);
    allEvents_->setChecked(true);
    modeLayout->addWidget(allEvents_);
    modeLayout->addWidget(singleKind_);
    connect(allEvents_, &QRadioButton::clicked, this, [this] { setMode(false); });
    connect(singleKind_, &QRadioButton::clicked, this, [this] { setMode(true); });
    side->addWidget(modeBox);
    auto* handling = new QGroupBox(QStringLiteral("事件处理"), this);
    auto* handlingLayout = new QHBoxLayout(handling);
    auto* clear = new QPushButton(QStringLiteral("清 除"), handling);
    auto* clearAllButton = new QPushButton(QStringLiteral("全部清除"), handling);
    auto* save = new QPushButton(QStringLiteral("保存事件"), handling);
    handlingLayout->addWidget(clear);
    handlingLayout->addWidget(clearAllButton);
    handlingLayout->addWidget(save);
    connect(clear, &QPushButton::clicked, this, &ResultsView::clearKind);
    connect(clearAllButton, &QPushButton::clicked, this, &ResultsView::clearAll);
    connect(save, &QPushButton::clicked, this, &ResultsView::saveEvents);
    side->addWidget(handling);
    middle->addLayout(side, 2);
    layout->addLayout(middle);

    events_ = new QTreeWidget(this);
    events_->setColumnCount(4);
    events_->setHeaderLabels({QStringLiteral("序号"), QStringLiteral("发生时间"),
                              QStringLiteral("事件类型"), QStringLiteral("事件详细描述")});
    for (int c = 0; c < 4; ++c)
        events_->setColumnWidth(c, kColumnWidths[static_cast<std::size_t>(c)]);
    events_->setRootIsDecorated(false);
    events_->setUniformRowHeights(true);
    events_->setSelectionBehavior(QAbstractItemView::SelectRows);
    events_->setAlternatingRowColors(true);
    layout->addWidget(events_, 1);
}

QTreeWidgetItem* ResultsView::rowItem(const EventRow& row) {
    auto* item =
        new QTreeWidgetItem({text(row.number), text(row.time), text(row.type), text(row.detail)});
    item->setIcon(0, eventIcon(static_cast<int>(row.icon)));
    return item;
}

void ResultsView::redraw() {
    std::array<std::string, kKindCount> counters;
    std::array<Lamp, kKindCount> lamps;
    int selected = 0;
    bool single = false;
    std::vector<std::string> detail;
    std::string rate;
    std::vector<EventRow> fresh;
    bool rebuild = false;
    const bool read = session_.access([&](AnalysisContext&, ResultsPage& page) {
        for (int k = 0; k < kKindCount; ++k) {
            const auto kind = static_cast<Tr290ErrorKind>(k);
            counters[static_cast<std::size_t>(k)] = page.counterText(kind);
            lamps[static_cast<std::size_t>(k)] = page.lamp(kind);
        }
        selected = kindIndex(page.selectedKind());
        single = page.mode() == DisplayMode::SingleKind;
        detail = page.detailLines();
        rate = page.errorRateText();
        const std::span<const EventRow> rows = page.rows();
        // Rows only grow between resets: take the new ones, or all when the list restarted.
        rebuild =
            rows.size() < shown_.size() || (!shown_.empty() && rows.front() != shown_.front());
        const std::size_t from = rebuild ? 0 : shown_.size();
        fresh.assign(rows.begin() + static_cast<std::ptrdiff_t>(from), rows.end());
    });
    if (!read) return;
    for (int k = 0; k < kKindCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        if (counters_[i]->text() != text(counters[i])) counters_[i]->setText(text(counters[i]));
        const bool red = lamps[i].colour == LampColour::Red;
        const bool bright = lamps[i].brightOnly || k == selected;
        const int drawn = (red ? 2 : 0) + (bright ? 1 : 0);
        if (lampDrawn_[i] != drawn) {
            buttons_[i]->setIcon(lampIcon(red, bright));
            lampDrawn_[i] = drawn;
        }
        lampRed_[i] = red;
    }
    if (detail != detailShown_) {
        detail_->clear();
        for (const std::string& line : detail)
            detail_->addItem(text(line));
        detailShown_ = detail;
    }
    if (errorRate_->text() != text(rate)) errorRate_->setText(text(rate));
    (single ? singleKind_ : allEvents_)->setChecked(true);
    if (rebuild) {
        events_->clear();
        shown_.clear();
    }
    // New rows go to the list in one insertion: a run with many faults brings up to 2000 rows
    // between two ticks, and adding them one at a time held the window for over 100 ms.
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(fresh.size()));
    for (const EventRow& row : fresh)
        items.append(rowItem(row));
    events_->addTopLevelItems(items);
    shown_.insert(shown_.end(), fresh.begin(), fresh.end());
}

void ResultsView::selectKind(int k) {
    session_.access([k](AnalysisContext& ctx, ResultsPage& page) {
        page.selectKind(ctx, static_cast<Tr290ErrorKind>(k));
    });
    redraw();
}

void ResultsView::clearKind() {
    session_.access([](AnalysisContext& ctx, ResultsPage& page) { page.clearSelectedKind(ctx); });
    redraw();
}

void ResultsView::clearAll() {
    session_.access([](AnalysisContext& ctx, ResultsPage& page) { page.clearAll(ctx); });
    redraw();
}

void ResultsView::saveEvents() {
    session_.access([](AnalysisContext& ctx, ResultsPage& page) { page.saveEvents(ctx); });
    redraw();
}

void ResultsView::setMode(bool single) {
    session_.access([single](AnalysisContext&, ResultsPage& page) {
        if (single)
            page.showSingleKind();
        else
            page.showAllEvents();
    });
    redraw();
}

}  // namespace orv::gui
