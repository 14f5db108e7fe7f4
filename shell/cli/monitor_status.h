// What `orv01 monitor` says every second: one status line for a person, or one JSON object for a
// script, from a snapshot of the run taken on the timer thread.
#pragma once

#include <array>
#include <ctime>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "acquisition/run_control.h"
#include "shell/cli/analysis_report.h"

namespace orv::cli {

struct MonitorTick {
    std::time_t now = 0;
    RunStatus status;
    std::array<KindLine, kKindCount> kinds;
    std::vector<EventLine> events;  // new since the last tick
};

// The run's state in words: "starting", "initialising", "running", "no data", "program change",
// "input failed", "restarting", "stopped".
std::string runStateWords(const RunStatus& status);

// "12:00:01 running 38.01 Mbit/s 1234567 pkts | 连续计数错误 3, PAT错误 1 | +2 events | DF 1.2 ms
// MLR 0.0/s" (the MDI only for IP inputs).
std::string statusLine(const MonitorTick& tick);

// {"time", "runState", "state", "restarts", "bitrate", "packets", "kinds" (those with findings,
// keyed as the analysis document's kinds), "events" (keyed as its events), "mdi" (IP inputs)}.
nlohmann::json statusJson(const MonitorTick& tick);

}  // namespace orv::cli
