// Which view draws which page.
#include "shell/gui/capture_page_view.h"
#include "shell/gui/page_catalogue.h"
#include "shell/gui/page_view.h"

namespace orv::gui {

PageView* makePageView(int index, AnalysisSession& session, QWidget* parent) {
    (void)session;
    (void)parent;
    switch (index) {
        case kPageCapture:
            return new CapturePageView(session, parent);
        default:
            return nullptr;
    }
}

}  // namespace orv::gui
