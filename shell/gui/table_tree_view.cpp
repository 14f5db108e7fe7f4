#include "shell/gui/table_tree_view.h"

#include <QTreeWidget>
#include <QVBoxLayout>
#include <vector>

#include "presentation/table_tree.h"
#include "shell/gui/analysis_session.h"

namespace orv::gui {
namespace {

void addNodes(QTreeWidgetItem* parent, const std::vector<TreeNode>& nodes) {
    for (const TreeNode& node : nodes) {
        auto* item = new QTreeWidgetItem(parent, {QString::fromStdString(node.label)});
        addNodes(item, node.children);
    }
}

}  // namespace

TableTreeView::TableTreeView(AnalysisSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    auto* layout = new QVBoxLayout(this);
    tree_ = new QTreeWidget(this);
    tree_->setHeaderLabel(QStringLiteral("PSI/SI表详细描述"));
    layout->addWidget(tree_);
}

void TableTreeView::rebuild() {
    std::vector<TreeNode> nodes;
    // The labels are built under the lock (they view the stored sections); drawing comes after.
    if (!session_.access([&nodes](AnalysisContext& ctx, ResultsPage&) {
            nodes = buildTableTree(storedSections(ctx.siStore));
            ctx.tablesChangedTree = false;
        }))
        return;
    tree_->clear();
    for (const TreeNode& top : nodes) {
        auto* item = new QTreeWidgetItem(tree_, {QString::fromStdString(top.label)});
        addNodes(item, top.children);
    }
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
}

}  // namespace orv::gui
