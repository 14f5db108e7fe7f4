// The catalogue of event codes: for every run event and error event its kind, the counters it
// bumps, and its message with printf-style placeholders ("%04x", "%02x", "%2.4f", "%3.2f",
// "%I64d"), which the event log expands with its own formatter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/tr290_kinds.h"

namespace orv {

// What a placeholder of a message prints, in the order of the placeholders.
enum class EventArg : std::uint8_t { Pid, Program, TableId, Value };

enum class EventClass : std::uint8_t {
    Run,    // 1000..1004: the message is the type text; the latest one is kept with its time
    Save,   // 1005: the message is the type text
    Error,  // the kind's name is the type text; the message, formatted, is the detail text
};

inline constexpr int kNoSlot = -1;
inline constexpr int kNoPid = -1;

struct EventDef {
    int code = 0;
    EventClass eventClass = EventClass::Error;
    Tr290ErrorKind kind = Tr290ErrorKind::SyncLoss;  // error events only
    std::int8_t slot = kNoSlot;                      // counter slots of the kind it bumps
    std::int8_t secondSlot = kNoSlot;
    std::int8_t crcTable = kNoSlot;  // a CrcTable for the CRC events
    std::string_view message;
    std::uint8_t argCount = 0;
    EventArg args[3] = {};   // the printed arguments before the packet number
    bool quotesPid = false;  // one of the arguments is the PID the event is about
    // The PID of the table the event is about when no argument names it (the PAT's 0x0000, the
    // CAT's 0x0001, the SI PIDs 0x0010..0x0014); kNoPid when the event concerns no one PID
    // (sync, the system buffers, run events).
    std::int16_t tablePid = kNoPid;
};

// The PID an event is about: the PID argument it quotes, or its table's PID; kNoPid for none.
constexpr int eventPid(const EventDef& d, unsigned pidArgument) {
    return d.quotesPid ? static_cast<int>(pidArgument & 0xFFFFu) : d.tablePid;
}

// The definition of a code, or nullptr for a code the catalogue does not know.
const EventDef* findEvent(int code);

// Every entry, in ascending code order.
std::span<const EventDef> eventCatalogue();

// One piece of a message: literal text or a placeholder.
enum class PieceType : std::uint8_t {
    Literal,
    Hex,           // %[0][w]x
    Fixed,         // %[w].[p]f
    PacketNumber,  // %I64d: the 64-bit packet counter, unsigned decimal
    Percent,       // %%
    Invalid,       // an unknown conversion; copied as it stands
};

struct FormatPiece {
    PieceType type = PieceType::Literal;
    std::size_t length = 0;  // bytes of the message the piece spans
    int width = 0;
    int precision = 6;
    bool zeroPad = false;
};

inline constexpr int kMaxFormatWidth = 32;
inline constexpr int kMaxFormatPrecision = 16;

// The piece at the start of a non-empty text.
constexpr FormatPiece nextFormatPiece(std::string_view s) {
    FormatPiece p;
    if (s[0] != '%') {
        p.length = s.find('%');
        if (p.length == std::string_view::npos) p.length = s.size();
        return p;
    }
    std::size_t i = 1;
    auto readNumber = [&](int& out) {
        out = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && out <= kMaxFormatWidth) {
            out = out * 10 + (s[i] - '0');
            ++i;
        }
    };
    if (i < s.size() && s[i] == '0') {
        p.zeroPad = true;
        ++i;
    }
    readNumber(p.width);
    if (i < s.size() && s[i] == '.') {
        ++i;
        readNumber(p.precision);
    }
    p.type = PieceType::Invalid;
    if (s.substr(i, 4) == "I64d") {
        p.type = PieceType::PacketNumber;
        i += 4;
    } else if (i < s.size()) {
        const char c = s[i++];
        if (c == 'x') p.type = PieceType::Hex;
        if (c == 'f') p.type = PieceType::Fixed;
        if (c == '%' && i == 2) p.type = PieceType::Percent;
    }
    if (p.width > kMaxFormatWidth || p.precision > kMaxFormatPrecision) {
        p.type = PieceType::Invalid;
    }
    p.length = i;
    return p;
}

}  // namespace orv
