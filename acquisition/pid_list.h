// The PID list of a recording: the dialog's entry and list (hexadecimal, at most 50 lines, shown
// as "0x%04x") and the command line's list ("0x100,0x101,256").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

inline constexpr std::size_t kMaxRecordPids = 50;
inline constexpr std::uint16_t kPidCount = 0x2000;

// "0x%04x".
std::string pidText(std::uint16_t pid);

// The PID entry read as the dialog reads it: hexadecimal after an optional "0x", the first four
// digits at most; nullopt for an entry without digits, 0xFFFF, or a value of 0x2000 or more.
std::optional<std::uint16_t> pidEntryValue(std::string_view entry);

// The list "选择以下PID进行录制：" / "过滤以下PID进行录制：" of the dialog.
struct PidListModel {
    std::vector<std::string> lines;

    // "增加": adds the entry's PID unless it is not valid, already listed, or the list is full.
    // True when a line was added.
    bool add(std::string_view entry);
    // "删除": removes the selected line (nothing for an index past the end).
    void remove(std::size_t index);
    std::vector<std::uint16_t> pids() const;
};

struct PidListParse {
    std::vector<std::uint16_t> pids;  // in the order given, each once
    std::string error;                // what is wrong with the text, when not empty
};

// A command-line list: PIDs separated by commas, each "0x" hexadecimal or decimal, 0 to 0x1FFF.
PidListParse parsePidList(std::string_view text);

}  // namespace orv
