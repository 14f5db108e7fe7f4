#include "shell/cli/capture_cli.h"

#include "acquisition/ip_url.h"
#include "platform/message.h"
#include "shell/cli/analyze_command.h"
#include "shell/cli/card_options.h"

namespace orv::cli {

void addCaptureCommand(CLI::App& app, CaptureCli& cli) {
    CaptureOptions& o = cli.options;
    CLI::App* cmd = app.add_subcommand(
        "capture", "Capture the sections, packets, PES starts or error blocks of one kind");
    cli.command = cmd;
    cli.source.command = cmd;
    cmd->footer(captureKindsHelp() +
                "\nA file is read again from its first packet; card or udp://, rtp:// capture "
                "from the live analysis once its initialisation has ended.\nExit codes: 0 copies "
                "taken; 1 none found; 2 usage or input error; 4 --out could not be written (the "
                "copies are listed).");
    cmd->add_option("INPUT", o.input, "Transport stream file, card, or udp://... / rtp://...")
        ->required();
    cmd->add_option("--trigger", cli.trigger, "What to capture (see KIND below)")
        ->required()
        ->type_name("KIND");
    cmd->add_option("--pid", cli.pid, "PID of pid, pcr and pes captures; a PMT by its PID");
    cmd->add_option("--table", cli.table, "table_id (0x42) or table name of a table capture")
        ->type_name("ID");
    cmd->add_option("--program", cli.program, "program_number of a PMT capture")->type_name("N");
    cmd->add_option("--count", cli.count,
                    "Copies to take: 50 when 0 or absent, at most 100, at most 10 of errors")
        ->type_name("N");
    cmd->add_option("--out", cli.out, "Save the copies, whole and in order, to this file")
        ->type_name("FILE");
    cmd->add_flag("--json", o.json, "Print one JSON document");
    cmd->add_option("--bitrate", cli.bitrate, "A file's stream bitrate in Mbit/s, as for analyze")
        ->type_name("MBPS");
    cmd->add_option("--duration", o.durationSeconds,
                    "Live: end after this many seconds even if copies are still wanted")
        ->type_name("SECONDS")
        ->check(CLI::PositiveNumber);
    addCardOptions(cmd, cli.source.card);
}

std::optional<CaptureOptions> captureOptions(CaptureCli& cli) {
    CaptureOptions o = cli.options;
    CLI::App& cmd = *cli.command;
    const auto given = [&](const char* name, const std::string& value) {
        return cmd.count(name) > 0 ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<CaptureTarget> target =
        parseCaptureTarget(cli.trigger, given("--pid", cli.pid), given("--table", cli.table),
                           given("--program", cli.program));
    if (!target) return std::nullopt;
    o.target = *target;
    if (cmd.count("--count") > 0) o.count = cli.count;
    if (cmd.count("--out") > 0) o.out = cli.out;
    const bool live = o.input == "card" || isIpUrl(o.input);
    if (cmd.count("--bitrate") > 0) {
        if (live) {
            showMessage("orv01: --bitrate is for a file; a live input measures its own rate");
            return std::nullopt;
        }
        o.bitrateMbps = parseBitrateOption(cli.bitrate);
        if (!o.bitrateMbps) return std::nullopt;
    }
    if (live) {
        cli.source.options.source = o.input;
        const std::optional<MonitorOptions> m = monitorOptions(cli.source);
        if (!m) return std::nullopt;
        o.live = *m;
    } else if (cmd.count("--interface") + cmd.count("--freq") + cmd.count("--symbol-rate") +
                   cmd.count("--qam") >
               0) {
        showMessage("orv01: --interface, --freq, --symbol-rate and --qam set up the card; " +
                    o.input + " is a file");
        return std::nullopt;
    }
    return o;
}

}  // namespace orv::cli
