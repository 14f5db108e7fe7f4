// UTC times as DVB SI carries them: a 16-bit Modified Julian Date and hours, minutes, seconds in
// BCD; durations as six BCD digits. Times are seconds since 1970-01-01 00:00:00 UTC.
#pragma once

#include <cstdint>

#include "tools/tsgen/byte_writer.h"

namespace tsgen {

// Seconds since the epoch of a civil UTC date and time (proleptic Gregorian calendar).
int64_t unixTime(int year, unsigned month, unsigned day, unsigned hour = 0, unsigned minute = 0,
                 unsigned second = 0);

uint16_t mjdOf(int64_t unixSeconds);

// hhmmss as six BCD digits in 24 bits; hours above 99 are not representable and throw.
uint32_t bcdHms(uint32_t seconds);

// The 40-bit UTC_time field: MJD then BCD time of day.
void writeUtcTime(ByteWriter& w, int64_t unixSeconds);

}  // namespace tsgen
