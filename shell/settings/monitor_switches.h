// The persisted setting: the 32 monitoring switches, kept as the registry value "ORV03" under
// "Software\Microsoft\Zel", one character '0' or '1' per Tr290ErrorKind in its fixed order.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "engine/limits.h"

namespace orv {

struct AnalysisContext;

inline constexpr std::string_view kSettingsKey = "Software\\Microsoft\\Zel";
inline constexpr std::string_view kSwitchesValue = "ORV03";

using MonitorSwitches = std::array<int, kKindCount>;

// The settings load at start: all switches on, then the stored value; a missing value is written
// as 32 '1's. Returns false, after showing "create reg failed", when the key can be neither opened
// nor created (the program ends then).
bool loadMonitorSwitches(AnalysisContext& ctx);

// Writes the switches back (the dialog's OK). Shows "create reg failed" and/or
// "set key value failed" on failure; the switches in memory stay as they are either way.
bool saveMonitorSwitches(const AnalysisContext& ctx);
// The same for a set of switches held outside a context (the desktop's settings dialog).
bool saveMonitorSwitches(const MonitorSwitches& switches);

// The stored text of a set of switches, and back. A text shorter than 32 characters leaves the
// missing switches on; any character other than '0' means on. nullopt for characters that are
// neither '0' nor '1' when strict (command-line input).
std::string switchesText(const MonitorSwitches& switches);
std::optional<MonitorSwitches> parseSwitches(std::string_view text, bool strict);

}  // namespace orv
