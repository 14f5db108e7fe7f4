// Which view draws which page.
#include "shell/gui/page_catalogue.h"
#include "shell/gui/page_view.h"
#include "shell/gui/pcr_page_view.h"
#include "shell/gui/pes_page_view.h"

namespace orv::gui {

PageView* makePageView(int index, AnalysisSession& session, QWidget* parent) {
    (void)session;
    (void)parent;
    switch (index) {
        case kPagePcr:
            return new PcrPageView(session, parent);
        case kPagePes:
            return new PesPageView(session, parent);
        default:
            return nullptr;
    }
}

}  // namespace orv::gui
