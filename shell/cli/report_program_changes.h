// The program changes of a run in the analysis report: their count in the summary, and where
// each recorded one happened (packet, table, program, version).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "shell/cli/analysis_report.h"

namespace orv::cli {

void addProgramChanges(AnalysisReport& report, const AnalysisContext& ctx);

// The summary line "Program changes N" (empty when there were none).
std::string programChangesSummary(const AnalysisReport& report);
// One line per recorded change under the title "Program changes (N)" (empty when none).
std::string programChangesText(const AnalysisReport& report);
// {"count": N, "changes": [{"packet", "table", "program", "pid", "version"}, ...]}; "program" is
// null for a PAT.
nlohmann::json programChangesJson(const AnalysisReport& report);

}  // namespace orv::cli
