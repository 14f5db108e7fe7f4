// orv01: the headless front end of the analyzer.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>

#include "shell/cli/analyze_command.h"
#include "shell/cli/capture_cli.h"
#include "shell/cli/monitor_cli.h"
#include "shell/cli/own_stdout.h"
#include "shell/cli/report_cli.h"
#include "shell/cli/tune_commands.h"
#ifdef ORV_WITH_GUI
#include "shell/cli/desktop_loader.h"
#endif

namespace {

constexpr const char* kAnalyzeExitCodes =
    "Exit codes: 0 analysed; 1 findings (with --fail-on); 2 usage or input error, nothing "
    "analysed; 3 the file could not be read to its end (read error, or it shrank), the results "
    "of what was read are printed; 4 the error log or the HTML report could not be written, "
    "the results are printed. When several apply: 3, then 4, then 1.";

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"ORV01 transport stream analyzer (ETSI TR 101 290 monitoring)"};
    app.require_subcommand(1);

    orv::cli::AnalyzeOptions analyze;
    analyze.progress = ::isatty(STDERR_FILENO) != 0;
    bool noLog = false;
    bool noProgress = false;
    std::string switches;
    std::string bitrate;
    CLI::App* cmd =
        app.add_subcommand("analyze", "Analyse a transport stream file (188 or 204-byte packets)");
    cmd->footer(kAnalyzeExitCodes);
    cmd->add_option("FILE", analyze.file, "Transport stream file (a regular file)")->required();
    cmd->add_flag("--json", analyze.json, "Print one JSON document instead of tables");
    cmd->add_option("--log", analyze.logPath,
                    "Error log the event list is appended to (a drive path such as "
                    "c:\\ERROR.log maps onto the user's data folder)")
        ->capture_default_str();
    cmd->add_flag("--no-log", noLog,
                  "Do not write the error log (a run of more than 2000 events then reports only "
                  "the rows since the event list last restarted)");
    cmd->add_option("--switches", switches,
                    "The 32 monitoring switches for this run, '0' or '1' each in kind order "
                    "(default: the stored settings)");
    cmd->add_option("--bitrate", bitrate,
                    "Stream bitrate in Mbit/s (above 0, at most 1000) to time the run at, instead "
                    "of measuring it from PCRs; lets files without usable PCRs (and SI extracts "
                    "without PMTs) be analysed")
        ->type_name("MBPS");
    cmd->add_flag("--fail-on", analyze.failOnFindings,
                  "Exit with 1 when any monitored kind has a finding");
    cmd->add_flag("--no-progress", noProgress, "No progress on stderr");
    std::string html;
    cmd->add_option("--html", html,
                    "Also write one self-contained HTML report (verdict, events, structure, "
                    "PCR, PES and buffer charts) to this path")
        ->type_name("REPORT.html");

    orv::cli::MonitorCli monitor;
    monitor.options.statusIsTerminal = ::isatty(STDERR_FILENO) != 0;
    orv::cli::addMonitorCommand(app, monitor);
    orv::cli::TuneCli tune;
    orv::cli::addTuneCommands(app, tune);
    orv::cli::CaptureCli capture;
    orv::cli::addCaptureCommand(app, capture);
    orv::cli::ReportCli report;
    orv::cli::addReportCommand(app, report);

#ifdef ORV_WITH_GUI
    app.footer(
        "Without a subcommand orv01 opens the desktop window; `orv01 FILE.ts` opens it and "
        "analyses the file at once.");
    // No subcommand opens the window; a lone argument that names no subcommand or option is a
    // file to analyse in it at once.
    if (argc == 1) return orv::cli::runDesktopProgram(argv[0], std::nullopt);
    if (argc == 2 && argv[1][0] != '-') {
        bool named = false;
        for (const CLI::App* sub : app.get_subcommands({}))
            named = named || sub->check_name(argv[1]);
        if (!named) return orv::cli::runDesktopProgram(argv[0], std::string(argv[1]));
    }
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : orv::cli::kExitInputError;
    }
    if (monitor.command->parsed()) {
        const std::optional<orv::cli::MonitorOptions> options = orv::cli::monitorOptions(monitor);
        if (!options) return orv::cli::kMonitorInputError;
        return orv::cli::runMonitorOnStdout(*options);
    }
    if (const std::optional<int> rc = orv::cli::runParsedTuneCommand(tune)) return *rc;
    if (capture.command->parsed()) {
        const std::optional<orv::cli::CaptureOptions> options = orv::cli::captureOptions(capture);
        if (!options) return orv::cli::kCaptureInputError;
        return orv::cli::runWithOwnStdout(
            [&](std::ostream& out) { return orv::cli::runCapture(*options, out); });
    }
    if (report.command->parsed()) {
        const std::optional<orv::cli::ReportCommandOptions> options =
            orv::cli::reportOptions(report);
        if (!options) return orv::cli::kExitInputError;
        return orv::cli::runReportCommand(*options, std::cout, std::cerr);
    }
    if (!cmd->parsed()) return orv::cli::kExitInputError;
    analyze.writeLog = !noLog;
    if (noProgress || analyze.json) analyze.progress = false;
    if (!switches.empty()) analyze.switches = switches;
    if (cmd->count("--html") > 0) analyze.htmlPath = html;
    if (cmd->count("--bitrate") > 0) {
        analyze.bitrateMbps = orv::cli::parseBitrateOption(bitrate);
        if (!analyze.bitrateMbps) return orv::cli::kExitInputError;
    }
    return orv::cli::runAnalyze(analyze, std::cout);
}
