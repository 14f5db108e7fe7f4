// The results page and the error log writer behind the run control: what the command line and the
// desktop program hand to RunControl. Every hook runs with ctx.mutex held, as the page needs.
#pragma once

#include <functional>
#include <utility>

#include "acquisition/run_control.h"
#include "presentation/error_log_writer.h"
#include "presentation/results_page.h"

namespace orv {

class ResultsFrontEnd : public RunFrontEnd {
  public:
    explicit ResultsFrontEnd(ResultsPage& page, std::function<void()> onEnded = {})
        : page_(page), onEnded_(std::move(onEnded)) {}

    int refreshResults(AnalysisContext& ctx) override { return page_.refresh(ctx); }
    void saveEvents(AnalysisContext& ctx) override { writeErrorLog(ctx, page_); }
    void resetResults(AnalysisContext& ctx) override { page_.reset(ctx); }
    void runEnded() override {
        if (onEnded_) onEnded_();
    }

  private:
    ResultsPage& page_;
    std::function<void()> onEnded_;
};

}  // namespace orv
