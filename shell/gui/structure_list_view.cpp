#include "shell/gui/structure_list_view.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>

#include "shell/gui/analysis_session.h"
#include "shell/gui/view_widgets.h"

namespace orv::gui {
namespace {

struct Column {
    const char* title;
    int width;
};
constexpr std::array<Column, kStructureColumns> kColumns{{
    {"分组", 100},
    {"类型描述", 100},
    {"ID", 100},
    {"CA_SYS_ID", 100},
    {"PID", 90},
    {"PCR_PID", 90},
    {"码率(Mbps)", 110},
    {"%带宽", 90},
}};
constexpr int kRateColumn = 6;

std::array<QString, kStructureColumns> cells(const StructureRow& r) {
    return {qtext(r.groupText), qtext(r.type),       qtext(r.id),   qtext(r.caSystemIdText),
            qtext(r.pidText),   qtext(r.pcrPidText), qtext(r.rate), qtext(r.bandwidth)};
}

// A row stands for its group, type and identifiers: two programs' video rows share their group
// and type text, so those alone would mix them up.
QString rowKey(const StructureRow& r) {
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(static_cast<int>(r.group))
        .arg(qtext(r.type), qtext(r.id))
        .arg(r.pid)
        .arg(r.caSystemId)
        .arg(r.pcrPid);
}

}  // namespace

StructureListView::StructureListView(AnalysisSession& session, QWidget* parent)
    : PageView(parent), session_(session) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("TS PID浏览"), this);
    auto* groupLayout = new QVBoxLayout(group);
    list_ = new QTableWidget(0, kStructureColumns, group);
    QStringList headers;
    for (const Column& c : kColumns)
        headers << QString::fromUtf8(c.title);
    list_->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < kStructureColumns; ++c)
        list_->setColumnWidth(c, kColumns[static_cast<std::size_t>(c)].width);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->setVisible(false);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->horizontalHeader()->setStretchLastSection(false);
    groupLayout->addWidget(list_);
    layout->addWidget(group);
}

void StructureListView::showEvent(QShowEvent* event) {
    cycle_.makeDue();
    PageView::showEvent(event);
}

void StructureListView::refresh() {
    if (!session_.analysisActive() || !cycle_.due()) return;
    int delay = 0;
    const bool read = session_.access(
        [&](AnalysisContext& ctx, ResultsPage&) { delay = page_.refreshStructure(ctx); });
    if (!read) return;
    // Empty until the initialisation phase has ended: look again next tick, so the rows appear
    // as soon as it ends.
    if (!page_.info().structure.empty()) cycle_.arm(delay);
    draw();
}

void StructureListView::passFinished() {
    cycle_.makeDue();
    refresh();
}

void StructureListView::draw() {
    const std::vector<StructureRow>& rows = page_.info().structure;
    std::vector<QString> keys;
    keys.reserve(rows.size());
    for (const StructureRow& r : rows)
        keys.push_back(rowKey(r));
    if (keys != keys_) {
        // A part appeared (or went with a new program table): lay the rows out again in list
        // order, keeping the selected part selected.
        const int selectedRow = list_->currentRow();
        const QString selected = selectedRow >= 0 && selectedRow < static_cast<int>(keys_.size())
                                     ? keys_[static_cast<std::size_t>(selectedRow)]
                                     : QString();
        list_->setRowCount(static_cast<int>(rows.size()));
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const auto texts = cells(rows[r]);
            for (int c = 0; c < kStructureColumns; ++c) {
                auto* item = new QTableWidgetItem(texts[static_cast<std::size_t>(c)]);
                // The fixed column widths cut the longer identifier lists short.
                item->setToolTip(item->text());
                list_->setItem(static_cast<int>(r), c, item);
            }
            if (!selected.isEmpty() && keys[r] == selected) list_->selectRow(static_cast<int>(r));
        }
        keys_ = std::move(keys);
        return;
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto texts = cells(rows[r]);
        for (int c = kRateColumn; c < kStructureColumns; ++c) {
            QTableWidgetItem* item = list_->item(static_cast<int>(r), c);
            if (item->text() == texts[static_cast<std::size_t>(c)]) continue;
            item->setText(texts[static_cast<std::size_t>(c)]);
            item->setToolTip(item->text());
        }
    }
}

void StructureListView::clearAtStop() {
    page_ = BasicInfoPage{};
    cycle_.makeDue();
    keys_.clear();
    list_->clearContents();
    list_->setRowCount(0);
}

}  // namespace orv::gui
