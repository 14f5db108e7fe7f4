// The PSI/SI table tree ("PSI/SI表详细描述"): the stored tables of the analysis as a tree of
// labelled fields, rebuilt from the context when asked (a finished pass, a shown page).
#pragma once

#include <QWidget>

class QTreeWidget;

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
    AnalysisSession& session_;
    QTreeWidget* tree_ = nullptr;
};

}  // namespace orv::gui
