// The data capture of a live run: the request is set on the running analysis once its
// initialisation phase has ended, and set again after a restart (whose reset turns every trigger
// off) for the copies still wanted, so that a capture goes on across an interruption.
#pragma once

#include "acquisition/capture_request.h"
#include "acquisition/capture_store.h"

namespace orv {

class LiveCapture {
  public:
    LiveCapture(const CaptureTarget& target, int wanted, CaptureStore& store)
        : target_(target), wanted_(wanted), store_(store) {}

    // The page's poll, with ctx.mutex held: arms the request when the analysis is past its
    // initialisation phase and no trigger is set. True once every wanted copy has been taken.
    bool poll(AnalysisContext& ctx);
    // Every trigger off (ctx.mutex held).
    void stop(AnalysisContext& ctx);

    // The last plan: its error (the trigger stays off) and the unseen-table question.
    const CapturePlan& plan() const { return plan_; }
    bool failed() const { return planned_ && !plan_.request; }
    int wanted() const { return wanted_; }

  private:
    CaptureTarget target_;
    int wanted_;
    CaptureStore& store_;
    CapturePlan plan_;
    bool planned_ = false;
};

}  // namespace orv
