// orv01: the headless front end of the analyzer.
#include <CLI/CLI.hpp>

#include "shell/cli/analyze_command.h"

int main(int argc, char** argv) {
    CLI::App app{"ORV01 transport stream analyzer (ETSI TR 101 290 monitoring)"};
    app.require_subcommand(1);

    orv::cli::AnalyzeOptions analyze;
    CLI::App* analyzeCmd =
        app.add_subcommand("analyze", "Analyse a transport stream file (188 or 204-byte packets)");
    analyzeCmd->add_option("FILE", analyze.file, "Transport stream file")->required();
    analyzeCmd->add_flag("--json", analyze.json, "Print one JSON document instead of tables");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    if (analyzeCmd->parsed()) return orv::cli::runAnalyze(analyze);
    return 2;
}
