// `orv01 analyze FILE`: reads a transport stream file, runs it through the analysis engine and
// prints the monitored kinds with their counters and the event list.
#pragma once

#include <string>

namespace orv::cli {

struct AnalyzeOptions {
    std::string file;
    bool json = false;
};

// Returns the process exit code: 0 done, 2 input error (message on stderr).
int runAnalyze(const AnalyzeOptions& options);

}  // namespace orv::cli
