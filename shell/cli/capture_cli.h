// The `capture` subcommand's options on the command line, and their checks.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "shell/cli/capture_command.h"
#include "shell/cli/monitor_cli.h"

namespace orv::cli {

struct CaptureCli {
    CaptureOptions options;
    MonitorCli source;  // the card settings, read as monitor reads them
    std::string trigger;
    std::string pid;
    std::string table;
    std::string program;
    long long count = 0;
    std::string out;
    std::string bitrate;
    CLI::App* command = nullptr;
};

void addCaptureCommand(CLI::App& app, CaptureCli& cli);
// After parsing: the options, or a message and nullopt for a bad value.
std::optional<CaptureOptions> captureOptions(CaptureCli& cli);

}  // namespace orv::cli
