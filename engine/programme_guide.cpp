#include "engine/programme_guide.h"

#include <algorithm>
#include <cstdio>

#include "engine/si_section_view.h"
#include "platform/dvb_text.h"

namespace orv {
namespace {

constexpr int kCrcBytes = 4;
constexpr int kSdtServiceLoop = 11;
constexpr int kSdtServiceHeader = 5;
constexpr int kEitEventLoop = 14;
constexpr int kEitEventHeader = 12;
constexpr uint8_t kServiceDescriptorTag = 0x48;
constexpr uint8_t kShortEventDescriptorTag = 0x4D;

// A length-prefixed DVB text at `pos` inside [pos, end), decoded to UTF-8; advances pos past it.
// Empty when the length runs past the end.
std::string lengthPrefixed(const uint8_t* s, int& pos, int end) {
    if (pos >= end) return {};
    const int length = s[pos];
    const int from = pos + 1;
    pos = from + length;
    if (pos > end) return {};
    return dvbTextToUtf8({s + from, static_cast<std::size_t>(length)});
}

// Calls fn(tag, body, bodyLength) for each descriptor in [from, to) that lies wholly inside.
template <class Fn>
void forEachDescriptor(const uint8_t* s, int from, int to, Fn&& fn) {
    int pos = from;
    while (pos + 2 <= to) {
        const int length = s[pos + 1];
        if (pos + 2 + length > to) return;
        fn(s[pos], s + pos + 2, length);
        pos += 2 + length;
    }
}

GuideList* listForSdt(ProgrammeGuide& guide, unsigned tableId) {
    if (tableId == kTableSdtActual) return &guide.actual;
    if (tableId == kTableSdtOther) return &guide.other;
    return nullptr;
}

void readServices(GuideList& list, const uint8_t* s, int crcStart, uint16_t tsId, uint16_t onId) {
    int pos = kSdtServiceLoop;
    while (pos + kSdtServiceHeader <= crcStart && list.count() < kGuideServiceSlots) {
        GuideService svc;
        svc.serviceId = static_cast<uint16_t>(read16(s + pos));
        svc.transportStreamId = tsId;
        svc.originalNetworkId = onId;
        svc.runningStatus = s[pos + 3] >> 5;
        svc.freeCaMode = (s[pos + 3] >> 4) & 0x01;
        const int loopEnd = pos + kSdtServiceHeader + static_cast<int>(read12(s + pos + 3));
        if (loopEnd > crcStart) return;  // a descriptor loop longer than the section
        forEachDescriptor(s, pos + kSdtServiceHeader, loopEnd,
                          [&](uint8_t tag, const uint8_t* body, int length) {
                              if (tag != kServiceDescriptorTag || length < 1) return;
                              svc.serviceType = body[0];
                              int p = 1;
                              svc.providerName = lengthPrefixed(body, p, length);
                              svc.serviceName = lengthPrefixed(body, p, length);
                          });
        list.services.push_back(std::move(svc));
        pos = loopEnd;
    }
}

std::string bcdText(const uint8_t* b) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x", b[0], b[1], b[2]);
    return text;
}

// Adds the events of a schedule section to a service; true when the service became full.
bool readEvents(GuideService& svc, const uint8_t* s, int crcStart) {
    int pos = kEitEventLoop;
    while (pos + kEitEventHeader <= crcStart) {
        const uint8_t* e = s + pos;
        const int loopEnd = pos + kEitEventHeader + static_cast<int>(read12(e + 10));
        if (loopEnd > crcStart) return false;  // a descriptor loop longer than the section
        GuideEvent ev;
        ev.eventId = static_cast<uint16_t>(read16(e));
        ev.start = guideStartText(read16(e + 2), e + 4);
        ev.duration = bcdText(e + 7);
        ev.runningStatus = e[10] >> 5;
        forEachDescriptor(s, pos + kEitEventHeader, loopEnd,
                          [&](uint8_t tag, const uint8_t* body, int length) {
                              if (tag != kShortEventDescriptorTag || !ev.name.empty()) return;
                              int p = 3;  // ISO_639_language_code
                              ev.name = lengthPrefixed(body, p, length);
                          });
        svc.events.push_back(std::move(ev));
        if (svc.eventCount() >= kGuideMaxEvents) {
            svc.complete = true;
            return true;
        }
        pos = loopEnd;
    }
    return false;
}

}  // namespace

CalendarDate mjdToDate(unsigned mjd) {
    const double m = mjd;
    const int y1 = static_cast<int>((m - 15078.2) / 365.25);
    const int m1 = static_cast<int>((m - 14956.1 - static_cast<int>(y1 * 365.25)) / 30.6001);
    const int day = static_cast<int>(mjd) - 14956 - static_cast<int>(y1 * 365.25) -
                    static_cast<int>(m1 * 30.6001);
    const int k = (m1 == 14 || m1 == 15) ? 1 : 0;
    return {1900 + y1 + k, m1 - 1 - k * 12, day};
}

std::string guideStartText(unsigned mjd, const uint8_t bcd[3]) {
    const CalendarDate d = mjdToDate(mjd);
    char text[48];
    std::snprintf(text, sizeof text, "%02d-%02d-%02d %02x:%02x:%02x", d.year, d.month, d.day,
                  bcd[0], bcd[1], bcd[2]);
    return text;
}

void CollectGuideServices(AnalysisContext& ctx, std::span<const uint8_t> section) {
    if (section.size() < kSdtServiceLoop + kCrcBytes) return;
    const uint8_t* s = section.data();
    GuideList* list = listForSdt(ctx.guide, s[0]);
    if (list == nullptr) return;
    const auto tsId = static_cast<uint16_t>(read16(s + 3));
    const auto onId = static_cast<uint16_t>(read16(s + 8));
    if (!list->created) {
        if (list->count() != 0 || s[6] != 0) return;  // only a section 0 creates the list
        list->services.reserve(kGuideServiceSlots);
        list->created = true;
        list->building = true;
    } else {
        // A stream's services come from the section that first listed it.
        const bool listed =
            std::any_of(list->services.begin(), list->services.end(), [&](const GuideService& g) {
                return g.transportStreamId == tsId && g.originalNetworkId == onId;
            });
        if (listed) return;
    }
    if (!list->building || list->count() >= kGuideServicesForNewSection) return;
    const int crcStart =
        std::min(static_cast<int>(section.size()), 3 + static_cast<int>(read12(s + 1))) - kCrcBytes;
    readServices(*list, s, crcStart, tsId, onId);
}

void CollectGuideEvents(AnalysisContext& ctx, std::span<const uint8_t> section) {
    if (section.size() < kEitEventLoop + kCrcBytes) return;
    const uint8_t* s = section.data();
    const unsigned tableId = s[0];
    if (tableId < kTableEitScheduleFirst || tableId > kTableEitScheduleLast) return;
    const bool actual = tableId < 0x60;
    GuideList& list = actual ? ctx.guide.actual : ctx.guide.other;
    if (!list.created) return;
    const unsigned firstTable = actual ? kTableEitScheduleFirst : 0x60;
    const unsigned serviceId = read16(s + 3), tsId = read16(s + 8), onId = read16(s + 10);
    const unsigned sectionNumber = s[6], lastSectionNumber = s[7], lastTableId = s[13];
    const int crcStart =
        std::min(static_cast<int>(section.size()), 3 + static_cast<int>(read12(s + 1))) - kCrcBytes;
    for (GuideService& svc : list.services) {
        if (svc.serviceId != serviceId || svc.transportStreamId != tsId ||
            svc.originalNetworkId != onId || svc.complete)
            continue;
        if (!svc.eventsAllocated && tableId == firstTable && sectionNumber == 0) {
            svc.events.reserve(kGuideEventSlots);
            svc.eventsAllocated = true;
            svc.expectedTableId = static_cast<uint8_t>(tableId);
            svc.lastTableId = static_cast<uint8_t>(lastTableId);
        }
        if (!svc.eventsAllocated || tableId != svc.expectedTableId ||
            svc.eventCount() >= kGuideMaxEvents)
            continue;
        if (readEvents(svc, s, crcStart)) continue;
        if (sectionNumber == lastSectionNumber) {
            if (tableId == svc.lastTableId)
                svc.complete = true;
            else
                ++svc.expectedTableId;
        }
    }
}

}  // namespace orv
