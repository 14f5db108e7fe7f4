// The `monitor` subcommand's options on the command line, and their checks.
#pragma once

#include <CLI/CLI.hpp>

#include "shell/cli/monitor_command.h"

namespace orv::cli {

struct MonitorCli {
    MonitorOptions options;
    std::string interfaceName;
    int frequencyKHz = 0;
    int symbolRateK = 0;
    int qam = 0;
    bool noLog = false;
    bool noProgress = false;
    std::string switches;
    CLI::App* command = nullptr;
};

// Adds the subcommand to the app.
void addMonitorCommand(CLI::App& app, MonitorCli& cli);
// After parsing: the options, or a message and nullopt for a bad value.
std::optional<MonitorOptions> monitorOptions(MonitorCli& cli);

}  // namespace orv::cli
