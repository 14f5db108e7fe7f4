// `orv01 analyze FILE`: the offline analysis of a transport stream file, headless. It prints the
// TR 101 290 verdict, the event list and the stream's structure, and appends the event list to the
// error log as stopping a run does.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace orv::cli {

struct AnalyzeOptions {
    std::string file;
    bool json = false;
    std::string logPath = "c:\\ERROR.log";  // a drive path is mapped onto the user's data folder
    bool writeLog = true;
    std::optional<std::string> switches;  // 32 characters '0'/'1' for this run only
    bool failOnFindings = false;
    bool progress = false;  // percentages on stderr
};

// Prints the report to `out` and returns the exit code: 0 analysed, 1 findings when
// failOnFindings is set, 2 usage or input error (the message goes through showMessage or stderr).
int runAnalyze(const AnalyzeOptions& options, std::ostream& out);

}  // namespace orv::cli
