// The PCR curves and PES time stamps of the analysis report as JSON: what the PCR and PES pages
// show, as numbers. Series are the samples the engine keeps (the last 300 PCRs of a program, the
// last 150 PES headers of a component), so the document stays small on files of any length.
#pragma once

#include <nlohmann/json.hpp>

#include "shell/cli/analysis_report.h"

namespace orv::cli {

nlohmann::json pcrCurvesJson(const AnalysisReport& report);
nlohmann::json pesJson(const AnalysisReport& report);

}  // namespace orv::cli
