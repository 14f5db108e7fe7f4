// `orv01 report FILE`: analyses the file as `analyze` does, then appends the chosen kinds of the
// stream information report to the report file, as the print settings dialog saves them.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "presentation/report_output.h"

namespace orv::cli {

struct ReportCommandOptions {
    std::string file;
    std::vector<int> kinds;  // 1..10 in the order to write
    // The table combo entry for kind 6: its text, or a short name (PAT, CAT, PMT, PMT:N with the
    // program number, NIT, SDT, BAT, EIT, TDT, TOT, or NAME:0xTT with the table_id). Default:
    // the first entry.
    std::optional<std::string> table;
    // The guide service of kind 10 by service_id; default: the first service listed.
    std::optional<unsigned> service;
    std::string out = kDefaultReportPath;
    ReportEncoding encoding = ReportEncoding::Gbk;
    bool progress = false;
    std::optional<std::string> switches;
    std::optional<double> bitrateMbps;
};

// Exit codes beside those of analyze (0, 2, 3): the report file could not be written.
inline constexpr int kExitReportNotWritten = 4;

// "all" (every kind in order), or kind numbers 1..10 separated by commas; nullopt after showing
// why for anything else.
std::optional<std::vector<int>> parseReportKinds(std::string_view text);
// A service_id in decimal or 0x hex; nullopt after showing why.
std::optional<unsigned> parseServiceOption(std::string_view text);

// Writes a line per saved kind to `out`; notes on skipped kinds and messages go to stderr
// through showMessage. Returns 0 (written), 2 (usage or input error: nothing was written),
// 3 (the file could not be read to its end; what was read is reported) or 4.
int runReportCommand(const ReportCommandOptions& options, std::ostream& out,
                     std::ostream& progressOut);

}  // namespace orv::cli
