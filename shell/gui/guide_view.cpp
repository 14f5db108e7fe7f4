#include "shell/gui/guide_view.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "shell/gui/analysis_session.h"
#include "shell/gui/qt_text.h"

namespace orv::gui {
namespace {

struct Column {
    const char* title;
    int width;
};
constexpr std::array<Column, 2> kServiceColumns{{{"业务序号", 75}, {"业务标识符", 120}}};
constexpr std::array<Column, 5> kEventColumns{{
    {"事件序号", 80},
    {"事件标识符", 90},
    {"事件名称", 150},
    {"起始时间", 150},
    {"持续时间", 100},
}};

constexpr std::array<const char*, GuideView::kFieldCount> kFieldLabels{
    "业务名称：",     "业务提供者名称：", "业务服务类型：", "业务加扰状态：", "业务标识符：",
    "传送流标识符：", "原始网络标识符：", "当地时间：",     "GMT时间：",
};

template <std::size_t N>
QTableWidget* makeList(const std::array<Column, N>& columns, QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(N), parent);
    QStringList titles;
    for (const Column& c : columns)
        titles << QString::fromUtf8(c.title);
    table->setHorizontalHeaderLabels(titles);
    for (std::size_t c = 0; c < N; ++c)
        table->setColumnWidth(static_cast<int>(c), columns[c].width);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setShowGrid(true);
    return table;
}

// Rewrites a list when its rows differ from the model's; returns whether it did.
bool syncRows(QTableWidget* table, const std::vector<std::vector<std::string>>& rows) {
    bool same = table->rowCount() == static_cast<int>(rows.size());
    for (int r = 0; same && r < table->rowCount(); ++r)
        for (int c = 0; same && c < table->columnCount(); ++c) {
            const QTableWidgetItem* item = table->item(r, c);
            same = item != nullptr &&
                   item->text() ==
                       text(rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
        }
    if (same) return false;
    const QSignalBlocker block(table);
    table->clearContents();
    table->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            table->setItem(static_cast<int>(r), static_cast<int>(c),
                           new QTableWidgetItem(text(rows[r][c])));
    return true;
}

int selectedRow(const QTableWidget* table) {
    const QList<QTableWidgetItem*> items = table->selectedItems();
    return items.isEmpty() ? -1 : items.front()->row();
}

}  // namespace

GuideView::GuideView(AnalysisSession& session, QWidget* parent)
    : PageView(parent), session_(session) {
    auto* layout = new QHBoxLayout(this);

    auto* left = new QVBoxLayout;
    const std::array<const char*, 2> listTitles{"现行传送流业务列表", "其他传送流业务列表"};
    for (std::size_t i = 0; i < services_.size(); ++i) {
        auto* box = new QGroupBox(QString::fromUtf8(listTitles[i]), this);
        auto* boxLayout = new QVBoxLayout(box);
        QTableWidget* list = makeList(kServiceColumns, box);
        list->setMinimumWidth(220);
        boxLayout->addWidget(list);
        left->addWidget(box);
        services_[i] = list;
        const auto id = static_cast<GuideListId>(i);
        connect(list, &QTableWidget::itemSelectionChanged, this,
                [this, id] { selectionChanged(id); });
        connect(list, &QTableWidget::cellClicked, this,
                [this, id](int row, int) { clicked(id, row); });
    }
    layout->addLayout(left, 2);

    auto* right = new QVBoxLayout;
    auto* clockRow = new QHBoxLayout;
    auto* descBox = new QGroupBox(QStringLiteral("业务描述/EPG分析"), this);
    auto* descLayout = new QVBoxLayout(descBox);
    auto* form = new QFormLayout;
    for (int f = 0; f < kFieldCount; ++f) {
        auto* box = new QLineEdit(this);
        box->setReadOnly(true);
        box->setObjectName(QStringLiteral("field%1").arg(f));
        fields_[static_cast<std::size_t>(f)] = box;
        const QString label = QString::fromUtf8(kFieldLabels[static_cast<std::size_t>(f)]);
        if (f == LocalTime || f == GmtTime) {
            clockRow->addWidget(new QLabel(label, this));
            clockRow->addWidget(box, 1);
        } else {
            form->addRow(label, box);
        }
    }
    right->addLayout(clockRow);
    descLayout->addLayout(form);
    events_ = makeList(kEventColumns, descBox);
    descLayout->addWidget(events_, 1);
    right->addWidget(descBox, 1);
    layout->addLayout(right, 5);
}

std::optional<std::pair<GuideListId, int>> GuideView::shownService() const {
    for (const GuideListId list : {GuideListId::Actual, GuideListId::Other}) {
        const int row = serviceList(list)->currentRow();
        if (page_.holdsShown(list) && row >= 0) return std::make_pair(list, row);
    }
    return std::nullopt;
}

void GuideView::refresh() {
    if (cadence_.due()) refreshNow();
}

void GuideView::passFinished() {
    refreshNow();
}

void GuideView::refreshNow() {
    // The page follows a run once its initialisation has ended; after the stop it stays empty.
    if (!session_.analysisActive()) return;
    bool ran = false;
    int next = kGuideRefreshMs;
    session_.access([&](AnalysisContext& ctx, ResultsPage&) {
        if (!ctx.initDone) return;
        next = page_.refresh(ctx);
        ran = true;
    });
    if (!ran) return;
    cadence_.arm(next);
    draw();
}

void GuideView::clearAtStop() {
    page_.reset();
    cadence_.makeDue();
    draw();
}

void GuideView::showEvent(QShowEvent* event) {
    cadence_.makeDue();
    PageView::showEvent(event);
}

void GuideView::selectionChanged(GuideListId list) {
    const int row = selectedRow(serviceList(list));
    if (row < 0) return;
    session_.access([&](AnalysisContext& ctx, ResultsPage&) {
        // Within the list that holds the shown service a selection moves only by keyboard or
        // by the press of a click; either way the row now selected is the one to show, so it
        // is taken as a click rather than left to disagree with the description.
        if (page_.holdsShown(list))
            page_.clicked(ctx, list, row);
        else
            page_.selectionChanged(ctx, list, row);
    });
    draw();
}

void GuideView::clicked(GuideListId list, int row) {
    session_.access([&](AnalysisContext& ctx, ResultsPage&) { page_.clicked(ctx, list, row); });
    draw();
}

void GuideView::draw() {
    for (const GuideListId id : {GuideListId::Actual, GuideListId::Other}) {
        std::vector<std::vector<std::string>> rows;
        for (const GuideServiceRow& s : page_.services(id))
            rows.push_back({s.number, s.serviceId});
        syncRows(serviceList(id), rows);
    }
    // Only one list shows a selection: the one that holds the shown service. Choosing a
    // service in one list clears the other's, so its rows can be chosen again with a click.
    for (const GuideListId id : {GuideListId::Actual, GuideListId::Other}) {
        QTableWidget* list = serviceList(id);
        const GuideListId otherId =
            id == GuideListId::Actual ? GuideListId::Other : GuideListId::Actual;
        if (page_.holdsShown(otherId) && !list->selectedItems().isEmpty()) {
            const QSignalBlocker block(list);
            list->clearSelection();
            list->setCurrentItem(nullptr);
        }
    }

    std::vector<std::vector<std::string>> events;
    for (const GuideEventRow& e : page_.events())
        events.push_back({e.number, e.eventId, e.name, e.start, e.duration});
    syncRows(events_, events);

    const GuideTexts& t = page_.texts();
    const std::array<const std::string*, kFieldCount> values{
        &t.serviceName,       &t.providerName,      &t.serviceType, &t.scrambling, &t.serviceId,
        &t.transportStreamId, &t.originalNetworkId, &t.localTime,   &t.gmtTime,
    };
    for (std::size_t f = 0; f < values.size(); ++f)
        if (fields_[f]->text() != text(*values[f])) fields_[f]->setText(text(*values[f]));
}

}  // namespace orv::gui
