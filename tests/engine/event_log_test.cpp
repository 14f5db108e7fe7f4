#include "engine/event_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/event_catalogue.h"
#include "platform/text_codec.h"

namespace orv {
namespace {

using K = Tr290ErrorKind;

std::unique_ptr<AnalysisContext> openContext() {
    auto ctx = std::make_unique<AnalysisContext>();
    ctx->log.pendingCount = 0;
    return ctx;
}

bool allCountersZero(const KindCounters& c) {
    for (const auto& kind : c.counters) {
        for (int v : kind) {
            if (v != 0) return false;
        }
    }
    for (int v : c.crcByTable) {
        if (v != 0) return false;
    }
    return true;
}

TEST(EventLog, ClosedLogNeitherAppendsNorCounts) {
    auto ctx = std::make_unique<AnalysisContext>();  // closed, as after the general reset
    EXPECT_FALSE(logEvent(*ctx, 1010));
    EXPECT_FALSE(logEvent(*ctx, 1081));
    EXPECT_EQ(ctx->log.pendingCount, kMaxEvents);
    EXPECT_TRUE(allCountersZero(ctx->log.kindCount));
    EXPECT_EQ(ctx->log.records[0].code, 0);
    EXPECT_FALSE(logEvent(*ctx, 1000));
    EXPECT_EQ(ctx->log.lastRunEvent.code, 0);

    // Closed by the reader while it takes the batch.
    ctx->log.pendingCount = 0;
    ASSERT_TRUE(logEvent(*ctx, 1020));
    EXPECT_EQ(closeForDrain(ctx->log), 1);
    EXPECT_FALSE(logEvent(*ctx, 1020));
    EXPECT_EQ(ctx->log.kindCount.total(K::SyncByte), 1);
    reopenAfterDrain(ctx->log);
    EXPECT_TRUE(logEvent(*ctx, 1020));
    EXPECT_EQ(ctx->log.kindCount.total(K::SyncByte), 2);
}

TEST(EventLog, FullBatchDropsFurtherEventsUncounted) {
    auto ctx = openContext();
    for (int i = 0; i < kMaxEvents; ++i)
        ASSERT_TRUE(logEvent(*ctx, 1040, 0x100));
    EXPECT_FALSE(logEvent(*ctx, 1042, 0x100));
    EXPECT_FALSE(logEvent(*ctx, 1040, 0x100));
    EXPECT_EQ(ctx->log.pendingCount, kMaxEvents);
    EXPECT_EQ(ctx->log.kindCount.at(K::Continuity, sub::kCcOrder), kMaxEvents);
    EXPECT_EQ(ctx->log.kindCount.at(K::Continuity, sub::kCcLoss), 0);
    EXPECT_EQ(closeForDrain(ctx->log), kMaxEvents);
}

TEST(EventLog, UnknownCodesAreRefused) {
    auto ctx = openContext();
    for (int code : {0, 999, 1006, 1009, 1011, 1151, 1222, -5}) {
        EXPECT_EQ(findEvent(code), nullptr) << code;
        EXPECT_FALSE(logEvent(*ctx, code)) << code;
    }
    EXPECT_EQ(ctx->log.pendingCount, 0);
}

struct CountCase {
    int code;
    K kind;
    std::vector<int> slots;
    int crcTable = -1;
};

TEST(EventLog, EachCodeBumpsItsCounters) {
    using namespace sub;
    const std::vector<CountCase> cases = {
        {1010, K::SyncLoss, {0}},
        {1030, K::Pat, {kPatInterval}},
        {1031, K::Pat, {kPatTableId}},
        {1032, K::Pat, {kPatScrambled}},
        {1040, K::Continuity, {kCcOrder}},
        {1041, K::Continuity, {kCcDuplicate}},
        {1042, K::Continuity, {kCcLoss}},
        {1080, K::Crc, {0}, static_cast<int>(CrcTable::Cat)},
        {1081, K::Crc, {0}, static_cast<int>(CrcTable::Pat)},
        {1082, K::Crc, {0}, static_cast<int>(CrcTable::Pmt)},
        {1084, K::Crc, {0}, static_cast<int>(CrcTable::Eit)},
        {1087, K::Crc, {0}, static_cast<int>(CrcTable::Tot)},
        {1101, K::Pts, {0}},
        {1122, K::NitActualInterval, {kTooShort}},
        {1140, K::Buffer, {kBufTotal, kBufTBn}},
        {1141, K::Buffer, {kBufTotal, kBufTBn}},
        {1142, K::Buffer, {kBufTotal, kBufTBsys}},
        {1144, K::Buffer, {kBufTotal, kBufMBn}},
        {1147, K::Buffer, {kBufTotal, kBufEBn}},
        {1149, K::Buffer, {kBufTotal, kBufBn}},
        {1150, K::Buffer, {kBufTotal, kBufBsys}},
        {1172, K::SdtActualInterval, {kTooShort}},
        {1183, K::EitActualInterval, {kEitTooShort}},
        {1185, K::EitOtherInterval, {kEitF}},
        {1191, K::Rst, {kRstTooShort}},
        {1201, K::Tdt, {kTdtTooLong}},
        {1211, K::EmptyBuffer, {kBufTotal, kBufTBn}},
        {1212, K::EmptyBuffer, {kBufTotal, kBufTBsys}},
        {1213, K::EmptyBuffer, {kBufTotal, kBufMBn}},
        {1220, K::DataDelay, {kDelayTotal, kDelayOverOneSecond}},
        {1221, K::DataDelay, {kDelayTotal, kDelayOverOneSecond}},
    };
    for (const auto& c : cases) {
        auto ctx = openContext();
        ASSERT_TRUE(logEvent(*ctx, c.code)) << c.code;
        KindCounters expected;
        for (int slot : c.slots)
            expected.at(c.kind, slot) = 1;
        if (c.crcTable >= 0) expected.crcByTable[c.crcTable] = 1;
        EXPECT_EQ(ctx->log.kindCount.counters, expected.counters) << c.code;
        EXPECT_EQ(ctx->log.kindCount.crcByTable, expected.crcByTable) << c.code;
        EXPECT_EQ(ctx->log.kindCount.total(c.kind), 1) << c.code;
        EXPECT_EQ(ctx->log.records[0].type(), kindInfo(c.kind).name) << c.code;
    }
}

TEST(EventLog, TotalsSumCausesButNotTotalsTwice) {
    auto ctx = openContext();
    for (int code : {1030, 1032, 1032, 1140, 1150, 1220, 1221, 1181, 1182, 1183}) {
        ASSERT_TRUE(logEvent(*ctx, code));
    }
    const KindCounters& c = ctx->log.kindCount;
    EXPECT_EQ(c.total(K::Pat), 3);
    EXPECT_EQ(c.total(K::Buffer), 2);
    EXPECT_EQ(c.total(K::DataDelay), 2);
    EXPECT_EQ(c.total(K::EitActualInterval), 3);
    EXPECT_EQ(c.total(K::EitPf), 0);
}

TEST(EventLog, CatalogueFitsKindsAndBuffers) {
    int errors = 0;
    for (const EventDef& d : eventCatalogue()) {
        if (d.eventClass != EventClass::Error) continue;
        ++errors;
        const int slots = kindInfo(d.kind).subCounters;
        EXPECT_LT(d.slot, slots) << d.code;
        EXPECT_LT(d.secondSlot, slots) << d.code;
        EXPECT_EQ(d.crcTable != kNoSlot, d.kind == K::Crc) << d.code;

        // The longest realistic arguments still leave the packet number in the text.
        auto ctx = openContext();
        ctx->packetCounter = std::numeric_limits<std::uint64_t>::max();
        ctx->programs.resize(1);
        ctx->programs[0].programNumber = 0xFFFF;
        ASSERT_TRUE(logEvent(*ctx, d.code, 0x1FFF, 0, 0xFF, -99999.9999));
        EXPECT_TRUE(ctx->log.records[0].detail().ends_with("第18446744073709551615包")) << d.code;
    }
    EXPECT_EQ(errors, 65);
    EXPECT_EQ(eventCatalogue().size(), 71u);
}

struct TextCase {
    int code;
    unsigned pid;
    int programIndex;
    unsigned tableId;
    double value;
    std::uint64_t packet;
    std::string detail;
};

TEST(EventLog, DetailTexts) {
    const std::vector<TextCase> cases = {
        {1090, 0x100, -1, 0, 40.2, 123, "PCR(PCR_PID=0x0100)出现间隔等于40.2000ms(>40ms) 第123包"},
        {1010, 0, -1, 0, 0, 0, "传送流同步丢失 第0包"},
        {1030, 0, -1, 0, 0.61234, 9, "PAT(table_id=0x00)出现间隔等于0.6123s(>0.5s) 第9包"},
        {1040, 0x1234A, -1, 0, 0, 5, "PID=0x234a的TS包顺序错误 第5包"},  // low 16 bits
        {1050, 0x1FFF, 1, 0, 0.75, 77,
         "PMT(节目0065,PMT_PID:0x1fff)出现间隔等于0.7500s(>0.5s) 第77包"},
        {1051, 0x20, 0, 0, 0, 1, "PMT_PID=0x0020(节目0001)的TS包加扰标志不等于00 第1包"},
        {1082, 0x30, 7, 0, 0, 2, "PMT(节目0000,PMT_PID:0x0030)发生CRC错误 第2包"},  // no program 7
        {1082, 0x30, -1, 0, 0, 2, "PMT(节目0000,PMT_PID:0x0030)发生CRC错误 第2包"},
        {1092, 0x44, -1, 0, -612.5, 3,
         "PCR(PCR_PID=0x0044)抖动等于-612.50ns(不在±500ns范围内) 第3包"},
        {1092, 0x44, -1, 0, 1.5, 3, "PCR(PCR_PID=0x0044)抖动等于1.50ns(不在±500ns范围内) 第3包"},
        {1101, 0xC1, 1, 0, 812.126, 4,
         "音频(PID=0x00c1,属于节目0065)PTS间隔等于812.13ms(>700ms) 第4包"},
        {1130, 0, -1, 0x4A, 12.25, 8, "SI表(table_id=0x4a)出现间隔等于12.2500s(超过限制) 第8包"},
        {1142, 0, -1, 0x100, 0, 7, "系统(PSI表table_id=0x00)传送缓冲器(TBsys)发生上溢 第7包"},
        {1221, 0xC0, 0, 0x55, 9.0, 4294967296ULL,
         "音频(PID=0x00c0,属于节目0001)数据延迟错误 第4294967296包"},
        {1201, 0, -1, 0, 31.25, 10, "TDT(table_id=70)出现间隔等于31.2500s(>30s) 第10包"},
    };
    for (const auto& c : cases) {
        auto ctx = openContext();
        ctx->programs.resize(2);
        ctx->programs[0].programNumber = 1;
        ctx->programs[1].programNumber = 0x65;
        ctx->packetCounter = c.packet;
        ASSERT_TRUE(logEvent(*ctx, c.code, c.pid, c.programIndex, c.tableId, c.value));
        EXPECT_EQ(ctx->log.records[0].code, c.code);
        EXPECT_EQ(ctx->log.records[0].detail(), c.detail) << c.code;
    }
}

// Scripts read an event's packet and PID as numbers: the packet is the counter its text quotes,
// the PID the one its text prints, or, for table events that print none, the table's PID.
TEST(EventLog, EventsCarryTheirPacketAndPid) {
    struct Case {
        int code;
        unsigned pidArgument;
        int pid;
    };
    const Case cases[] = {
        {1042, 0x0101, 0x0101},   // printed PID
        {1082, 0x0030, 0x0030},   // PMT CRC: the PMT PID it prints
        {1090, 0x1234A, 0x234A},  // low 16 bits, as the text prints
        {1031, 0x777, 0x0000},    // PAT table_id on PID 0: the argument is not used
        {1081, 0, 0x0000},        // PAT CRC
        {1080, 0, 0x0001},        // CAT CRC
        {1111, 0, 0x0001},       {1122, 0, 0x0010},  // NIT actual too short
        {1086, 0, 0x0011},                           // SDT CRC
        {1085, 0, 0x0011},                           // BAT CRC
        {1183, 0, 0x0012},                           // EIT p/f too short
        {1191, 0, 0x0013},                           // RST
        {1087, 0, 0x0014},                           // TOT CRC
        {1201, 0, 0x0014},                           // TDT too long
        {1010, 0x100, -1},                           // sync: no PID
        {1142, 0x100, -1},                           // system buffer: no single PID
        {1001, 0x100, -1},                           // run event
    };
    for (const Case& c : cases) {
        auto ctx = openContext();
        ctx->packetCounter = 4'294'967'301ULL;
        ASSERT_TRUE(logEvent(*ctx, c.code, c.pidArgument)) << c.code;
        EXPECT_EQ(ctx->log.records[0].packet, 4'294'967'301ULL) << c.code;
        EXPECT_EQ(ctx->log.records[0].pid, c.pid) << c.code;
    }
}

// Where a text names a fixed PID ("PID=0x0010的TS包..."), the catalogue's PID column says the same.
TEST(EventLog, CataloguePidColumnAgreesWithTheTexts) {
    for (const EventDef& d : eventCatalogue()) {
        const std::size_t at = d.message.find("PID=0x00");
        if (at == std::string_view::npos || d.message.substr(at + 6, 2) == "%0") continue;
        const int printed = std::stoi(std::string(d.message.substr(at + 6, 4)), nullptr, 16);
        EXPECT_EQ(d.tablePid, printed) << d.code;
        EXPECT_FALSE(d.quotesPid) << d.code;
    }
}

TEST(EventLog, OverlongDetailIsCutOnCharacterBoundary) {
    auto ctx = openContext();
    ASSERT_TRUE(logEvent(*ctx, 1091, 0x100, -1, 0, 1e300));
    const std::string_view detail = ctx->log.records[0].detail();
    EXPECT_TRUE(detail.starts_with("PCR(PCR_PID=0x0100)出现间隔等于1000000000"));
    EXPECT_LT(detail.size(), ctx->log.records[0].detailText.size());
    EXPECT_EQ(cutUtf8(detail, detail.size()), detail);
    EXPECT_TRUE(utf8ToCp936(detail).ok());
}

time_t fixedClock() {
    return 1700000000;
}  // 2023-11-14 22:13:20 UTC

class EventLogInUtc : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved_ = tz != nullptr ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::optional<std::string> saved_;
};

TEST_F(EventLogInUtc, RunEventsKeepTheLatestWithItsTime) {
    auto ctx = std::make_unique<AnalysisContext>();
    ctx->log.wallClock = fixedClock;
    beginRun(*ctx, kEventOfflineStart);
    ASSERT_EQ(ctx->log.pendingCount, 1);
    EXPECT_EQ(ctx->log.records[0].type(), "离线数据分析!");
    EXPECT_EQ(ctx->log.records[0].detail(), "");
    EXPECT_EQ(ctx->log.lastRunEvent.code, 1001);
    EXPECT_STREQ(ctx->log.lastRunEvent.text.data(), "离线数据分析!");
    EXPECT_STREQ(ctx->log.lastRunEvent.timeText.data(), "22:13:20 Nov,14");

    ASSERT_TRUE(logEvent(*ctx, kEventSaved));
    EXPECT_EQ(ctx->log.records[1].type(), "保存事件!");
    EXPECT_EQ(ctx->log.lastRunEvent.code, 1001);

    ctx->log.wallClock = [] { return time_t{1704067205}; };  // 2024-01-01 00:00:05
    ASSERT_TRUE(logEvent(*ctx, kEventRestart));
    EXPECT_EQ(ctx->log.lastRunEvent.code, 1004);
    EXPECT_STREQ(ctx->log.lastRunEvent.text.data(), "重新开始测试!");
    EXPECT_STREQ(ctx->log.lastRunEvent.timeText.data(), "00:00:05 Jan,01");
    EXPECT_TRUE(allCountersZero(ctx->log.kindCount));
}

TEST_F(EventLogInUtc, ReseedLeavesTheRunCauseAndTheSaveEvent) {
    auto ctx = std::make_unique<AnalysisContext>();
    ctx->log.wallClock = fixedClock;
    beginRun(*ctx, kEventInterrupted);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(logEvent(*ctx, 1070, 0x40));
    ASSERT_EQ(closeForDrain(ctx->log), 6);  // the page takes the batch and saves it

    ctx->packetCounter = 500;
    reseedAfterSave(*ctx);
    ASSERT_EQ(ctx->log.pendingCount, 2);
    EXPECT_EQ(ctx->log.records[0].code, 1002);
    EXPECT_EQ(ctx->log.records[0].packet, 0u);  // where the run event itself was logged
    EXPECT_EQ(ctx->log.records[0].pid, -1);
    EXPECT_EQ(ctx->log.records[1].packet, 500u);
    EXPECT_EQ(ctx->log.records[0].type(), "传送流中断事件发生!");
    EXPECT_EQ(ctx->log.records[0].detail(), "");
    EXPECT_EQ(ctx->log.records[1].code, 1005);
    EXPECT_EQ(ctx->log.records[1].type(), "保存事件!");
    EXPECT_EQ(ctx->log.records[1].detail(), "");
    EXPECT_EQ(ctx->log.lastRunEvent.code, 1002);
    EXPECT_EQ(ctx->log.kindCount.total(K::TransportError), 5);
}

// One writer logging while a reader drains with the 1000/0 hand-over. Every event the writer was
// told is recorded must reach the reader exactly once, in order and intact, and be counted once.
// The writer goes on until it has placed many batches' worth, so the two really interleave.
TEST(EventLog, ConcurrentDrainKeepsEveryRecordedEvent) {
    auto ctx = openContext();
    constexpr std::uint64_t kWanted = 100 * kMaxEvents;
    std::atomic<bool> writerDone{false};
    std::uint64_t accepted = 0;

    std::thread writer([&] {
        for (std::uint64_t i = 1; accepted < kWanted; ++i) {
            ctx->packetCounter = i;
            if (logEvent(*ctx, 1042, static_cast<unsigned>(i))) {
                ++accepted;
            } else {
                std::this_thread::yield();  // closed or full: let the reader take the batch
            }
        }
        writerDone = true;
    });

    std::uint64_t received = 0;
    std::uint64_t last = 0;
    int badRecords = 0;
    auto drain = [&] {
        const int n = closeForDrain(ctx->log);
        for (int i = 0; i < n; ++i) {
            const EventRecord& r = ctx->log.records[static_cast<std::size_t>(i)];
            const std::string_view d = r.detail();
            const auto at = d.rfind("第");
            const std::uint64_t packet =
                at == std::string_view::npos ? 0 : std::strtoull(d.data() + at + 3, nullptr, 10);
            if (r.code != 1042 || r.type() != "连续计数错误" || packet <= last) ++badRecords;
            last = packet;
        }
        received += static_cast<std::uint64_t>(n);
        reopenAfterDrain(ctx->log);
    };
    while (!writerDone) {
        drain();
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    writer.join();
    drain();

    EXPECT_EQ(badRecords, 0);
    EXPECT_EQ(received, accepted);
    EXPECT_EQ(static_cast<std::uint64_t>(ctx->log.kindCount.at(K::Continuity, sub::kCcLoss)),
              accepted);
}

}  // namespace
}  // namespace orv
