// The programme guide lists: the services of the SDTs (actual and other transport streams) and,
// for each service, its scheduled events from the EIT schedule tables. Names are UTF-8, decoded
// from the descriptors by their DVB character table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

struct GuideEvent {
    uint16_t eventId = 0;
    std::string start;     // "yyyy-mm-dd hh:mm:ss" (UTC)
    std::string duration;  // "hh:mm:ss"
    std::string name;      // event_name of the short_event_descriptor; empty if none
    uint32_t runningStatus = 0;
};

struct GuideService {
    uint16_t serviceId = 0;
    uint16_t transportStreamId = 0;
    uint16_t originalNetworkId = 0;
    std::string providerName;
    std::string serviceName;
    uint32_t serviceType = 0;
    uint32_t runningStatus = 0;
    uint32_t freeCaMode = 0;
    uint8_t expectedTableId = 0;  // next schedule table to collect; 0 until events exist
    uint8_t lastTableId = 0;      // last_table_id of the first schedule section collected
    std::vector<GuideEvent> events;
    bool eventsAllocated = false;
    bool complete = false;  // the schedule is collected or the event list is full

    int eventCount() const { return static_cast<int>(events.size()); }
};

inline constexpr int kGuideServiceSlots = 250;
// A further SDT section adds services only while fewer than this many are held.
inline constexpr int kGuideServicesForNewSection = 200;
inline constexpr int kGuideEventSlots = 1100;
inline constexpr int kGuideMaxEvents = 1000;

struct GuideList {
    std::vector<GuideService> services;
    bool building = false;
    bool created = false;

    int count() const { return static_cast<int>(services.size()); }
};

struct ProgrammeGuide {
    GuideList actual;  // SDT 0x42, EIT schedule 0x50..0x5F
    GuideList other;   // SDT 0x46, EIT schedule 0x60..0x6F
};

}  // namespace orv
