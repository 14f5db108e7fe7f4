// Dates and times of DVB SI as text: the 16-bit Modified Julian Date as year, month and day
// (the conversion of ETSI EN 300 468 Annex C), times and durations as their BCD bytes.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

CivilDate mjdToDate(uint16_t mjd);

// "%d/%02d/%02d %02x:%02x:%02x" of an MJD and a 24-bit BCD time hhmmss.
std::string utcTimeText(uint16_t mjd, uint32_t bcdTime);

}  // namespace orv
