// The desktop program's own executable. `orv01` without a subcommand (or with a lone file) hands
// over to it, so that the headless subcommands start without loading Qt and its libraries.
// Usage: orv01-desktop [FILE]
#include <optional>
#include <string>

#include "shell/gui/desktop_main.h"

int main(int argc, char** argv) {
    const std::optional<std::string> file =
        argc >= 2 ? std::optional<std::string>(argv[1]) : std::nullopt;
    return orv::gui::runDesktop(argc, argv, file);
}
