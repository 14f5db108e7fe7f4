#include "acquisition/live_capture.h"

namespace orv {

bool LiveCapture::poll(AnalysisContext& ctx) {
    const int made = static_cast<int>(store_.size());
    if (made >= wanted_) return true;
    if (!ctx.initDone || captureArmed(ctx.capture) || failed()) return false;
    plan_ = planCapture(ctx, target_, wanted_ - made);
    planned_ = true;
    if (!plan_.request) return false;
    store_.follow(&ctx);
    armCapture(ctx, *plan_.request, &store_);
    return false;
}

void LiveCapture::stop(AnalysisContext& ctx) {
    disarmCapture(ctx);
    store_.follow(nullptr);
}

}  // namespace orv
