// What the live commands share on the command line: SOURCE ("card" or a udp:// / rtp:// URL) and
// the card's input options (--interface, --freq, --symbol-rate, --qam), with their checks.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/interface_settings.h"
#include "acquisition/ip_url.h"

namespace orv::cli {

struct CardOptionsCli {
    std::string interfaceName;
    int frequencyKHz = 0;
    int symbolRateK = 0;
    int qam = 0;
};

// Adds --interface, --freq, --symbol-rate and --qam; `defaultInput` names the input taken
// without --interface ("asi" or "cable").
void addCardOptions(CLI::App* cmd, CardOptionsCli& cli, std::string_view defaultInput = "asi");

// After parsing: `base` with the options given applied, or a message and nullopt for a bad
// value, for CABLE values on the ASI input, or for card options given with an IP source.
std::optional<InterfaceSettings> cardSettings(const CLI::App& cmd, const CardOptionsCli& cli,
                                              const std::string& source, InterfaceSettings base);

// SOURCE of a live command: the card (nullopt url) or an IP input; a message and nullopt when the
// text is neither.
struct SourceChoice {
    std::optional<IpUrl> url;  // empty: card 0
};
std::optional<SourceChoice> chooseSource(const std::string& source, std::string_view command);

}  // namespace orv::cli
