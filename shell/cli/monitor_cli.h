// The `monitor` subcommand's options on the command line, and their checks.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <ostream>

#include "shell/cli/card_options.h"
#include "shell/cli/monitor_command.h"

namespace orv::cli {

struct MonitorCli {
    MonitorOptions options;
    CardOptionsCli card;
    bool noLog = false;
    bool noProgress = false;
    std::string switches;
    CLI::App* command = nullptr;
};

// Runs the command with stdout kept for its own output: the card library traces its device opens
// with printf, which would break the JSON lines, so whatever else writes to the standard output
// goes to stderr for the run.
int runMonitorOnStdout(const MonitorOptions& options);

// Adds the subcommand to the app.
void addMonitorCommand(CLI::App& app, MonitorCli& cli);
// After parsing: the options, or a message and nullopt for a bad value.
std::optional<MonitorOptions> monitorOptions(MonitorCli& cli);

}  // namespace orv::cli
