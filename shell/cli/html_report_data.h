// Gathers what the HTML report draws from the analysis context after a run.
#pragma once

#include "shell/cli/html_report.h"

namespace orv {
struct AnalysisContext;
}

namespace orv::cli {

// The caller holds ctx.mutex or is the only thread using the context.
void addMeasurements(HtmlReportInput& input, const AnalysisContext& ctx);

}  // namespace orv::cli
