// The packet-level checks as the block driver runs them: continuity arithmetic, header flags,
// unreferenced and null PIDs, sync handling inside a block, and the component rate window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/packet_checks.h"
#include "tests/engine/test_packets.h"

namespace orv {
namespace {

using test::Pkt;

constexpr unsigned kVideo = 0x100, kAudio = 0x101, kPmt = 0x1000, kCaPid = 0x1F0, kOther = 0x105;

// A context after the initialisation phase with one program: video 0x100 (also the PCR PID),
// audio 0x101, a private-data PID 0x105 and an ECM PID 0x1F0.
std::unique_ptr<AnalysisContext> runningContext() {
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    ctx->programs.resize(1);
    ProgramEntry& p = ctx->programs[0];
    p.pmtReceived = true;
    p.programNumber = 1;
    p.pmtPid = kPmt;
    p.pcrPid = kVideo;
    p.video.present = true;
    p.video.streamType = 2;
    p.video.pid = kVideo;
    p.audioCount = 1;
    p.audio[0].streamType = 3;
    p.audio[0].pid = kAudio;
    p.other[0x06 - 5].count = 1;
    p.other[0x06 - 5].pids[0].pid = kOther;
    p.caCount = 1;
    p.ca[0].caSystemId = 0x0B00;
    p.ca[0].caPid.pid = kCaPid;
    ctx->pmtFoundCount = 1;
    ctx->pat.patFound = true;
    ctx->initDone = true;
    ctx->streamBitrate.current = 8.0;
    beginRun(*ctx, kEventOfflineStart);
    return ctx;
}

// Codes logged after the run event.
std::vector<int> codes(const AnalysisContext& ctx) {
    std::vector<int> out;
    for (int i = 1; i < ctx.log.pendingCount.load(); ++i)
        out.push_back(ctx.log.records[i].code);
    return out;
}

std::vector<int> analyse(AnalysisContext& ctx, const std::vector<uint8_t>& block) {
    analyseBlock(ctx, block.data(), block.size());
    return codes(ctx);
}

struct CcCase {
    const char* name;
    std::vector<Pkt> packets;
    std::vector<int> expected;
};

TEST(Continuity, DifferenceAndVerdict) {
    auto v = [](unsigned cc, unsigned afc = 1) { return Pkt{.pid = kVideo, .cc = cc, .afc = afc}; };
    // discontinuity_indicator set in an adaptation field (with payload unless afc says 2)
    auto disc = [](unsigned cc, unsigned afc = 3) {
        return Pkt{.pid = kVideo, .cc = cc, .afc = afc, .discontinuity = true};
    };
    const std::vector<CcCase> cases = {
        {"first packet of a PID is only a baseline", {v(9)}, {}},
        {"in order", {v(3), v(4), v(5)}, {}},
        {"a packet sent twice is legal", {v(5), v(5), v(6)}, {}},
        {"the third arrival in a row is a duplicate", {v(5), v(5), v(5), v(6)}, {1041}},
        {"and each further one", {v(5), v(5), v(5), v(5)}, {1041, 1041}},
        {"two legal repeats in a row of counters", {v(5), v(5), v(6), v(6), v(7)}, {}},
        {"repeat across the wrap", {v(15), v(15), v(0), v(0)}, {}},
        {"one missing is a loss", {v(5), v(7)}, {1042}},
        {"14 then 1 is a loss modulo 16", {v(14), v(1)}, {1042}},
        {"wrap 15 to 0 is in order", {v(15), v(0)}, {}},
        {"one back is an order error", {v(6), v(5)}, {1040}},
        {"two back is an order error", {v(6), v(4)}, {1040}},
        {"two back across the wrap", {v(0), v(14)}, {1040}},
        {"three back is a loss of thirteen", {v(6), v(3)}, {1042}},
        {"adaptation-only packet between 3 and 4", {v(3), v(9, 2), v(4)}, {}},
        {"adaptation-only packet between 3 and 5", {v(3), v(4, 2), v(5)}, {1042}},
        {"adaptation plus payload is tested", {v(3), v(5, 3)}, {1042}},
        {"discontinuity_indicator: no test", {v(3), disc(9)}, {}},
        {"and a new baseline", {v(3), disc(9), v(10), v(12)}, {1042}},
        {"also on an adaptation-only packet", {v(3), disc(9, 2), v(10)}, {}},
        {"a repeat after it is the first repeat", {v(3), disc(9), v(9), v(9)}, {1041}},
    };
    for (const CcCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto ctx = runningContext();
        std::vector<uint8_t> block;
        for (const Pkt& p : c.packets)
            test::appendPacket(block, p);
        EXPECT_EQ(analyse(*ctx, block), c.expected);
        // The video component's own count follows the same verdict.
        const int errors = static_cast<int>(c.expected.size());
        EXPECT_EQ(ctx->programs[0].video.ccErrors, errors);
        EXPECT_EQ(ctx->log.kindCount.total(Tr290ErrorKind::Continuity), errors);
    }
}

TEST(Continuity, EveryTrackedRecordIsTested) {
    for (unsigned pid : {kAudio, kPmt, kOther, kCaPid, 0x0000u, 0x0001u}) {
        SCOPED_TRACE(pid);
        auto ctx = runningContext();
        ctx->cat.catPresent = true;
        auto block = test::packets(
            {{.pid = pid, .cc = 1, .afc = 2}, {.pid = pid, .cc = 2}, {.pid = pid, .cc = 4}});
        EXPECT_EQ(analyse(*ctx, block), std::vector<int>{1042});
        char expected[64];
        std::snprintf(expected, sizeof expected, "PID=0x%04x的TS包出现丢包 第3包", pid);
        EXPECT_EQ(ctx->log.records[1].detail(), expected);
    }
}

TEST(Continuity, SiPidsOnlyRenewTheirBaselineBeforeTheFirstTable) {
    auto ctx = runningContext();
    auto block =
        test::packets({{.pid = 0x11, .cc = 0}, {.pid = 0x11, .cc = 7}, {.pid = 0x11, .cc = 3}});
    EXPECT_TRUE(analyse(*ctx, block).empty());
    ctx->si[1].firstTableAccepted = true;
    block = test::packets({{.pid = 0x11, .cc = 4}, {.pid = 0x11, .cc = 6}});
    EXPECT_EQ(analyse(*ctx, block), std::vector<int>{1042});
}

TEST(Continuity, CapsOnSubCountersAndTheirSum) {
    auto ctx = runningContext();
    ctx->log.kindCount.at(Tr290ErrorKind::Continuity, sub::kCcLoss) = kEventCap;
    auto block = test::packets({{.pid = kVideo, .cc = 1},
                                {.pid = kVideo, .cc = 3},
                                {.pid = kVideo, .cc = 3},
                                {.pid = kVideo, .cc = 3}});
    EXPECT_EQ(analyse(*ctx, block), std::vector<int>{1041});  // loss capped, duplicate still logged

    ctx = runningContext();
    ctx->log.kindCount.at(Tr290ErrorKind::Continuity, sub::kCcOrder) = 600;
    ctx->log.kindCount.at(Tr290ErrorKind::Continuity, sub::kCcLoss) = 401;  // sum above 1000
    block = test::packets({{.pid = kVideo, .cc = 1}, {.pid = kVideo, .cc = 3}});
    EXPECT_TRUE(analyse(*ctx, block).empty());
    EXPECT_EQ(ctx->programs[0].video.ccErrors, 1);  // the component's own count is not capped
}

TEST(HeaderChecks, FlagsPidsAndSwitches) {
    struct Case {
        const char* name;
        std::vector<Pkt> packets;
        bool catPresent;
        std::vector<int> expected;
    };
    const std::vector<Case> cases = {
        {"transport error indicator", {{.pid = kAudio, .tei = true}}, false, {1070}},
        {"scrambled before any CAT", {{.pid = kAudio, .scrambling = 2}}, false, {1110}},
        {"scrambled after a good CAT", {{.pid = kAudio, .scrambling = 2}}, true, {}},
        {"scrambled PAT packet", {{.pid = 0, .scrambling = 1}}, true, {1032}},
        {"scrambled PMT packet", {{.pid = kPmt, .scrambling = 3}}, true, {1051}},
        {"null packets are only counted",
         {{.pid = 0x1FFF, .cc = 3}, {.pid = 0x1FFF, .cc = 3}},
         false,
         {}},
        {"a PID nothing claims", {{.pid = 0x777}}, false, {1160}},
        // The reserved and DVB SI range is never unreferenced (a SIT on 0x001F, a DIT on 0x001E).
        {"reserved PID 0x0002", {{.pid = 0x0002}}, false, {}},
        {"SIT PID 0x001F", {{.pid = 0x001F}}, false, {}},
        {"first PID above the reserved range", {{.pid = 0x0020}}, false, {1160}},
        {"an ECM PID is not unreferenced", {{.pid = kCaPid}}, false, {}},
        {"an unreferenced packet with TEI is not tracked",
         {{.pid = 0x777, .tei = true}},
         false,
         {1070}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto ctx = runningContext();
        ctx->cat.catPresent = c.catPresent;
        std::vector<uint8_t> block;
        for (const Pkt& p : c.packets)
            test::appendPacket(block, p);
        EXPECT_EQ(analyse(*ctx, block), c.expected);
    }
}

TEST(HeaderChecks, TextsCarryPidAndPacketsExaminedBefore) {
    auto ctx = runningContext();
    auto block = test::packets({{.pid = kAudio}, {.pid = 0x0ABC, .tei = true}});
    analyse(*ctx, block);
    ASSERT_GE(ctx->log.pendingCount.load(), 2);
    EXPECT_EQ(ctx->log.records[1].type(), "传送流传送错误");
    EXPECT_EQ(ctx->log.records[1].detail(), "PID0x0abc的TS包传送错误标志位等于'1' 第1包");
    EXPECT_EQ(ctx->packetCounter, 2u);
}

TEST(HeaderChecks, SwitchOffLogsNothing) {
    auto ctx = runningContext();
    ctx->monitorEnabled[kindIndex(Tr290ErrorKind::TransportError)] = 0;
    auto block = test::packets({{.pid = kAudio, .tei = true}});
    EXPECT_TRUE(analyse(*ctx, block).empty());
}

TEST(HeaderChecks, ClosedLogNeitherAppendsNorCounts) {
    auto ctx = runningContext();
    resetGeneral(*ctx);  // closes the log
    ctx->programs.resize(1);
    ctx->initDone = true;
    auto block = test::packets({{.pid = kAudio, .tei = true}, {.pid = 0x777}});
    analyseBlock(*ctx, block.data(), block.size());
    EXPECT_EQ(ctx->log.pendingCount.load(), kMaxEvents);
    EXPECT_EQ(ctx->log.kindCount.total(Tr290ErrorKind::TransportError), 0);
    EXPECT_EQ(ctx->packetCounter, 2u);
}

TEST(UnreferencedPids, ReservedPidsAreTrackedForContinuityOnly) {
    auto ctx = runningContext();
    auto block = test::packets({{.pid = 0x1F, .cc = 1},
                                {.pid = 0x1E, .cc = 7},
                                {.pid = 0x1F, .cc = 2},
                                {.pid = 0x1F, .cc = 4},
                                {.pid = 0x1E, .cc = 8}});
    EXPECT_EQ(analyse(*ctx, block), std::vector<int>{1042});
    EXPECT_EQ(ctx->log.records[1].detail(), "PID=0x001f的TS包出现丢包 第4包");
    EXPECT_EQ(ctx->unreferencedCount, 0);
    EXPECT_EQ(ctx->reservedPids[0x1F].packetCount, 3u);
    EXPECT_EQ(ctx->reservedPids[0x1E].packetCount, 2u);
}

TEST(UnreferencedPids, TableHoldsAHundredButEveryPacketIsReported) {
    auto ctx = runningContext();
    std::vector<uint8_t> block;
    for (unsigned i = 0; i < 101; ++i)
        test::appendPacket(block, {.pid = 0x800 + i});
    analyse(*ctx, block);
    EXPECT_EQ(ctx->unreferencedCount, kMaxUnreferencedPids);
    EXPECT_EQ(ctx->log.kindCount.total(Tr290ErrorKind::UnreferencedPid), 101);

    // A tracked unreferenced PID gets the continuity test too; the 101st does not.
    block = test::packets({{.pid = 0x800, .cc = 2}, {.pid = 0x800 + 100, .cc = 9}});
    analyse(*ctx, block);
    EXPECT_EQ(ctx->log.kindCount.at(Tr290ErrorKind::Continuity, sub::kCcLoss), 1);
}

// A damaged sync byte (the bytes one and two packets on are sync bytes) costs only its packet:
// it is neither counted nor analysed, and the walk goes on with the next one.
TEST(SyncInBlock, DamagedSyncByteSkipsOnlyItsPacket) {
    struct Case {
        const char* name;
        unsigned damagedPid;
        std::vector<int> expected;
        std::vector<std::string> details;
    };
    const Case cases[] = {
        {"a null packet", 0x1FFF, {1020}, {"传送流同步字节不等于0x47 第10包"}},
        // Its PID has lost that packet.
        {"a video packet",
         kVideo,
         {1020, 1042},
         {"传送流同步字节不等于0x47 第10包", "PID=0x0100的TS包出现丢包 第11包"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto ctx = runningContext();
        std::vector<uint8_t> block;
        unsigned cc = 0;
        for (unsigned i = 0; i < 400; ++i) {
            const unsigned pid = i == 10 ? c.damagedPid : kVideo;
            test::appendPacket(block, {.pid = pid,
                                       .cc = pid == kVideo ? cc++ & 15 : 0,
                                       .sync = uint8_t(i == 10 ? 0x07 : 0x47)});
        }
        EXPECT_EQ(analyseBlock(*ctx, block.data(), block.size()), 0u);
        EXPECT_EQ(ctx->packetCounter, 399u);
        EXPECT_EQ(codes(*ctx), c.expected);
        for (std::size_t i = 0; i < c.details.size(); ++i)
            EXPECT_EQ(ctx->log.records[1 + i].detail(), c.details[i]);
        EXPECT_EQ(ctx->programs[0].video.cc.packetCount, 399u);
    }
}

TEST(SyncInBlock, LostSyncIsRegainedOrTheBlockDropped) {
    auto ctx = runningContext();
    std::vector<uint8_t> block(30, 0x00);
    for (unsigned i = 0; i < 5; ++i)
        test::appendPacket(block, {.pid = kVideo, .cc = i});
    EXPECT_EQ(analyseBlock(*ctx, block.data(), block.size()), 0u);
    EXPECT_EQ(codes(*ctx), std::vector<int>{1010});
    EXPECT_EQ(ctx->packetCounter, 5u);

    std::vector<uint8_t> garbage(188 * 10, 0x11);
    analyse(*ctx, garbage);
    EXPECT_EQ(codes(*ctx), (std::vector<int>{1010, 1010}));
    EXPECT_EQ(ctx->packetCounter, 5u);
}

TEST(SyncInBlock, TrailingBytesAreReportedAnd204ByteTailsNeverExamined) {
    auto ctx = runningContext();
    auto block = test::packets({{.pid = kVideo, .cc = 0}, {.pid = kVideo, .cc = 1}});
    block.resize(block.size() + 77, 0x47);
    EXPECT_EQ(analyseBlock(*ctx, block.data(), block.size()), 77u);

    auto ctx204 = runningContext();
    ctx204->packetLength = 204;
    auto b204 = test::packets({{.pid = kVideo, .cc = 0}, {.pid = kVideo, .cc = 1}}, 204);
    for (int i = 0; i < 2; ++i)
        std::fill_n(b204.begin() + i * 204 + 188, 16, 0x47);
    EXPECT_EQ(analyseBlock(*ctx204, b204.data(), b204.size()), 0u);
    EXPECT_EQ(ctx204->packetCounter, 2u);
    EXPECT_TRUE(codes(*ctx204).empty());
}

TEST(ComponentRates, UpdatedAtTheStartOfEvery2001stPacket) {
    auto ctx = runningContext();
    std::vector<uint8_t> block;
    // 2000 packets: 500 video, 250 audio, the rest null.
    for (unsigned i = 0; i < 2000; ++i) {
        const unsigned pid = i % 4 == 0 ? kVideo : (i % 8 == 1 ? kAudio : 0x1FFF);
        const unsigned cc = pid == kVideo ? (i / 4) & 15 : (i / 8) & 15;
        test::appendPacket(block, {.pid = pid, .cc = cc});
    }
    analyse(*ctx, block);
    EXPECT_EQ(ctx->programs[0].video.rate.maxRate, 0.f);  // not yet updated
    auto one = test::packets({{.pid = 0x1FFF}});
    analyse(*ctx, one);
    const RateTrack& v = ctx->programs[0].video.rate;
    EXPECT_FLOAT_EQ(v.rate, 2.0f);  // 500 / 2000 x 8 Mbit/s
    EXPECT_FLOAT_EQ(v.maxRate, 2.0f);
    EXPECT_FLOAT_EQ(v.minRate, 2.0f);
    EXPECT_FLOAT_EQ(ctx->programs[0].audio[0].rate.rate, 1.0f);
    EXPECT_EQ(ctx->rateWindowCount, 1);
    EXPECT_TRUE(codes(*ctx).empty());
}

TEST(ComponentRates, SilentAudioWindowNeverBecomesTheMinimum) {
    AnalysisContext ctx;
    ctx.streamBitrate.current = 10.0;
    ctx.programs.resize(1);
    ProgramEntry& p = ctx.programs[0];
    p.pmtReceived = true;
    p.video.present = true;
    p.audioCount = 1;
    p.video.cc.packetCount = 400;
    p.audio[0].cc.packetCount = 200;
    updateComponentRates(ctx);
    updateComponentRates(ctx);  // nothing arrived in this window
    EXPECT_FLOAT_EQ(p.video.rate.minRate, 0.f);
    EXPECT_FLOAT_EQ(p.video.rate.maxRate, 2.f);
    EXPECT_FLOAT_EQ(p.audio[0].rate.minRate, 1.f);
    EXPECT_FLOAT_EQ(p.audio[0].rate.rate, 0.f);
}

TEST(VideoStats, PayloadBytesOfUnscrambledPackets) {
    VideoComponent v;
    auto block = test::packets({{.afc = 1}, {.afc = 3}, {.afc = 1, .scrambling = 2}});
    for (int i = 0; i < 3; ++i)
        updateVideoPacketStats(v, block.data() + i * 188);
    EXPECT_TRUE(v.scrambled);
    EXPECT_EQ(v.unscrambledPackets, 2u);
    EXPECT_EQ(v.payloadBytes, 184u + 182u);
}

}  // namespace
}  // namespace orv
