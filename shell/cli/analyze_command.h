// `orv01 analyze FILE`: the offline analysis of a transport stream file, headless. It prints the
// TR 101 290 verdict, the event list and the stream's structure, and appends the event list to the
// error log as stopping a run does.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "acquisition/offline_source.h"
#include "engine/analysis_context.h"
#include "presentation/results_page.h"
#include "shell/cli/html_report_data.h"

namespace orv::cli {

struct AnalyzeOptions {
    std::string file;
    bool json = false;
    std::string logPath = "c:\\ERROR.log";  // a drive path is mapped onto the user's data folder
    bool writeLog = true;
    std::optional<std::string> switches;  // 32 characters '0'/'1' for this run only
    bool failOnFindings = false;
    bool progress = false;  // percentages on the progress stream (stderr)
    // The stream bitrate of the run in Mbit/s, instead of one measured from PCRs.
    std::optional<double> bitrateMbps;
    // Also write the self-contained HTML report there.
    std::optional<std::string> htmlPath;
};

// Exit codes. When several apply, the first of 3, 4, 1 in that order is returned.
inline constexpr int kExitAnalysed = 0;
inline constexpr int kExitFindings = 1;       // --fail-on, and a monitored kind has a finding
inline constexpr int kExitInputError = 2;     // usage or input error: nothing was analysed
inline constexpr int kExitIncomplete = 3;     // the file could not be read to its end; the results
                                              // of what was read are printed
inline constexpr int kExitLogNotWritten = 4;  // the error log or the HTML report could not be
                                              // written; the results are printed

// The value of --bitrate: a decimal number of Mbit/s above 0 and at most 1000; nullopt (after
// showing why) for anything else.
std::optional<double> parseBitrateOption(std::string_view text);

// A file analysed as `analyze` does it, up to the last refresh of the results page: what the
// commands that print or write its results read.
struct AnalysedFile {
    std::unique_ptr<AnalysisContext> ctx;
    std::unique_ptr<ResultsPage> page;
    OfflineStatus status = OfflineStatus::Completed;
    bool bitrateGiven = false;
    // Every PCR and PES timing measurement of the run, kept when an HTML report is asked for.
    std::unique_ptr<TimingCollector> timing;
    // Messages shown during the run, held so that they follow the results (showHeldMessages).
    std::vector<std::pair<std::string, std::string>> heldMessages;
};

// Runs the analysis of options.file (the switches, bitrate and log path of the options apply;
// json and failOnFindings are not read). When nothing was analysed it shows why and returns
// nullopt: the exit code is then kExitInputError.
std::optional<AnalysedFile> analyseFileForReport(const AnalyzeOptions& options,
                                                 std::ostream& progressOut);
// Shows the messages held during the run, in order, and forgets them.
void showHeldMessages(AnalysedFile& analysed);
// 3 when the file could not be read to its end, else 0.
int incompleteExitCode(const AnalysedFile& analysed);

// Prints the report to `out` and returns one of the exit codes above. Messages go through
// showMessage (stderr by default) with the system's reason after the system's text; those of a
// run that printed results come after the results. Progress, when asked for, goes to
// `progressOut`.
int runAnalyze(const AnalyzeOptions& options, std::ostream& out, std::ostream& progressOut);
int runAnalyze(const AnalyzeOptions& options, std::ostream& out);  // progress to stderr

}  // namespace orv::cli
