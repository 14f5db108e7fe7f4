// The pieces of the JSON report that other outputs share, so that the same things have the same
// keys wherever they appear (the analysis document, the live monitor's lines).
#pragma once

#include <nlohmann/json.hpp>

#include "shell/cli/analysis_report.h"

namespace orv::cli {

nlohmann::json kindJson(const KindLine& kind);
nlohmann::json eventJson(const EventLine& event);
// The whole document of reportJson, as a value.
nlohmann::json reportDocument(const AnalysisReport& report);

}  // namespace orv::cli
