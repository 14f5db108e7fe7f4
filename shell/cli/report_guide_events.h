// The programme guide's scheduled events in the analysis report: per service of both guide lists,
// its events as the guide page lists them (JSON key `guideEvents`).
#pragma once

#include <nlohmann/json.hpp>

#include "shell/cli/analysis_report.h"

namespace orv::cli {

void addGuideEvents(AnalysisReport& report, const AnalysisContext& ctx);

// [{"list": "actual"|"other", "serviceId", "transportStreamId", "originalNetworkId", "complete",
//   "events": [{"row", "eventId", "name", "start", "duration", "runningStatus"}, ...]}, ...]
nlohmann::json guideEventsJson(const AnalysisReport& report);

}  // namespace orv::cli
