#include "shell/settings/monitor_switches.h"

#include "engine/analysis_context.h"
#include "platform/message.h"
#include "platform/registry.h"

namespace orv {

std::string switchesText(const MonitorSwitches& switches) {
    std::string text(kKindCount, '1');
    for (int k = 0; k < kKindCount; ++k)
        text[k] = switches[k] != 0 ? '1' : '0';
    return text;
}

std::optional<MonitorSwitches> parseSwitches(std::string_view text, bool strict) {
    if (strict && text.size() != static_cast<std::size_t>(kKindCount)) return std::nullopt;
    MonitorSwitches switches;
    switches.fill(1);
    for (std::size_t k = 0; k < text.size() && k < switches.size(); ++k) {
        if (strict && text[k] != '0' && text[k] != '1') return std::nullopt;
        switches[k] = text[k] == '0' ? 0 : 1;
    }
    return switches;
}

bool loadMonitorSwitches(AnalysisContext& ctx) {
    ctx.monitorEnabled.fill(1);
    const std::optional<RegistryKey> key = RegistryKey::openOrCreate(kSettingsKey);
    if (!key) {
        showMessage("create reg failed");
        return false;
    }
    const std::optional<std::string> stored = key->read(kSwitchesValue, kKindCount);
    if (!stored) {
        if (!key->write(kSwitchesValue, switchesText(ctx.monitorEnabled)))
            showMessage("set key value failed");
        return true;
    }
    ctx.monitorEnabled = *parseSwitches(*stored, false);
    return true;
}

bool saveMonitorSwitches(const AnalysisContext& ctx) {
    return saveMonitorSwitches(ctx.monitorEnabled);
}

bool saveMonitorSwitches(const MonitorSwitches& switches) {
    const std::optional<RegistryKey> key = RegistryKey::openOrCreate(kSettingsKey);
    if (!key) showMessage("create reg failed");
    if (!key || !key->write(kSwitchesValue, switchesText(switches))) {
        showMessage("set key value failed");
        return false;
    }
    return true;
}

}  // namespace orv
