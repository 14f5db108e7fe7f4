// The desktop program's start: the window, the settings, and an optional file analysed at once.
#pragma once

#include <optional>
#include <string>

namespace orv::gui {

// True when a window can be shown here (an X11 or Wayland display, or a Qt platform chosen
// explicitly, such as offscreen).
bool displayAvailable();

// Runs the desktop program until its window closes; returns the exit code.
int runDesktop(int argc, char** argv, const std::optional<std::string>& file);

}  // namespace orv::gui
