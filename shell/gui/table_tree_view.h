// The PSI/SI table tree ("PSI/SI表详细描述"): the stored tables of the analysis as a tree of
// labelled fields, rebuilt from the context when asked (a finished pass, a shown page). Items
// below the first level are made when their parent is first expanded.
#pragma once

#include <QWidget>
#include <vector>

#include "presentation/table_tree.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace orv::gui {

class AnalysisSession;

class TableTreeView : public QWidget {
    Q_OBJECT

  public:
    explicit TableTreeView(AnalysisSession& session, QWidget* parent = nullptr);

    // Rebuilds from the stored sections (nothing while the context cannot be read).
    void rebuild();
    // The stop-time reset.
    void clear();
    // During a live run: rebuilds when the tables changed since the last build.
    void rebuildIfChanged();

    QTreeWidget* tree() const { return tree_; }

  private:
    // Makes the children of an item whose children are still to be made.
    static void fill(QTreeWidgetItem* item);

    AnalysisSession& session_;
    QTreeWidget* tree_ = nullptr;
    std::vector<TreeNode> nodes_;  // what the items were made from
};

}  // namespace orv::gui
