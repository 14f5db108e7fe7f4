#include "shell/cli/tune_commands.h"

#include <unistd.h>

#include <iostream>

#include "platform/message.h"
#include "shell/cli/own_stdout.h"

namespace orv::cli {

void addTuneCommands(CLI::App& app, TuneCli& cli) {
    const char* simNote =
        "Without hardware, a simulated card: "
        "ORV_SIM_DEVICE='pci:file=stream.ts,freq=474000,sr=6875,qam=64'.";

    CLI::App* scan = app.add_subcommand(
        "scan",
        "QAM scan: tune the CABLE input over the scan frequencies (or one) and print "
        "each channel the card locks on");
    cli.scanCommand = scan;
    scan->footer(std::string("Exit codes: 0 the scan ran (also when stopped by SIGINT); 2 usage "
                             "error, or the card cannot be opened.\n") +
                 simNote);
    scan->add_option("--freq", cli.scanFrequency,
                     "Test this one frequency in kHz (default: the 98 frequencies from 52000 to "
                     "858000)")
        ->type_name("KHZ")
        ->check(CLI::Range(1, 999999));
    scan->add_option("--symbol-rate", cli.scan.symbolRateK, "Symbol rate in ksymbol/s")
        ->type_name("KSYM")
        ->check(CLI::Range(1, 9999))
        ->capture_default_str();
    scan->add_option("--qam", cli.scanQam, "QAM mode: 16, 32, 64, 128 or 256")
        ->type_name("MODE")
        ->capture_default_str();
    scan->add_flag("--json", cli.scan.json,
                   "One JSON object per line and channel: frequencyKHz, symbolRateK, qam, "
                   "locked");

    CLI::App* signal =
        app.add_subcommand("signal",
                           "Tune the card and print the QAM status: input, lock, frequency, symbol "
                           "rate, QAM mode, C/N");
    cli.signalCommand = signal;
    signal->footer(std::string("Exit codes: 0 measured; 1 the CABLE input did not lock; 2 usage "
                               "error, or the card cannot be opened.\n") +
                   simNote);
    addCardOptions(signal, cli.signalCard, "cable");
    signal->add_flag("--watch", cli.signal.watch, "Measure again every second until SIGINT");

    CLI::App* record = app.add_subcommand(
        "record", "Record the live stream of the card or of a UDP/RTP stream to a file");
    cli.recordCommand = record;
    record->footer(std::string("Without --size or --time it records until SIGINT or SIGTERM; "
                               "either way the file ends with the last whole packet.\n"
                               "Exit codes: 0 recorded (limit reached or stopped); 2 usage "
                               "error, or nothing could be recorded (input, file); 3 a write "
                               "failed (disk full): the file holds what was written before.\n") +
                   simNote);
    RecordOptions& r = cli.record;
    record->add_option("OUT", r.file, "The transport stream file to write")->required();
    record
        ->add_option("SOURCE", r.source,
                     "card (card 0, the default) or udp://[SOURCE@]GROUP:PORT[?iface=lo], "
                     "rtp://...")
        ->capture_default_str();
    addCardOptions(record, cli.recordCard);
    CLI::Option* pids = record->add_option(
        "--pids", r.pids, "Record only these PIDs (comma-separated; 0x1FF hexadecimal or decimal)");
    CLI::Option* exclude = record->add_option("--exclude", r.exclude, "Record every PID but these");
    pids->excludes(exclude);
    CLI::Option* size =
        record->add_option("--size", r.sizeMb, "Stop at this many megabytes (10^6 bytes)")
            ->type_name("MB")
            ->check(CLI::Range(std::int64_t{1}, std::int64_t{999999}));
    CLI::Option* time = record->add_option("--time", r.seconds, "Stop after this many seconds")
                            ->type_name("S")
                            ->check(CLI::Range(std::int64_t{1}, std::int64_t{999999}));
    size->excludes(time);
    record->add_flag("--raw", r.raw,
                     "Ask the card for its unsynchronised stream and write its blocks as they "
                     "come");
    record->add_flag("--no-progress,--quiet", cli.recordQuiet, "No progress on stderr");
}

std::optional<int> runParsedTuneCommand(TuneCli& cli) {
    if (cli.scanCommand->parsed()) {
        ScanOptions o = cli.scan;
        if (cli.scanCommand->count("--freq") > 0) o.frequencyKHz = cli.scanFrequency;
        const std::optional<int> index = qamIndexOfOrder(cli.scanQam);
        if (!index) {
            showMessage("orv01: --qam takes 16, 32, 64, 128 or 256");
            return 2;
        }
        o.qamIndex = *index;
        o.progress = ::isatty(STDERR_FILENO) != 0;
        return runWithOwnStdout([&](std::ostream& out) { return runScan(o, out, std::cerr); });
    }
    if (cli.signalCommand->parsed()) {
        SignalOptions o = cli.signal;
        const std::optional<InterfaceSettings> input =
            cardSettings(*cli.signalCommand, cli.signalCard, "card", o.input);
        if (!input) return 2;
        o.input = *input;
        return runWithOwnStdout([&](std::ostream& out) { return runSignal(o, out); });
    }
    if (cli.recordCommand->parsed()) {
        RecordOptions o = cli.record;
        const std::optional<InterfaceSettings> input =
            cardSettings(*cli.recordCommand, cli.recordCard, o.source, o.input);
        if (!input) return kRecordInputError;
        o.input = *input;
        o.progress = !cli.recordQuiet;
        o.progressIsTerminal = ::isatty(STDERR_FILENO) != 0;
        return runRecord(o, std::cerr);
    }
    return std::nullopt;
}

}  // namespace orv::cli
