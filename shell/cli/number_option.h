// Numbers as the command line takes them: decimal, or hexadecimal after 0x.
#pragma once

#include <charconv>
#include <limits>
#include <optional>
#include <string_view>

namespace orv::cli {

// The whole text as a number within [0, max]; nullopt for anything else.
inline std::optional<unsigned> parseNumber(std::string_view text,
                                           unsigned max = std::numeric_limits<unsigned>::max()) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

}  // namespace orv::cli
