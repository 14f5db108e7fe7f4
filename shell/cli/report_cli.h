// The `report` subcommand's options on the command line.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "shell/cli/report_command.h"

namespace orv::cli {

struct ReportCli {
    ReportCommandOptions options;
    std::string kinds = "all";
    std::string table;
    std::string service;
    std::string switches;
    std::string bitrate;
    bool utf8 = false;
    bool noProgress = false;
    CLI::App* command = nullptr;
};

void addReportCommand(CLI::App& app, ReportCli& cli);
// After parsing: the options, or a message and nullopt for a bad value.
std::optional<ReportCommandOptions> reportOptions(ReportCli& cli);

}  // namespace orv::cli
