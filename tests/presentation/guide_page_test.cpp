// The programme guide page: its service lists follow the engine's, a service is shown by a
// selection change in the other list or a click in its own, and a refresh after a list was
// created empties the description without stopping the engine's collection.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "presentation/guide_page.h"
#include "tests/presentation/scoped_tz.h"

namespace orv {
namespace {

GuideService service(uint16_t id, uint16_t ts, uint32_t type, uint32_t freeCa, int events) {
    GuideService s;
    s.serviceId = id;
    s.transportStreamId = ts;
    s.originalNetworkId = 0x22;
    s.serviceName = "Svc" + std::to_string(id);
    s.providerName = "Prov";
    s.serviceType = type;
    s.freeCaMode = freeCa;
    for (int i = 0; i < events; ++i)
        s.events.push_back({static_cast<uint16_t>(0x100 + i),
                            "2024-03-01 1" + std::to_string(i) + ":00:00", "00:30:00",
                            "Show" + std::to_string(i), 1});
    return s;
}

std::vector<std::string> eventIds(const GuidePage& page) {
    std::vector<std::string> ids;
    for (const GuideEventRow& e : page.events())
        ids.push_back(e.eventId);
    return ids;
}

// 2024-03-01 10:00:00 UTC
std::time_t clock1() {
    return 1'709'287'200;
}

TEST(GuidePage, ListsSelectionAndClicks) {
    test::ScopedTz tz("CST-8");
    auto ctx = std::make_unique<AnalysisContext>();
    GuidePage page;
    page.setClock(clock1);

    // No SDT: both lists empty, the times shown all the same.
    EXPECT_EQ(page.refresh(*ctx), 10'000);
    EXPECT_TRUE(page.services(GuideListId::Actual).empty());
    EXPECT_EQ(page.texts().localTime, "2024-03-01 18:00:00");
    EXPECT_EQ(page.texts().gmtTime, "2024-03-01 10:00:00");

    ctx->guide.actual.created = true;
    ctx->guide.actual.services = {service(0x0101, 1, 1, 0, 2), service(0x0102, 1, 0x19, 1, 0)};
    ctx->guide.other.created = true;
    // The other stream lists a service with the same three identifiers as the actual one.
    ctx->guide.other.services = {service(0x0101, 1, 2, 0, 3)};
    page.refresh(*ctx);
    ASSERT_EQ(page.services(GuideListId::Actual).size(), 2u);
    EXPECT_EQ(page.services(GuideListId::Actual)[1].number, "01");
    EXPECT_EQ(page.services(GuideListId::Actual)[1].serviceId, "0x0102");

    struct Step {
        const char* what;
        GuideListId list;
        int row;
        bool click;
        std::vector<std::string> events;  // the event ids shown afterwards
        const char* serviceType;
        bool actualHolds;
    } steps[] = {
        {"a click in a list that does not hold the shown service does nothing",
         GuideListId::Actual,
         0,
         true,
         {},
         "",
         false},
        {"a selection shows the service",
         GuideListId::Actual,
         0,
         false,
         {"0x0100", "0x0101"},
         "数字电视业务",
         true},
        {"a selection in the list that holds it does nothing",
         GuideListId::Actual,
         1,
         false,
         {"0x0100", "0x0101"},
         "数字电视业务",
         true},
        {"a row beyond the list does nothing",
         GuideListId::Other,
         5,
         false,
         {"0x0100", "0x0101"},
         "数字电视业务",
         true},
        {"the same three identifiers in the other list change nothing",
         GuideListId::Other,
         0,
         false,
         {"0x0100", "0x0101"},
         "数字电视业务",
         true},
        {"a click in the holding list always rebuilds",
         GuideListId::Actual,
         1,
         true,
         {},
         "用户定义节目",
         true},
    };
    for (const Step& s : steps) {
        if (s.click)
            page.clicked(*ctx, s.list, s.row);
        else
            page.selectionChanged(*ctx, s.list, s.row);
        SCOPED_TRACE(s.what);
        EXPECT_EQ(eventIds(page), s.events);
        EXPECT_EQ(page.texts().serviceType, s.serviceType);
        EXPECT_EQ(page.holdsShown(GuideListId::Actual), s.actualHolds);
    }
    EXPECT_EQ(page.texts().scrambling, "业务被加扰");
    EXPECT_EQ(page.texts().serviceId, "0x0102");
    EXPECT_EQ(page.texts().transportStreamId, "0x0001");
    EXPECT_EQ(page.texts().originalNetworkId, "0x0022");

    // A service of another identity in the other list takes over; the actual list lets go.
    ctx->guide.other.services[0].transportStreamId = 7;
    page.selectionChanged(*ctx, GuideListId::Other, 0);
    EXPECT_EQ(eventIds(page), (std::vector<std::string>{"0x0100", "0x0101", "0x0102"}));
    EXPECT_EQ(page.texts().serviceType, "数字音频广播业务");
    EXPECT_FALSE(page.holdsShown(GuideListId::Actual));
    EXPECT_TRUE(page.holdsShown(GuideListId::Other));
    EXPECT_EQ(page.events()[2].number, "02");
    EXPECT_EQ(page.events()[2].name, "Show2");

    page.reset();
    EXPECT_TRUE(page.services(GuideListId::Other).empty());
    EXPECT_TRUE(page.events().empty());
    EXPECT_EQ(page.texts().localTime, "");
    EXPECT_FALSE(page.holdsShown(GuideListId::Other));
    EXPECT_FALSE(page.timerArmed());
}

// The first refresh after a list is created empties the description and the events (the times
// stay); the engine's created byte stays set, so the schedules go on being collected.
TEST(GuidePage, ACreatedListClearsTheDescriptionOnce) {
    auto ctx = std::make_unique<AnalysisContext>();
    GuidePage page;
    page.setClock(clock1);
    ctx->guide.other.created = true;
    ctx->guide.other.services = {service(0x0201, 3, 1, 0, 2)};
    page.refresh(*ctx);
    page.selectionChanged(*ctx, GuideListId::Other, 0);
    ASSERT_EQ(page.events().size(), 2u);

    page.refresh(*ctx);  // nothing new
    EXPECT_EQ(page.events().size(), 2u);

    ctx->guide.actual.created = true;  // the actual list appears, still without services
    page.refresh(*ctx);
    EXPECT_TRUE(page.events().empty());
    EXPECT_EQ(page.texts().serviceName, "");
    EXPECT_EQ(page.texts().gmtTime, "2024-03-01 10:00:00");
    EXPECT_TRUE(ctx->guide.actual.created);
    EXPECT_TRUE(ctx->guide.other.created);

    // Service types by value: the table's ends and beyond.
    EXPECT_STREQ(guideServiceTypeText(16), "MHP业务");
    EXPECT_STREQ(guideServiceTypeText(9), "本指导性技术文件预留");
    EXPECT_STREQ(guideServiceTypeText(0), "用户定义节目");
    EXPECT_STREQ(guideServiceTypeText(17), "用户定义节目");
}

}  // namespace
}  // namespace orv
