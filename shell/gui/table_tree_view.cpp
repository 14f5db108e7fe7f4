#include "shell/gui/table_tree_view.h"

#include <QTreeWidget>
#include <QVBoxLayout>
#include <vector>

#include "shell/gui/analysis_session.h"

namespace orv::gui {
namespace {

// The node an item still has to make its children from (set until they are made).
constexpr int kPendingNodeRole = Qt::UserRole;

QTreeWidgetItem* makeItem(const TreeNode& node) {
    auto* item = new QTreeWidgetItem({QString::fromStdString(node.label)});
    if (!node.children.empty()) {
        item->setData(0, kPendingNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(&node)));
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    return item;
}

}  // namespace

TableTreeView::TableTreeView(AnalysisSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    auto* layout = new QVBoxLayout(this);
    tree_ = new QTreeWidget(this);
    tree_->setHeaderLabel(QStringLiteral("PSI/SI表详细描述"));
    layout->addWidget(tree_);
    connect(tree_, &QTreeWidget::itemExpanded, this, [](QTreeWidgetItem* item) { fill(item); });
}

void TableTreeView::fill(QTreeWidgetItem* item) {
    const QVariant pending = item->data(0, kPendingNodeRole);
    if (!pending.isValid()) return;
    item->setData(0, kPendingNodeRole, QVariant());
    const auto* node = reinterpret_cast<const TreeNode*>(pending.value<quintptr>());
    QList<QTreeWidgetItem*> children;
    children.reserve(static_cast<qsizetype>(node->children.size()));
    for (const TreeNode& child : node->children)
        children.append(makeItem(child));
    item->addChildren(children);
}

void TableTreeView::rebuild() {
    std::vector<TreeNode> nodes;
    // The labels are built under the lock (they view the stored sections); drawing comes after.
    if (!session_.access([&nodes](AnalysisContext& ctx, ResultsPage&) {
            nodes = buildTableTree(storedSections(ctx.siStore));
            ctx.tablesChangedTree = false;
        }))
        return;
    // A multiplex with a programme guide schedule makes tens of thousands of nodes: made all at
    // once they held the window for a quarter of a second at every visit of the page during a
    // run. The tables and their first level are made now (they are shown expanded), everything
    // deeper when its parent is first expanded. The items keep pointers into nodes_, which
    // stays as it is until the tree is cleared (a vector's move keeps its elements in place).
    tree_->clear();
    nodes_ = std::move(nodes);
    QList<QTreeWidgetItem*> tops;
    tops.reserve(static_cast<qsizetype>(nodes_.size()));
    for (const TreeNode& top : nodes_) {
        QTreeWidgetItem* item = makeItem(top);
        fill(item);
        tops.append(item);
    }
    tree_->addTopLevelItems(tops);
    tree_->expandToDepth(0);
}

void TableTreeView::rebuildIfChanged() {
    bool changed = false;
    session_.access(
        [&changed](AnalysisContext& ctx, ResultsPage&) { changed = ctx.tablesChangedTree; });
    if (changed) rebuild();
}

void TableTreeView::clear() {
    tree_->clear();
    nodes_.clear();
}

}  // namespace orv::gui
