#include "shell/cli/desktop_loader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/message.h"

namespace orv::cli {

int runDesktopProgram(char* program, const std::optional<std::string>& file) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path desktop =
        (ec ? std::filesystem::path(".") : self.parent_path()) / kDesktopProgramName;
    std::string fileArg = file.value_or(std::string());
    char* args[] = {program, file ? fileArg.data() : nullptr, nullptr};
    ::execv(desktop.c_str(), args);
    // Only reached when the program could not be started.
    showMessage("orv01: the desktop program cannot be started (" + desktop.string() +
                "): " + std::strerror(errno) + "; the subcommands work without it (orv01 --help)");
    return 2;
}

}  // namespace orv::cli
