#include "shell/cli/monitor_cli.h"

#include <iostream>
#include <ostream>

#include "acquisition/ip_url.h"
#include "platform/message.h"
#include "shell/cli/card_options.h"
#include "shell/cli/own_stdout.h"

namespace orv::cli {

int runMonitorOnStdout(const MonitorOptions& options) {
    return runWithOwnStdout([&](std::ostream& out) { return runMonitor(options, out, std::cerr); });
}

void addMonitorCommand(CLI::App& app, MonitorCli& cli) {
    MonitorOptions& o = cli.options;
    CLI::App* cmd = app.add_subcommand(
        "monitor", "Analyse live from the capture card or a UDP/RTP stream until stopped");
    cli.command = cmd;
    cmd->footer(
        "Exit codes: 0 stopped (end of --duration, SIGINT or SIGTERM); 1 findings (with "
        "--fail-on); 2 usage error, or the input could not be set up (nothing analysed); 4 the "
        "error log could not be written. When several apply: 4, then 1.\n"
        "Without hardware, a simulated card: ORV_SIM_DEVICE='pci:file=stream.ts,speed=1'.");
    cmd->add_option("SOURCE", o.source,
                    "card (card 0, the default) or udp://[SOURCE@]GROUP:PORT[?iface=lo], "
                    "rtp://...")
        ->capture_default_str();
    addCardOptions(cmd, cli.card);
    cmd->add_option("--duration", o.durationSeconds,
                    "Stop after this many seconds (default: run until SIGINT or SIGTERM)")
        ->type_name("SECONDS")
        ->check(CLI::PositiveNumber);
    cmd->add_flag("--json", o.json,
                  "JSON Lines on stdout: one status object per second, then the document of "
                  "`analyze --json` as the last line");
    cmd->add_option("--log", o.logPath, "Error log the event list is appended to")
        ->capture_default_str();
    cmd->add_flag("--no-log", cli.noLog, "Do not write the error log");
    cmd->add_option("--switches", cli.switches,
                    "The 32 monitoring switches for this run, '0' or '1' each in kind order");
    cmd->add_flag("--fail-on", o.failOnFindings,
                  "Exit with 1 when any monitored kind has a finding");
    cmd->add_flag("--no-progress,--quiet", cli.noProgress, "No status line on stderr");
}

std::optional<MonitorOptions> monitorOptions(MonitorCli& cli) {
    MonitorOptions o = cli.options;
    CLI::App& cmd = *cli.command;
    const std::optional<InterfaceSettings> card =
        cardSettings(cmd, cli.card, o.source, o.interface);
    if (!card) return std::nullopt;
    o.interface = *card;
    o.writeLog = !cli.noLog;
    if (cli.noProgress) o.status = false;
    if (!cli.switches.empty()) o.switches = cli.switches;
    return o;
}

}  // namespace orv::cli
