#include "shell/cli/report_cli.h"

#include <unistd.h>

#include "shell/cli/analyze_command.h"

namespace orv::cli {

void addReportCommand(CLI::App& app, ReportCli& cli) {
    cli.options.progress = ::isatty(STDERR_FILENO) != 0;
    CLI::App* cmd = app.add_subcommand(
        "report", "Analyse a transport stream file and append stream information report kinds");
    cli.command = cmd;
    cmd->footer(
        "Kinds: 1 传送流结构信息, 2 传送流基本信息, 3 TR101监测信息, 4 节目信息, 5 PCR分析曲线, "
        "6 表信息, 7 and 8 PES信息, 9 传送流数据, 10 电子节目指南. Graph kinds (5, 7, 8) are only "
        "printed and are skipped. Exit codes: 0 written; 2 usage or input error, nothing written; "
        "3 the file could not be read to its end (what was read is reported); 4 the report file "
        "could not be written.");
    cmd->add_option("FILE", cli.options.file, "Transport stream file (a regular file)")->required();
    cmd->add_option("--kind", cli.kinds, "'all', or kind numbers 1..10 separated by commas")
        ->capture_default_str();
    cmd->add_option("--table", cli.table,
                    "Table of kind 6: the entry text (\"SDT   table_id=0x42\") or a short name: "
                    "PAT, CAT, PMT, PMT:N (program number), NIT, SDT, BAT, EIT, TDT, TOT, "
                    "NAME:0xTT (table_id) (default: the first entry, the PAT)");
    cmd->add_option("--service", cli.service,
                    "Guide service of kind 10 by service_id (default: the first service listed)");
    cmd->add_option("--out", cli.options.out,
                    "Report file the kinds are appended to (a drive path such as c:\\TS_DATA.log "
                    "maps onto the user's data folder)")
        ->capture_default_str();
    cmd->add_flag("--utf8", cli.utf8, "Write UTF-8 instead of code page 936 (GBK)");
    cmd->add_option("--switches", cli.switches,
                    "The 32 monitoring switches for this run, '0' or '1' each in kind order");
    cmd->add_option("--bitrate", cli.bitrate, "Stream bitrate in Mbit/s, as for analyze")
        ->type_name("MBPS");
    cmd->add_flag("--no-progress", cli.noProgress, "No progress on stderr");
}

std::optional<ReportCommandOptions> reportOptions(ReportCli& cli) {
    ReportCommandOptions o = cli.options;
    const std::optional<std::vector<int>> kinds = parseReportKinds(cli.kinds);
    if (!kinds) return std::nullopt;
    o.kinds = *kinds;
    if (cli.command->count("--table") > 0) o.table = cli.table;
    if (cli.command->count("--service") > 0) {
        o.service = parseServiceOption(cli.service);
        if (!o.service) return std::nullopt;
    }
    if (cli.utf8) o.encoding = ReportEncoding::Utf8;
    if (cli.noProgress) o.progress = false;
    if (!cli.switches.empty()) o.switches = cli.switches;
    if (cli.command->count("--bitrate") > 0) {
        o.bitrateMbps = parseBitrateOption(cli.bitrate);
        if (!o.bitrateMbps) return std::nullopt;
    }
    return o;
}

}  // namespace orv::cli
