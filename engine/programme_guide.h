// Collection of the programme guide from the SDT and EIT schedule sections the SI handlers accept.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/analysis_context.h"

namespace orv {

// A good SDT section (table_id 0x42 to the actual list, 0x46 to the other list; anything else is
// ignored): creates the list on a section 0 and adds the services of a transport stream not yet
// listed.
void CollectGuideServices(AnalysisContext& ctx, std::span<const uint8_t> section);

// A good EIT schedule section (0x50..0x5F actual, 0x60..0x6F other): adds its events to every
// listed service it belongs to, table by table in ascending order.
void CollectGuideEvents(AnalysisContext& ctx, std::span<const uint8_t> section);

struct CalendarDate {
    int year = 0;  // the full year
    int month = 0;
    int day = 0;
};

// The Modified Julian Date as a calendar date (the conversion of ETSI EN 300 468, Annex C).
CalendarDate mjdToDate(unsigned mjd);

// "yyyy-mm-dd hh:mm:ss" from the 16-bit MJD and the three BCD bytes of the UTC time; the BCD
// bytes are printed as they stand.
std::string guideStartText(unsigned mjd, const uint8_t bcd[3]);

}  // namespace orv
