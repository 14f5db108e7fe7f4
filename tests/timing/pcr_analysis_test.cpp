// PCR analysis on hand-built PCR packets: interval events at the 40.1 ms limit, wrap, the rings,
// a PCR PID shared by two programs, the online jitter offset, the histogram bins, the local rate
// of low-rate streams and the PCR discontinuity check with its discontinuity_indicator.
#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

#include "engine/pcr_analysis.h"
#include "tests/timing/timing_packets.h"

namespace orv {
namespace {

using namespace timing_test;

constexpr int64_t kTicksPerMs = 27'000;

// Feeds one PCR packet as the packet at `counter`.
void feed(AnalysisContext& ctx, unsigned pid, int64_t pcr, uint64_t counter,
          std::span<const uint32_t> cardTimes = {}, bool discontinuity = false) {
    const Packet p = pcrPacket(pid, pcr, 0, discontinuity);
    ctx.packetCounter = counter;
    AnalysePcrPacket(ctx, p.data(), pid, 0, cardTimes);
}

std::vector<int> codes(const AnalysisContext& ctx) {
    std::vector<int> out;
    for (const LoggedEvent& e : errorEvents(ctx))
        out.push_back(e.code);
    return out;
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

TEST(PcrAnalysis, LowRateStreamIsTimedByItsOwnPcrs) {
    // A 0.5 Mbit/s program in an 8 Mbit/s time base: 10 packets (15 040 bits) per 30.08 ms. The
    // rate between the PCRs times the interval, however low it is.
    auto ctx = makeContext({ProgramSpec{}}, 8.0);
    const int64_t step = 812'160;  // 30.08 ms
    for (int i = 0; i < 5; ++i)
        feed(*ctx, 0x100, 1'000'000 + i * step, 1 + 10u * i);
    const PcrTrack& t = ctx->timing.pcrTracks[0];
    EXPECT_NEAR(t.currentIntervalMs, 30.08, 1e-9);
    EXPECT_LE(std::abs(t.largestJitterNs), 1);
    EXPECT_TRUE(errorEvents(*ctx).empty());
}

TEST(PcrAnalysis, PcrThatDidNotMoveIsTimedByTheStreamBitrate) {
    // The same PCR one packet later (a copy whose PCR was not restamped): the stream bitrate
    // times the packet, 188 x 8 bits at 8 Mbit/s = 0.188 ms, and the PCR is that far behind.
    auto ctx = makeContext({ProgramSpec{}}, 8.0);
    feed(*ctx, 0x100, 1'000'000, 1);
    feed(*ctx, 0x100, 1'000'000, 2);
    EXPECT_NEAR(ctx->timing.pcrTracks[0].currentIntervalMs, 0.188, 1e-9);
    const auto events = errorEvents(*ctx);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, 1092);
    EXPECT_EQ(events[0].detail, "PCR(PCR_PID=0x0100)抖动等于-188000.00ns(不在±500ns范围内) 第2包");
}

TEST(PcrAnalysis, DiscontinuityOfConsecutivePcrs) {
    // A first PCR at packet 1, the second 160 packets (30.08 ms at 8 Mbit/s) later `delta` ticks
    // on. Outside 0 ... 100 ms without discontinuity_indicator is a PCR discontinuity (1091).
    struct Case {
        const char* name;
        int64_t delta;
        bool indicator;
        std::vector<int> codes;
        const char* text;  // of the 1091 event
        int64_t first = 1'000'000;
    };
    const int64_t ms = kTicksPerMs;
    const std::vector<Case> cases = {
        {"30 ms", 30 * ms, false, {}, nullptr},
        {"exactly 100 ms", 100 * ms, false, {1090}, nullptr},
        {"1 us beyond 100 ms",
         100 * ms + 27,
         false,
         {1090, 1091},
         "PCR(PCR_PID=0x0100)出现间隔等于100.0010ms(不在0...100ms范围内) 第161包"},
        // Backwards: the stream bitrate times the interval (30.08 ms) and the PCR is 35.08 ms
        // behind the packet's time.
        {"5 ms back",
         -5 * ms,
         false,
         {1091, 1092},
         "PCR(PCR_PID=0x0100)出现间隔等于-5.0000ms(不在0...100ms范围内) 第161包"},
        {"10 s on, announced", 10'000 * ms, true, {}, nullptr},
        {"5 ms back, announced", -5 * ms, true, {}, nullptr},
        {"across the wrap", 30 * ms, false, {}, nullptr, kPcrModulus - 10 * ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto ctx = makeContext({ProgramSpec{}}, 8.0);
        const int64_t second = (c.first + c.delta) % kPcrModulus;
        feed(*ctx, 0x100, c.first, 1);
        feed(*ctx, 0x100, second, 161, {}, c.indicator);
        EXPECT_EQ(codes(*ctx), c.codes);
        for (const LoggedEvent& e : errorEvents(*ctx))
            if (e.code == 1091) {
                EXPECT_EQ(e.detail, c.text);
            }
        // The next PCR, 30 ms on, is measured against the second whatever came before.
        feed(*ctx, 0x100, (second + 30 * ms) % kPcrModulus, 321);
        EXPECT_EQ(codes(*ctx), c.codes);
        EXPECT_NEAR(ctx->timing.pcrTracks[0].currentIntervalMs, 30.0, 1e-9);
    }
}

TEST(PcrAnalysis, NewTimeBaseGivesNoMeasureAndIsMarkedInTheRing) {
    for (const bool inItsOwnPacket : {true, false}) {
        SCOPED_TRACE(inItsOwnPacket ? "indicator with the PCR" : "indicator one packet before");
        auto ctx = makeContext({ProgramSpec{}}, 8.0);
        for (int i = 0; i < 3; ++i)
            feed(*ctx, 0x100, 1'000'000 + i * 30 * kTicksPerMs, 1 + 160u * i);
        const PcrTrack& t = ctx->timing.pcrTracks[0];
        const uint64_t samples = t.jitterSamples;
        if (!inItsOwnPacket) {
            // discontinuity_indicator in an adaptation field without PCR
            Packet p = payloadPacket(0x100);
            p[3] = 0x30;
            p[4] = 1;
            p[5] = 0x80;
            ctx->packetCounter = 400;
            AnalysePcrPacket(*ctx, p.data(), 0x100, 0, {});
        }
        feed(*ctx, 0x100, 999'000'000, 401, {}, inItsOwnPacket);  // 36 s on
        EXPECT_TRUE(errorEvents(*ctx).empty());
        EXPECT_EQ(t.jitterSamples, samples);
        EXPECT_EQ(t.discontinuity[3], 1u);
        EXPECT_EQ(t.intervalMs[3], 0.0);
        EXPECT_NEAR(t.longestIntervalMs, 30.0, 1e-9);
        // The indicator is taken up by that PCR: the next one is measured again.
        feed(*ctx, 0x100, 999'000'000 + 30 * kTicksPerMs, 561);
        EXPECT_EQ(t.discontinuity[4], 0u);
        EXPECT_EQ(t.jitterSamples, samples + 1);
        EXPECT_NEAR(t.intervalMs[4], 30.0, 1e-9);
    }
}

TEST(PcrAnalysis, DiscontinuitySwitchGatesOnlyItsOwnEvent) {
    auto ctx = makeContext({ProgramSpec{}}, 8.0);
    ctx->monitorEnabled[kindIndex(Tr290ErrorKind::PcrDiscontinuity)] = 0;
    feed(*ctx, 0x100, 1'000'000, 1);
    feed(*ctx, 0x100, 1'000'000 + 150 * kTicksPerMs, 161);
    EXPECT_EQ(codes(*ctx), std::vector<int>{1090});
    EXPECT_EQ(ctx->log.kindCount.total(Tr290ErrorKind::PcrDiscontinuity), 0);
}

}  // namespace
}  // namespace orv
