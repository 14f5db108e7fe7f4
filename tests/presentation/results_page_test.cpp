#include "presentation/results_page.h"

#include <gtest/gtest.h>

#include "tests/presentation/results_test_support.h"

namespace orv {
namespace {

using namespace results_test;
using K = Tr290ErrorKind;

class ResultsPageTest : public ::testing::Test {
  protected:
    ResultsPageTest() { page.setClock(pageClock); }

    // Logs `n` continuity events and returns how many the log took.
    int logContinuity(int n) {
        int taken = 0;
        for (int i = 0; i < n; ++i)
            taken += logEvent(*ctx, 1040, 0x100) ? 1 : 0;
        return taken;
    }

    std::string runTime() const { return ctx->log.lastRunEvent.timeText.data(); }

    ScratchDir scratch;
    std::filesystem::path logFile = scratch.path() / "ERROR.log";
    std::unique_ptr<AnalysisContext> ctx = runningContext(logFile);
    ResultsPage page;
    CapturedMessages messages;
};

TEST_F(ResultsPageTest, RefreshTakesTheBatchIntoRowsWithIconsAndColumns) {
    ctx->packetCounter = 42;
    ASSERT_TRUE(logEvent(*ctx, 1040, 0x100));
    ASSERT_TRUE(logEvent(*ctx, 1081));
    ASSERT_TRUE(logEvent(*ctx, 1121, 0, -1, 0, 12.5));
    ASSERT_TRUE(logEvent(*ctx, kEventSaved));

    EXPECT_EQ(page.refresh(*ctx), kRefreshPeriodMs);
    EXPECT_EQ(ctx->log.pendingCount, 0);
    EXPECT_TRUE(page.refreshCycleActive());

    const std::string now = formatEventTime(kPageClock);
    ASSERT_NE(runTime(), now);
    const std::vector<EventRow> expected = {
        {EventIcon::Run, "00", runTime(), "离线数据分析!", ""},
        {EventIcon::Priority1, "01", now, "连续计数错误", "PID=0x0100的TS包顺序错误 第42包"},
        {EventIcon::Priority2, "02", now, "CRC错误", "PAT发生CRC错误 第42包"},
        {EventIcon::Priority3, "03", now, "NIT当前间隔错误",
         "NIT(table_id=0x40)出现间隔等于12.5000s(>10s) 第42包"},
        {EventIcon::Saved, "04", now, "保存事件!", ""},
    };
    ASSERT_EQ(page.rows().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(page.rows()[i], expected[i]) << i;

    // The stored events keep the code and the arrival time, also for the run event.
    ASSERT_EQ(page.storedEvents().size(), 5u);
    EXPECT_EQ(page.storedEvents()[0].code, "1001");
    EXPECT_EQ(page.storedEvents()[0].row, "00");
    EXPECT_EQ(page.storedEvents()[0].time, now);
    EXPECT_EQ(page.storedEvents()[1].detail, "PID=0x0100的TS包顺序错误 第42包");

    EXPECT_EQ(page.counterText(K::Continuity), "1");
    EXPECT_EQ(page.counterText(K::Crc), "1");
    EXPECT_EQ(page.counterText(K::NitActualInterval), "1");
    EXPECT_EQ(page.counterText(K::SyncLoss), "0");
    EXPECT_EQ(page.lamp(K::Continuity).colour, LampColour::Red);
    EXPECT_EQ(page.lamp(K::SyncLoss).colour, LampColour::Green);
    EXPECT_TRUE(page.lamp(K::SyncLoss).brightOnly);  // the initially selected kind
    EXPECT_FALSE(page.lamp(K::Continuity).brightOnly);

    // The log is open again and the next batch continues the numbering.
    ASSERT_TRUE(logEvent(*ctx, 1010));
    page.refresh(*ctx);
    ASSERT_EQ(page.rowCount(), 6);
    EXPECT_EQ(page.rows()[5].number, "05");
    EXPECT_EQ(page.rows()[5].type, "同步丢失错误");
}

TEST_F(ResultsPageTest, BatchWithoutTypedHeadIsDroppedAndRetriedSooner) {
    auto closed = std::make_unique<AnalysisContext>();  // after the general reset: closed, empty
    EXPECT_EQ(page.refresh(*closed), kRefreshRetryMs);
    EXPECT_EQ(closed->log.pendingCount, 0);
    EXPECT_TRUE(page.rows().empty());
    EXPECT_TRUE(page.errorRateText().empty());
    // Nothing pending: nothing to take, the regular period.
    EXPECT_EQ(page.drainPending(*closed), DrainResult::Nothing);
    EXPECT_EQ(page.refresh(*closed), kRefreshPeriodMs);
}

TEST_F(ResultsPageTest, CounterBoxesAndHeadlinesAroundTheCap) {
    struct Case {
        K kind;
        int slot;
        int value;
        const char* box;
        const char* headline;
    };
    const Case cases[] = {
        {K::Continuity, sub::kCcLoss, 999, "999", "  监测到传送流连续计数错误共 999 个"},
        {K::Continuity, sub::kCcLoss, 1000, "≥1000", "  监测到传送流连续计数错误共 ≥1000 个"},
        {K::EitPf, 0, 1000, "≥1000", "  监测到传送流EIT PF错误共 1000 个"},
        {K::EitPf, 0, 1001, "≥1000", "  监测到传送流EIT PF错误共 ≥1000 个"},
        {K::Rst, sub::kRstTooShort, 1000, "≥1000", "  监测到传送流RST错误共 1000 个"},
        {K::Rst, sub::kRstTooShort, 1001, "≥1000", "  监测到传送流RST错误共 ≥1000 个"},
        {K::SiRepetition, 0, 1000, "≥1000", "  监测到传送流SI重复错误共≥1000 个"},
    };
    for (const Case& c : cases) {
        ctx->log.kindCount = {};
        ctx->log.kindCount.at(c.kind, c.slot) = c.value;
        ASSERT_TRUE(logEvent(*ctx, kEventSaved));  // something pending, so the boxes are set
        page.selectKind(*ctx, c.kind);
        page.refresh(*ctx);
        EXPECT_EQ(page.counterText(c.kind), c.box) << kindIndex(c.kind) << " " << c.value;
        ASSERT_FALSE(page.detailLines().empty());
        EXPECT_EQ(page.detailLines()[0], c.headline);
        EXPECT_EQ(page.lamp(c.kind).colour, LampColour::Red);
        EXPECT_TRUE(page.lamp(c.kind).brightOnly);
    }
}

TEST_F(ResultsPageTest, SingleKindModeShowsOnlyTheSelectedType) {
    logContinuity(2);
    ASSERT_TRUE(logEvent(*ctx, 1086));
    logContinuity(1);
    page.refresh(*ctx);
    ASSERT_EQ(page.rowCount(), 5);

    page.selectKind(*ctx, K::Continuity);
    page.showSingleKind();
    EXPECT_EQ(page.mode(), DisplayMode::SingleKind);
    ASSERT_EQ(page.shownCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(page.rows()[i].number, rowNumberText(i));
        EXPECT_EQ(page.rows()[i].icon, EventIcon::Priority1);
        EXPECT_EQ(page.rows()[i].type, "连续计数错误");
    }

    // No event carries the EIT P/F type: the list stays empty, whatever arrives.
    page.selectKind(*ctx, K::EitPf);
    EXPECT_TRUE(page.rows().empty());
    logContinuity(3);
    ASSERT_TRUE(logEvent(*ctx, 1180));
    page.refresh(*ctx);
    page.refresh(*ctx);
    EXPECT_TRUE(page.rows().empty());
    EXPECT_EQ(page.shownCount(), 0);

    page.selectKind(*ctx, K::Crc);
    ASSERT_EQ(page.rows().size(), 1u);
    EXPECT_EQ(page.rows()[0].icon, EventIcon::Priority2);
    EXPECT_EQ(page.rows()[0].detail, "SDT发生CRC错误 第0包");

    // Events that arrived in the single-kind mode are in the full list as well.
    EXPECT_EQ(page.eventRows().size(), 9u);
    page.showAllEvents();
    ASSERT_EQ(page.rows().size(), 9u);
    EXPECT_EQ(page.rows()[0].icon, EventIcon::Run);
    EXPECT_EQ(page.rows()[0].time, formatEventTime(kPageClock));  // rebuilt from stored events
    EXPECT_EQ(page.rows()[3].type, "CRC错误");
    EXPECT_EQ(page.rows()[8].number, "08");
    EXPECT_EQ(page.rows()[8].type, "EIT ID错误");
}

TEST_F(ResultsPageTest, ClearAllLeavesOnlyTheRestartEvent) {
    logContinuity(3);
    ASSERT_TRUE(logEvent(*ctx, 1081));
    page.refresh(*ctx);
    logContinuity(2);  // pending, discarded by the clear

    page.clearAll(*ctx);
    for (int k = 0; k < kKindCount; ++k) {
        EXPECT_EQ(page.counterText(static_cast<K>(k)), "0") << k;
        EXPECT_EQ(counterShown(ctx->log.kindCount, static_cast<K>(k)), 0) << k;
    }
    EXPECT_EQ(ctx->log.kindCount.crc(CrcTable::Pat), 0);
    EXPECT_TRUE(page.rows().empty());
    EXPECT_TRUE(page.storedEvents().empty());

    page.refresh(*ctx);
    ASSERT_EQ(page.rows().size(), 1u);
    EXPECT_EQ(page.rows()[0].number, "00");
    EXPECT_EQ(page.rows()[0].type, "重新开始测试!");
    EXPECT_EQ(page.rows()[0].icon, EventIcon::Run);
    EXPECT_EQ(ctx->log.lastRunEvent.code, kEventRestart);
    EXPECT_EQ(page.lamp(K::Continuity).colour, LampColour::Green);
}

TEST_F(ResultsPageTest, ClearSelectedKindZeroesItsCountersOnly) {
    ASSERT_TRUE(logEvent(*ctx, 1081));
    ASSERT_TRUE(logEvent(*ctx, 1086));
    ASSERT_TRUE(logEvent(*ctx, 1142, 0, -1, 0x02));
    ASSERT_TRUE(logEvent(*ctx, 1150, 0, -1, 0x02));
    logContinuity(1);
    page.refresh(*ctx);

    page.selectKind(*ctx, K::Crc);
    page.clearSelectedKind(*ctx);
    EXPECT_EQ(counterShown(ctx->log.kindCount, K::Crc), 0);
    for (int t = 0; t < kCrcTableCount; ++t)
        EXPECT_EQ(ctx->log.kindCount.crcByTable[t], 0) << t;
    EXPECT_EQ(page.counterText(K::Crc), "0");
    EXPECT_EQ(page.lamp(K::Crc).colour, LampColour::Green);
    EXPECT_EQ(page.detailLines()[0], "  监测到传送流CRC错误共 0 个");

    page.selectKind(*ctx, K::Buffer);
    page.clearSelectedKind(*ctx);
    for (int s = 0; s < kMaxSubCounters; ++s)
        EXPECT_EQ(ctx->log.kindCount.at(K::Buffer, s), 0) << s;

    // Other kinds and the event list are untouched.
    EXPECT_EQ(counterShown(ctx->log.kindCount, K::Continuity), 1);
    EXPECT_EQ(page.counterText(K::Continuity), "1");
    EXPECT_EQ(page.rowCount(), 6);
}

TEST_F(ResultsPageTest, TheTwoThousandthRowFlushesTheListToTheErrorLog) {
    // 1 run event + 999, then 1000: the list reaches 2000 rows with the end of the batch.
    ASSERT_EQ(logContinuity(999), 999);
    page.drainPending(*ctx);
    ASSERT_EQ(logContinuity(1000), 1000);
    EXPECT_EQ(page.drainPending(*ctx), DrainResult::Drained);

    const std::vector<std::string> lines = crlfLines(readFile(logFile));
    ASSERT_EQ(lines.size(), 2000u);
    EXPECT_EQ(lines[0].substr(0, 3), "00\t");
    EXPECT_EQ(lines[1999].substr(0, 5), "1999\t");
    EXPECT_TRUE(page.rows().empty());
    EXPECT_TRUE(page.storedEvents().empty());
    EXPECT_TRUE(messages.texts.empty());

    // The list restarts with the run's cause and the save event.
    page.refresh(*ctx);
    ASSERT_EQ(page.rows().size(), 2u);
    EXPECT_EQ(page.rows()[0], (EventRow{EventIcon::Run, "00", runTime(), "离线数据分析!", ""}));
    EXPECT_EQ(page.rows()[1].number, "01");
    EXPECT_EQ(page.rows()[1].icon, EventIcon::Saved);
    EXPECT_EQ(page.rows()[1].type, "保存事件!");
}

TEST_F(ResultsPageTest, EventsBeyondTheFullListFollowTheRestart) {
    // 1 run event + 500, then 1000, then 1000 of which 499 fill the list to 2000 rows.
    ASSERT_EQ(logContinuity(500), 500);
    page.drainPending(*ctx);
    ASSERT_EQ(logContinuity(1000), 1000);
    page.drainPending(*ctx);
    ASSERT_EQ(page.rowCount(), 1501);
    ASSERT_EQ(logContinuity(1000), 1000);
    page.drainPending(*ctx);

    EXPECT_EQ(crlfLines(readFile(logFile)).size(), 2000u);
    // Restarted at once: the writer's two entries, then the 501 events that did not fit.
    ASSERT_EQ(page.rowCount(), 503);
    EXPECT_EQ(page.rows()[0].type, "离线数据分析!");
    EXPECT_EQ(page.rows()[1].type, "保存事件!");
    EXPECT_EQ(page.rows()[2].number, "02");
    EXPECT_EQ(page.rows()[502].type, "连续计数错误");
    EXPECT_EQ(ctx->log.pendingCount, 0);
    EXPECT_EQ(ctx->log.kindCount.at(K::Continuity, sub::kCcOrder), 2500);
}

TEST_F(ResultsPageTest, FailedFlushStillEmptiesTheListAndReopensTheLog) {
    ctx->logSettings.errorLogPath = (scratch.path() / "missing" / "ERROR.log").string();
    ASSERT_EQ(logContinuity(999), 999);
    page.drainPending(*ctx);
    ASSERT_EQ(logContinuity(1000), 1000);
    page.drainPending(*ctx);

    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0],
              "打开文件" + (scratch.path() / "missing" / "ERROR.log").string() + "时出错。");
    EXPECT_TRUE(page.rows().empty());
    EXPECT_EQ(ctx->log.pendingCount, 0);
    EXPECT_TRUE(logEvent(*ctx, 1010));
}

TEST_F(ResultsPageTest, SaveEventsWritesTheWholeListAndKeepsItWhenTheFileFails) {
    logContinuity(2);
    page.refresh(*ctx);
    page.selectKind(*ctx, K::Crc);
    page.showSingleKind();  // shows nothing, yet the save writes every event

    const std::string goodPath = ctx->logSettings.errorLogPath;
    ctx->logSettings.errorLogPath = (scratch.path() / "missing" / "x.log").string();
    EXPECT_EQ(page.saveEvents(*ctx), ErrorLogResult::OpenFailed);
    EXPECT_EQ(page.eventRows().size(), 3u);
    EXPECT_EQ(ctx->log.pendingCount, 0);

    ctx->logSettings.errorLogPath = goodPath;
    EXPECT_EQ(page.saveEvents(*ctx), ErrorLogResult::Appended);
    EXPECT_EQ(crlfLines(readFile(logFile)).size(), 3u);
    EXPECT_TRUE(page.eventRows().empty());
    EXPECT_EQ(ctx->log.pendingCount, 2);  // the run's cause and "保存事件!"
}

TEST_F(ResultsPageTest, ResetClearsTheFaceButKeepsCountersAndStoredEvents) {
    logContinuity(4);
    page.refresh(*ctx);
    page.selectKind(*ctx, K::Continuity);
    page.showSingleKind();

    page.reset(*ctx);
    EXPECT_FALSE(page.refreshCycleActive());
    EXPECT_EQ(page.mode(), DisplayMode::AllEvents);
    EXPECT_EQ(page.counterText(K::Continuity), "0");
    EXPECT_EQ(page.lamp(K::Continuity).colour, LampColour::Green);
    EXPECT_TRUE(page.errorRateText().empty());
    EXPECT_TRUE(page.rows().empty());
    EXPECT_EQ(page.rowCount(), 0);
    EXPECT_EQ(page.storedEvents().size(), 5u);
    EXPECT_EQ(counterShown(ctx->log.kindCount, K::Continuity), 4);
    EXPECT_EQ(page.detailLines()[0], "  监测到传送流连续计数错误共 4 个");
}

TEST_F(ResultsPageTest, ErrorRateCountsPacketLevelErrorsOverAnalysedPackets) {
    page.refresh(*ctx);
    ctx->packetCounter = 0;
    page.refresh(*ctx);
    EXPECT_EQ(page.errorRateText(), "0.000000e+00");

    ctx->packetCounter = 1000;
    ASSERT_TRUE(logEvent(*ctx, 1040, 0x100));
    ASSERT_TRUE(logEvent(*ctx, 1042, 0x100));
    ASSERT_TRUE(logEvent(*ctx, 1070, 0x100));
    ASSERT_TRUE(logEvent(*ctx, 1081));  // not a packet-level error
    page.refresh(*ctx);
    EXPECT_EQ(page.errorRateText(), "3.000000e-03");
}

}  // namespace
}  // namespace orv
