#include "presentation/results_page_rows.h"

#include <cstdio>

#include "presentation/results_page_kinds.h"

namespace orv {

EventIcon iconForCode(int code) {
    if (code < 1005) return EventIcon::Run;
    if (code == 1005) return EventIcon::Saved;
    if (code < 1070) return EventIcon::Priority1;
    if (code < 1120) return EventIcon::Priority2;
    return EventIcon::Priority3;
}

EventIcon iconForKind(Tr290ErrorKind k) {
    return static_cast<EventIcon>(static_cast<int>(EventIcon::Priority1) + resultsKind(k).priority -
                                  1);
}

std::string rowNumberText(int row) {
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%02d", row);
    return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string formatEventTime(std::time_t t) {
    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr || tm.tm_mon < 0 || tm.tm_mon > 11) return {};
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%02d:%02d:%02d %s,%02d", tm.tm_hour, tm.tm_min,
                                tm.tm_sec, kMonths[tm.tm_mon], tm.tm_mday);
    return std::string(text, n > 0 && n < static_cast<int>(sizeof text) ? n : 0);
}

}  // namespace orv
