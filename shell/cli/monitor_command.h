// `orv01 monitor [SOURCE]`: online analysis of the capture card or of a UDP/RTP stream, headless.
// A status line every second on the status stream (stderr), or with --json one JSON object per
// second on stdout; at the end, with --json, the analysis document of `orv01 analyze --json` as
// one more line. The event list goes to the error log as a stop of the run writes it.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "acquisition/interface_settings.h"

namespace orv::cli {

struct MonitorOptions {
    std::string source = "card";  // "card" or an IP URL (udp://, rtp://)
    InterfaceSettings interface;  // of the card
    bool json = false;
    std::string logPath = "c:\\ERROR.log";
    bool writeLog = true;
    std::optional<std::string> switches;
    bool failOnFindings = false;
    bool status = true;  // the status line every second on the status stream
    // Stream plain lines even when the status stream is a terminal (tests, pipes).
    bool statusIsTerminal = false;
    // Seconds until the run ends by itself; 0: until SIGINT or SIGTERM.
    double durationSeconds = 0.0;
};

// Exit codes: those of analyze where they make sense.
inline constexpr int kMonitorStopped = 0;     // the run was stopped (duration, signal)
inline constexpr int kMonitorFindings = 1;    // --fail-on, and a monitored kind has a finding
inline constexpr int kMonitorInputError = 2;  // usage error, or the input could not be set up
inline constexpr int kMonitorLogFailed = 4;   // the error log could not be written

// Runs until the duration passed or SIGINT/SIGTERM arrived (the handlers are installed for the
// run and restored after it). JSON lines go to `out`, status lines and messages to `statusOut`.
int runMonitor(const MonitorOptions& options, std::ostream& out, std::ostream& statusOut);

}  // namespace orv::cli
