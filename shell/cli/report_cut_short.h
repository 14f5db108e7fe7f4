// Sections cut short in the tables section of the analysis report: sections dropped because the
// next section start on their PID came before they were whole (their CRC could not be checked).
#pragma once

#include "shell/cli/analysis_report.h"

namespace orv::cli {

// Puts the run's per-table counts on the table lines. A PMT line carries its own program's count.
// A count known only for a whole table (NIT actual and other together, every EIT table, the SDT
// kinds) or left by programs no longer listed goes on the first line of that table, and on a line
// of its own (no sections) when the table has none; so the lines always add up to the counts.
void addCutShort(AnalysisReport& report, const AnalysisContext& ctx);

// The text after a table line: "  cut short N", or empty when N is 0.
std::string cutShortText(const TableLine& line);

}  // namespace orv::cli
