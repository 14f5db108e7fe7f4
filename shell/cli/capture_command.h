// `orv01 capture FILE|SOURCE --trigger KIND`: the data capture, headless. From a file, the file is
// read again with the capture request set; from the card or a UDP/RTP stream, the request is set
// on the live analysis once its initialisation phase has ended. Every copy is listed with the
// viewer's text; --out saves them, whole, to one file.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/capture_request.h"
#include "shell/cli/monitor_command.h"

namespace orv::cli {

struct CaptureOptions {
    std::string input;    // a file, "card", or an IP URL
    MonitorOptions live;  // the source of a live input (card settings, URL)
    CaptureTarget target;
    std::optional<long long> count;  // --count
    std::optional<std::string> out;  // --out
    bool json = false;
    std::optional<double> bitrateMbps;  // a file's stream bitrate, as for analyze
    double durationSeconds = 0.0;       // live: give up after this many seconds (0: no limit)
};

// Exit codes.
inline constexpr int kCaptureTaken = 0;       // at least one copy was taken
inline constexpr int kCaptureNone = 1;        // the capture ran and found nothing to copy
inline constexpr int kCaptureInputError = 2;  // usage or input error: nothing was captured
inline constexpr int kCaptureSaveFailed = 4;  // --out could not be written; the copies are listed

// The trigger named on the command line: an event code (1070), an error kind (tei, cc, crc...),
// a table (table with --table, or the table's name: pat, pmt, sdt...), pid, pcr, pes. nullopt
// after showing why.
std::optional<CaptureTarget> parseCaptureTarget(std::string_view kind,
                                                std::optional<std::string> pid,
                                                std::optional<std::string> table,
                                                std::optional<std::string> program);

// The trigger kinds for --help.
std::string captureKindsHelp();

int runCapture(const CaptureOptions& options, std::ostream& out);

}  // namespace orv::cli
