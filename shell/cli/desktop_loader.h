// Opens the desktop window from `orv01`: runs the desktop program that lies beside it in this
// process's place; a message and exit code 2 when it cannot be started.
#pragma once

#include <optional>
#include <string>

namespace orv::cli {

inline constexpr const char* kDesktopProgramName = "orv01-desktop";

int runDesktopProgram(char* program, const std::optional<std::string>& file);

}  // namespace orv::cli
