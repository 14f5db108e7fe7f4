// Rows of the results page's event list and the stored events they are rebuilt from.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "engine/tr290_kinds.h"

namespace orv {

// Index into the event list's icon strip.
enum class EventIcon : int { Run = 0, Saved = 1, Priority1 = 2, Priority2 = 3, Priority3 = 4 };

// One row: the columns "序号", "发生时间", "事件类型", "事件详细描述" and the icon.
struct EventRow {
    EventIcon icon = EventIcon::Run;
    std::string number;  // "%02d"
    std::string time;    // "%H:%M:%S %b,%d"
    std::string type;
    std::string detail;

    bool operator==(const EventRow&) const = default;
};

// One event as it arrived, in the texts both display modes rebuild their rows from.
struct StoredEvent {
    std::string code;  // "%2d"
    std::string row;   // the row number at arrival, "%02d"
    std::string time;  // the arrival time
    std::string type;
    std::string detail;
    // What the event log recorded beside the texts: the packet counter when it was logged and
    // the PID it is about (-1: none).
    uint64_t packet = 0;
    int pid = -1;
};

// The icon by event code: run events, the save event, then the three priority groups.
EventIcon iconForCode(int code);

// The icon of a kind's priority group.
EventIcon iconForKind(Tr290ErrorKind k);

// The row number text: at least two digits.
std::string rowNumberText(int row);

// Local time as "%H:%M:%S %b,%d", with English month names whatever the locale; empty when the
// time cannot be converted.
std::string formatEventTime(std::time_t t);

}  // namespace orv
