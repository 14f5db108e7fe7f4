// The programme guide: service lists from the SDT, schedules from the EIT schedule tables, the
// date conversion and the limits.
#include <gtest/gtest.h>

#include <memory>

#include "engine/programme_guide.h"
#include "engine/si_handlers.h"
#include "tools/tsgen/dvb_time.h"
#include "tools/tsgen/sections.h"

namespace orv {
namespace {

std::unique_ptr<AnalysisContext> freshContext() {
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    ctx->initDone = true;
    return ctx;
}

tsgen::Section sdt(uint8_t sectionNumber, std::vector<uint16_t> services, uint16_t ts = 1,
                   bool actual = true) {
    tsgen::SdtParams p;
    p.actual = actual;
    p.transportStreamId = ts;
    p.originalNetworkId = 2;
    p.numbering.sectionNumber = sectionNumber;
    p.numbering.lastSectionNumber = 1;
    for (uint16_t id : services) {
        tsgen::SdtService s;
        s.serviceId = id;
        s.runningStatus = 4;
        s.freeCaMode = true;
        s.descriptors = {tsgen::serviceDescriptor(0x19, "Prov", "Svc" + std::to_string(id))};
        p.services.push_back(s);
    }
    return tsgen::buildSdt(p);
}

// A schedule section of service 0x101 with `events` events starting at `firstEventId`.
tsgen::Section schedule(uint8_t tableId, uint8_t sectionNumber, uint8_t lastSectionNumber,
                        uint8_t lastTableId, int events, uint16_t firstEventId,
                        uint16_t serviceId = 0x101) {
    tsgen::EitParams p;
    p.tableId = tableId;
    p.serviceId = serviceId;
    p.transportStreamId = 1;
    p.originalNetworkId = 2;
    p.numbering.sectionNumber = sectionNumber;
    p.numbering.lastSectionNumber = lastSectionNumber;
    p.lastTableId = lastTableId;
    for (int i = 0; i < events; ++i) {
        tsgen::EitEvent e;
        e.eventId = static_cast<uint16_t>(firstEventId + i);
        e.start = tsgen::unixTime(2024, 3, 1, 10, 0, 0) + 3600 * (firstEventId + i);
        e.durationSeconds = 5400;
        e.runningStatus = 1;
        e.descriptors = {
            tsgen::shortEventDescriptor("eng", "Show" + std::to_string(e.eventId), "")};
        p.events.push_back(e);
    }
    return tsgen::buildEit(p);
}

TEST(ProgrammeGuide, MjdDate) {
    const uint8_t t[3] = {0x12, 0x45, 0x00};
    EXPECT_EQ(guideStartText(0xC079, t), "1993-10-13 12:45:00");
    struct Case {
        int y, m, d;
    } dates[] = {{2024, 3, 1}, {2000, 2, 29}, {1999, 12, 31}, {2038, 1, 19}, {2024, 1, 1}};
    for (const Case& c : dates) {
        const CalendarDate got = mjdToDate(tsgen::mjdOf(tsgen::unixTime(c.y, c.m, c.d)));
        EXPECT_EQ(got.year, c.y);
        EXPECT_EQ(got.month, c.m);
        EXPECT_EQ(got.day, c.d);
    }
}

TEST(ProgrammeGuide, SdtSectionOneBeforeSectionZero) {
    auto ctx = freshContext();
    const GuideList& list = ctx->guide.actual;
    OnSdtBatSection(*ctx, sdt(1, {0x201, 0x202}));
    EXPECT_FALSE(list.created);
    OnSdtBatSection(*ctx, sdt(0, {0x101}));
    ASSERT_TRUE(list.created);
    OnSdtBatSection(*ctx, sdt(1, {0x201, 0x202}));
    ASSERT_EQ(list.count(), 1);
    const GuideService& s = list.services[0];
    EXPECT_EQ(s.serviceId, 0x101);
    EXPECT_EQ(s.serviceName, "Svc257");
    EXPECT_EQ(s.providerName, "Prov");
    EXPECT_EQ(s.serviceType, 0x19u);
    EXPECT_EQ(s.runningStatus, 4u);
    EXPECT_EQ(s.freeCaMode, 1u);
    // Another transport stream's section extends the list; the other list stays apart.
    OnSdtBatSection(*ctx, sdt(1, {0x301}, 7));
    EXPECT_EQ(list.count(), 2);
    OnSdtBatSection(*ctx, sdt(0, {0x401}, 8, false));
    EXPECT_EQ(ctx->guide.other.count(), 1);
    EXPECT_EQ(list.count(), 2);
}

TEST(ProgrammeGuide, ScheduleOverTwoTables) {
    auto ctx = freshContext();
    OnSdtBatSection(*ctx, sdt(0, {0x101, 0x102}));
    const GuideService& svc = ctx->guide.actual.services[0];
    auto feed = [&](const tsgen::Section& s) { OnEitSection(*ctx, s); };
    feed(schedule(0x51, 0, 1, 0x51, 2, 100));  // before table 0x50: ignored
    feed(schedule(0x50, 1, 1, 0x51, 2, 10));   // not section 0 of the first table: ignored
    EXPECT_FALSE(svc.eventsAllocated);
    feed(schedule(0x50, 0, 1, 0x51, 3, 0));
    EXPECT_EQ(svc.expectedTableId, 0x50);
    feed(schedule(0x51, 0, 1, 0x51, 2, 100));  // table 0x50 is not finished: ignored
    feed(schedule(0x50, 1, 1, 0x51, 2, 3));
    EXPECT_EQ(svc.expectedTableId, 0x51);
    EXPECT_FALSE(svc.complete);
    feed(schedule(0x51, 0, 1, 0x51, 2, 100));
    feed(schedule(0x50, 0, 1, 0x51, 3, 0));  // table 0x50 is done
    EXPECT_FALSE(svc.complete);
    feed(schedule(0x51, 1, 1, 0x51, 1, 102));
    EXPECT_TRUE(svc.complete);
    feed(schedule(0x51, 1, 1, 0x51, 1, 103));  // a complete service takes nothing more
    ASSERT_EQ(svc.eventCount(), 8);
    const uint16_t ids[] = {0, 1, 2, 3, 4, 100, 101, 102};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(svc.events[i].eventId, ids[i]);
    EXPECT_EQ(svc.events[0].start, "2024-03-01 10:00:00");
    EXPECT_EQ(svc.events[1].start, "2024-03-01 11:00:00");
    EXPECT_EQ(svc.events[0].duration, "01:30:00");
    EXPECT_EQ(svc.events[5].name, "Show100");
    EXPECT_EQ(svc.events[0].runningStatus, 1u);
    EXPECT_EQ(ctx->guide.actual.services[1].eventCount(), 0);  // another service
    // A service not in the list is ignored.
    feed(schedule(0x50, 0, 0, 0x50, 1, 0, 0x999));
    EXPECT_EQ(ctx->guide.actual.count(), 2);
}

TEST(ProgrammeGuide, Limits) {
    // An event list ends at 1000 events and marks its service complete.
    auto ctx = freshContext();
    OnSdtBatSection(*ctx, sdt(0, {0x101}));
    const GuideService& svc = ctx->guide.actual.services[0];
    for (int s = 0; s < 60; ++s)
        OnEitSection(*ctx, schedule(0x50, static_cast<uint8_t>(s), 255, 0x50, 20, s * 20));
    EXPECT_EQ(svc.eventCount(), kGuideMaxEvents);
    EXPECT_TRUE(svc.complete);

    // Up to 250 services; a further section only while fewer than 200 are held.
    auto ctx2 = freshContext();
    const GuideList& list = ctx2->guide.actual;
    uint16_t next = 1;
    auto sectionOf = [&](int count, uint16_t ts) {
        std::vector<uint16_t> ids;
        for (int i = 0; i < count; ++i)
            ids.push_back(next++);
        return sdt(ts == 1 ? 0 : 1, ids, ts);
    };
    OnSdtBatSection(*ctx2, sectionOf(30, 1));
    for (uint16_t ts = 2; ts <= 7; ++ts)
        OnSdtBatSection(*ctx2, sectionOf(30, ts));
    EXPECT_EQ(list.count(), 210);  // the seventh section came with 180 held
    OnSdtBatSection(*ctx2, sectionOf(30, 8));
    EXPECT_EQ(list.count(), 210);
}

TEST(ProgrammeGuide, ServiceListCapsAt250) {
    auto ctx = freshContext();
    tsgen::SdtParams p;
    p.transportStreamId = 1;
    p.originalNetworkId = 2;
    for (uint16_t id = 1; id <= 199; ++id)
        p.services.push_back({id, false, false, 4, false, {}});
    OnSdtBatSection(*ctx, tsgen::buildSdt(p));
    ASSERT_EQ(ctx->guide.actual.count(), 199);
    p.transportStreamId = 2;
    p.numbering.sectionNumber = 1;
    OnSdtBatSection(*ctx, tsgen::buildSdt(p));
    EXPECT_EQ(ctx->guide.actual.count(), kGuideServiceSlots);
    EXPECT_TRUE(ctx->guide.actual.services.back().serviceName.empty());
}

}  // namespace
}  // namespace orv
