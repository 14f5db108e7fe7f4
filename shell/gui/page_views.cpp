// Which view draws which page.
#include "shell/gui/basic_info_view.h"
#include "shell/gui/buffer_view.h"
#include "shell/gui/capture_page_view.h"
#include "shell/gui/guide_view.h"
#include "shell/gui/page_catalogue.h"
#include "shell/gui/page_view.h"
#include "shell/gui/pcr_page_view.h"
#include "shell/gui/pes_page_view.h"
#include "shell/gui/program_info_view.h"
#include "shell/gui/structure_list_view.h"

namespace orv::gui {

PageView* makePageView(int index, AnalysisSession& session, QWidget* parent) {
    switch (index) {
        case kPageBasic:
            return new BasicInfoView(session, parent);
        case kPageProgram:
            return new ProgramInfoView(session, parent);
        case kPageBandwidth:
            return new StructureListView(session, parent);
        case kPageCapture:
            return new CapturePageView(session, parent);
        case kPagePcr:
            return new PcrPageView(session, parent);
        case kPagePes:
            return new PesPageView(session, parent);
        case kPageBuffer:
            return new BufferView(session, parent);
        case kPageGuide:
            return new GuideView(session, parent);
        default:
            return nullptr;
    }
}

}  // namespace orv::gui
