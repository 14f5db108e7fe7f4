// A page of the main window drawn from its page model. The window calls these on the GUI thread:
// refresh() on its view timer while the page is shown and once when it becomes shown,
// passFinished() when a file run's results are final, clearAtStop() at the stop of a run.
#pragma once

#include <QWidget>

namespace orv::gui {

class AnalysisSession;

class PageView : public QWidget {
    Q_OBJECT

  public:
    using QWidget::QWidget;

    virtual void refresh() = 0;
    virtual void passFinished() { refresh(); }
    virtual void clearAtStop() = 0;
};

// The view of page `index` (PageIndex), or nullptr where the window draws the page itself
// (TR 101 290 results, PSI/SI tables).
PageView* makePageView(int index, AnalysisSession& session, QWidget* parent);

}  // namespace orv::gui
