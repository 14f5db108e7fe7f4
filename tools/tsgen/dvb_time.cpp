#include "tools/tsgen/dvb_time.h"

#include <stdexcept>

namespace tsgen {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMjdOfEpoch = 40587;  // MJD of 1970-01-01

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

unsigned bcd2(unsigned v) {
    return ((v / 10) << 4) | (v % 10);
}

}  // namespace

int64_t unixTime(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                 unsigned second) {
    // Days from civil (Howard Hinnant's well-known algorithm, restated).
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = floorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t mp = (static_cast<int64_t>(month) + 9) % 12;
    const int64_t doy = (153 * mp + 2) / 5 + static_cast<int64_t>(day) - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = era * 146097 + doe - 719468;
    return days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

uint16_t mjdOf(int64_t unixSeconds) {
    return static_cast<uint16_t>(kMjdOfEpoch + floorDiv(unixSeconds, kSecondsPerDay));
}

uint32_t bcdHms(uint32_t seconds) {
    const unsigned h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 99) throw std::invalid_argument("duration above 99 hours");
    return (bcd2(h) << 16) | (bcd2(m) << 8) | bcd2(s);
}

void writeUtcTime(ByteWriter& w, int64_t unixSeconds) {
    const int64_t secondOfDay =
        unixSeconds - floorDiv(unixSeconds, kSecondsPerDay) * kSecondsPerDay;
    w.u16(mjdOf(unixSeconds));
    w.u24(bcdHms(static_cast<uint32_t>(secondOfDay)));
}

}  // namespace tsgen
