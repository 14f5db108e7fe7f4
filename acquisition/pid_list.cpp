#include "acquisition/pid_list.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace orv {
namespace {

bool startsWithHexPrefix(std::string_view s) {
    return s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
}

}  // namespace

std::string pidText(std::uint16_t pid) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", pid);
    return text;
}

std::optional<std::uint16_t> pidEntryValue(std::string_view entry) {
    if (startsWithHexPrefix(entry)) entry.remove_prefix(2);
    unsigned value = 0;
    const std::size_t digits = std::min<std::size_t>(entry.size(), 4);
    const auto [end, ec] = std::from_chars(entry.data(), entry.data() + digits, value, 16);
    if (ec != std::errc{} || end == entry.data()) return std::nullopt;
    if (value == 0xFFFF || value >= kPidCount) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

bool PidListModel::add(std::string_view entry) {
    const std::optional<std::uint16_t> pid = pidEntryValue(entry);
    if (!pid || lines.size() >= kMaxRecordPids) return false;
    const std::string text = pidText(*pid);
    if (std::find(lines.begin(), lines.end(), text) != lines.end()) return false;
    lines.push_back(text);
    return true;
}

void PidListModel::remove(std::size_t index) {
    if (index < lines.size()) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(index));
}

std::vector<std::uint16_t> PidListModel::pids() const {
    std::vector<std::uint16_t> out;
    for (const std::string& line : lines)
        if (const std::optional<std::uint16_t> pid = pidEntryValue(line)) out.push_back(*pid);
    return out;
}

PidListParse parsePidList(std::string_view text) {
    PidListParse result;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        std::string_view item = text.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ')
            item.remove_suffix(1);
        int base = 10;
        std::string_view digits = item;
        if (startsWithHexPrefix(digits)) {
            digits.remove_prefix(2);
            base = 16;
        }
        unsigned value = 0;
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
        if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size() ||
            value >= kPidCount) {
            result.pids.clear();
            result.error.assign(1, '"');
            result.error.append(item);
            result.error.append("\" is not a PID (0 to 0x1FFF, written 0x1FFF or 8191)");
            return result;
        }
        const auto pid = static_cast<std::uint16_t>(value);
        if (std::find(result.pids.begin(), result.pids.end(), pid) == result.pids.end())
            result.pids.push_back(pid);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return result;
}

}  // namespace orv
