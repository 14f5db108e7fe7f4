// PCR analysis on hand-built PCR packets: interval events at the 40.1 ms limit, wrap, the rings,
// a PCR PID shared by two programs, the online jitter offset and the histogram bins.
#include <gtest/gtest.h>

#include <cmath>
#include <span>

#include "engine/pcr_analysis.h"
#include "tests/timing/timing_packets.h"

namespace orv {
namespace {

using namespace timing_test;

constexpr int64_t kTicksPerMs = 27'000;

// Feeds one PCR packet as the packet at `counter`.
void feed(AnalysisContext& ctx, unsigned pid, int64_t pcr, uint64_t counter,
          std::span<const uint32_t> cardTimes = {}) {
    const Packet p = pcrPacket(pid, pcr);
    ctx.packetCounter = counter;
    AnalysePcrPacket(ctx, p.data(), pid, 0, cardTimes);
}

TEST(PcrAnalysis, IntervalLimitIs40Point1Ms) {
    struct Case {
        double ms;
        bool event;
    };
    for (const Case c : {Case{40.0, false}, Case{40.1, false}, Case{40.2, true}}) {
        // Whatever the packet span (at a rate of at least 1 Mbit/s), the offline interval follows
        // the PCR spacing.
        for (uint64_t span : {30u, 57u, 213u, 214u, 1000u, 4099u}) {
            SCOPED_TRACE(testing::Message() << c.ms << " ms over " << span << " packets");
            auto ctx = makeContext({ProgramSpec{}});
            const int64_t start = 5'000'000;
            feed(*ctx, 0x100, start, 10);
            feed(*ctx, 0x100, start + std::llround(c.ms * kTicksPerMs), 10 + span);
            const auto events = errorEvents(*ctx);
            ASSERT_EQ(events.size(), c.event ? 1u : 0u);
            if (c.event) {
                EXPECT_EQ(events[0].code, 1090);
                EXPECT_NE(events[0].detail.find("PCR(PCR_PID=0x0100)出现间隔等于40.2000ms(>40ms)"),
                          std::string::npos)
                    << events[0].detail;
            }
        }
    }
}

TEST(PcrAnalysis, WrappedPcrGivesTheTrueInterval) {
    auto ctx = makeContext({ProgramSpec{}});
    feed(*ctx, 0x100, kPcrModulus - 10 * kTicksPerMs, 1);
    feed(*ctx, 0x100, 20 * kTicksPerMs, 161);  // 30 ms later, past the wrap
    const PcrTrack& t = ctx->timing.pcrTracks[0];
    EXPECT_NEAR(t.currentIntervalMs, 30.0, 1e-6);
    EXPECT_EQ(t.intervalHistogram[5], 1u);  // 25 < I <= 30
    EXPECT_LE(std::abs(t.currentJitterNs), 1);
    EXPECT_TRUE(errorEvents(*ctx).empty());
}

TEST(PcrAnalysis, RingsWrapAfter300Pcrs) {
    auto ctx = makeContext({ProgramSpec{}});
    for (int i = 0; i < 301; ++i)
        feed(*ctx, 0x100, 1'000'000 + int64_t{i} * 30 * kTicksPerMs, 1 + 160u * i);
    const PcrTrack& t = ctx->timing.pcrTracks[0];
    EXPECT_EQ(t.ringIndex, 1);
    EXPECT_EQ(t.pcr[0], 1'000'000 + int64_t{300} * 30 * kTicksPerMs);
    EXPECT_EQ(t.position[0], 1 + 160u * 300);
    EXPECT_NEAR(t.intervalMs[0], 30.0, 1e-6);  // against slot 299, not an empty slot
    EXPECT_EQ(t.latestSlot(), 0);
    EXPECT_EQ(t.jitterSamples, 300u);
    EXPECT_EQ(t.intervalHistogram[5], 300u);
    EXPECT_EQ(t.hasData, 1);
}

TEST(PcrAnalysis, SharedPcrPidCountsEachPacketOnceAndFeedsBothPrograms) {
    ProgramSpec a, b;
    b.programNumber = 2;
    b.videoPid = 0x200;
    b.audioPids = {0x201};
    b.pcrPid = 0x100;  // program 2 takes its clock from program 1's video PID
    ProgramSpec noComponents{3, 0x100, 0, {}};  // a program without components is skipped
    auto ctx = makeContext({a, b, noComponents});
    uint64_t counter = 0;
    for (int i = 0; i < 20; ++i) {
        feed(*ctx, 0x100, 1'000'000 + int64_t{i} * 30 * kTicksPerMs, ++counter);
        const Packet plain = payloadPacket(0x100);  // a packet of the PID without PCR
        ctx->packetCounter = ++counter;
        AnalysePcrPacket(*ctx, plain.data(), 0x100, 0, {});
    }
    const auto& tracks = ctx->timing.pcrTracks;
    EXPECT_EQ(tracks[0].packets, 40u);
    EXPECT_EQ(tracks[1].packets + tracks[0].packets, 40u);
    EXPECT_EQ(tracks[0].jitterSamples, 19u);
    EXPECT_EQ(tracks[1].jitterSamples, 19u);
    EXPECT_EQ(tracks[1].ringIndex, 20);
    EXPECT_EQ(tracks[2].ringIndex, 0);
    EXPECT_EQ(tracks[2].hasData, 0);
}

// Card time value of a 40-packet group that makes the card rate give `intervalMs` for `bits`.
uint32_t cardTimeFor(double bits, double intervalMs) {
    const double mbps = bits / (intervalMs * 1000.0);
    return static_cast<uint32_t>(std::llround(188 * 3200.0 / (mbps * 1e6) * 27'000'000.0));
}

TEST(PcrAnalysis, OnlineJitterOffsetHoldsEventsBackUntilItIsFixed) {
    auto ctx = makeContext({ProgramSpec{}});
    ctx->analysisMode = AnalysisMode::Online;
    const uint64_t span = 200;
    const double bits = span * 188 * 8.0;
    // The card says each 40 ms PCR step took 40 ms -/+ 2 us: jitters of about +/-2000 ns.
    const std::array<uint32_t, 1> early{cardTimeFor(bits, 40.0 - 0.002)};
    const std::array<uint32_t, 1> late{cardTimeFor(bits, 40.0 + 0.002)};
    int firstEventAt = 0;
    for (int n = 1; n <= 110; ++n) {
        feed(*ctx, 0x100, 1'000'000 + int64_t{n} * 40 * kTicksPerMs, span * n,
             n % 2 ? std::span<const uint32_t>(early) : std::span<const uint32_t>(late));
        if (firstEventAt == 0 && countCode(*ctx, 1092) > 0) firstEventAt = n;
    }
    const PcrTrack& t = ctx->timing.pcrTracks[0];
    EXPECT_EQ(firstEventAt, 102);
    EXPECT_EQ(t.offsetReady, 1);
    EXPECT_LT(std::abs(t.jitterOffsetNs), 100);
    EXPECT_EQ(t.jitterSamples, 109u);
    EXPECT_GT(std::abs(t.largestJitterNs), 1500);
}

TEST(PcrAnalysis, OfflineMarksTheOffsetReadyAtTheSecondPcr) {
    auto ctx = makeContext({ProgramSpec{}});
    feed(*ctx, 0x100, 1'000'000, 1);
    EXPECT_EQ(ctx->timing.pcrTracks[0].offsetReady, 0);
    feed(*ctx, 0x100, 1'000'000 + 30 * kTicksPerMs, 100);
    EXPECT_EQ(ctx->timing.pcrTracks[0].offsetReady, 1);
    EXPECT_EQ(ctx->timing.pcrTracks[0].jitterOffsetNs, 0);
}

TEST(PcrAnalysis, HistogramBins) {
    struct IntervalCase {
        double ms;
        int bin;
    };
    for (const IntervalCase c : {IntervalCase{0.0, -1},
                                 {-3.0, -1},
                                 {0.001, 0},
                                 {5.0, 0},
                                 {5.0001, 1},
                                 {40.0, 7},
                                 {40.1, 8},
                                 {50.0, 8},
                                 {100.0, 13},
                                 {100.01, 14},
                                 {1e9, 14}})
        EXPECT_EQ(pcrIntervalBin(c.ms), c.bin) << c.ms;
    struct JitterCase {
        int32_t ns;
        int bin;
    };
    for (const JitterCase c : {JitterCase{INT32_MIN, 0},
                               {-1550, 0},
                               {-1549, 1},
                               {-50, 10},
                               {-49, 11},
                               {0, 11},
                               {50, 11},
                               {51, 12},
                               {550, 16},
                               {551, 17},
                               {1550, 21},
                               {1551, 22},
                               {INT32_MAX, 22}})
        EXPECT_EQ(pcrJitterBin(c.ns), c.bin) << c.ns;
}

TEST(PcrAnalysis, PacketsWithoutAPcrOnlyCount) {
    auto ctx = makeContext({ProgramSpec{}});
    Packet p = pcrPacket(0x100, 1'000'000, 5);
    p[4] = 6;  // too short to hold a PCR
    ctx->packetCounter = 1;
    AnalysePcrPacket(*ctx, p.data(), 0x100, 0, {});
    const PcrTrack& t = ctx->timing.pcrTracks[0];
    EXPECT_EQ(t.packets, 1u);
    EXPECT_EQ(t.lastCc, 5u);
    EXPECT_EQ(t.ringIndex, 0);
    EXPECT_EQ(t.hasData, 0);
}

TEST(PcrAnalysis, HugeGapSaturatesTheJitterInsteadOfOverflowing) {
    auto ctx = makeContext({ProgramSpec{}});
    ctx->analysisMode = AnalysisMode::Online;
    const std::array<uint32_t, 1> card{1};  // a nonsense card time: an enormous rate
    feed(*ctx, 0x100, 1'000'000, 1);
    feed(*ctx, 0x100, 1'000'000 + 3600 * 1000 * kTicksPerMs, 2, card);
    EXPECT_EQ(ctx->timing.pcrTracks[0].currentJitterNs, INT32_MAX);
}

}  // namespace
}  // namespace orv
