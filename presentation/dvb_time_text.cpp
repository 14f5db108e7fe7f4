#include "presentation/dvb_time_text.h"

#include "presentation/text_format.h"

namespace orv {

CivilDate mjdToDate(uint16_t mjd) {
    const double m = mjd;
    const int yp = static_cast<int>((m - 15078.2) / 365.25);
    const int mp = static_cast<int>((m - 14956.1 - static_cast<int>(yp * 365.25)) / 30.6001);
    const int day = static_cast<int>(mjd) - 14956 - static_cast<int>(yp * 365.25) -
                    static_cast<int>(mp * 30.6001);
    const int k = (mp == 14 || mp == 15) ? 1 : 0;
    return {1900 + yp + k, mp - 1 - k * 12, day};
}

std::string utcTimeText(uint16_t mjd, uint32_t bcdTime) {
    const CivilDate d = mjdToDate(mjd);
    return formatText(
        "%d/%02d/%02d %02x:%02x:%02x",
        {d.year, d.month, d.day, (bcdTime >> 16) & 0xFF, (bcdTime >> 8) & 0xFF, bcdTime & 0xFF});
}

}  // namespace orv
