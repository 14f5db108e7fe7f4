// The card tools on the command line: `orv01 scan` (the QAM scan), `orv01 signal` (the QAM status
// panel's values) and `orv01 record` (stream recording from the card or a UDP/RTP stream).
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "acquisition/interface_settings.h"
#include "shell/cli/card_options.h"

namespace orv::cli {

struct ScanOptions {
    std::optional<int> frequencyKHz;  // one frequency (manual); else the whole table
    int symbolRateK = 6875;
    int qamIndex = 2;
    bool json = false;
    bool progress = false;  // the frequency under test on stderr (a terminal)
};
// 0 the scan ran (whatever it found, also when stopped by a signal); 2 usage error, or the card
// cannot be opened.
int runScan(const ScanOptions& options, std::ostream& out, std::ostream& err);

struct SignalOptions {
    InterfaceSettings input = {InputInterface::Cable, 315000, 6875, 2};
    bool watch = false;
};
// 0 measured (locked, or the ASI input); 1 the CABLE input did not lock; 2 usage error, or the
// card cannot be opened.
int runSignal(const SignalOptions& options, std::ostream& out);

struct RecordOptions {
    std::string file;
    std::string source = "card";
    InterfaceSettings input;
    std::string pids;     // --pids
    std::string exclude;  // --exclude
    std::int64_t sizeMb = 0;
    std::int64_t seconds = 0;
    bool raw = false;
    bool progress = true;
    bool progressIsTerminal = false;
};
inline constexpr int kRecordDone = 0;         // a limit was reached, or it was stopped
inline constexpr int kRecordInputError = 2;   // usage error, or nothing could be recorded
inline constexpr int kRecordWriteFailed = 3;  // a write failed; the file holds what came before
int runRecord(const RecordOptions& options, std::ostream& err);

struct TuneCli {
    ScanOptions scan;
    int scanFrequency = 0;
    int scanQam = 64;
    CLI::App* scanCommand = nullptr;
    SignalOptions signal;
    CardOptionsCli signalCard;
    CLI::App* signalCommand = nullptr;
    RecordOptions record;
    CardOptionsCli recordCard;
    bool recordQuiet = false;
    CLI::App* recordCommand = nullptr;
};

void addTuneCommands(CLI::App& app, TuneCli& cli);
// After parsing: the exit code of the tool that was chosen, or nullopt when none was.
std::optional<int> runParsedTuneCommand(TuneCli& cli);

}  // namespace orv::cli
