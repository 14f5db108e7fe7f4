// Which view draws which page.
#include "shell/gui/buffer_view.h"
#include "shell/gui/guide_view.h"
#include "shell/gui/page_catalogue.h"
#include "shell/gui/page_view.h"

namespace orv::gui {

PageView* makePageView(int index, AnalysisSession& session, QWidget* parent) {
    (void)session;
    (void)parent;
    switch (index) {
        case kPageBuffer:
            return new BufferView(session, parent);
        case kPageGuide:
            return new GuideView(session, parent);
        default:
            return nullptr;
    }
}

}  // namespace orv::gui
