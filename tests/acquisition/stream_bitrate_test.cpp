// The offline stream bitrate from the PCRs of the initialisation block: the mean over the block,
// spans of one time base only, the PCR PID that times it, and the extremes of its pairs.
#include "acquisition/stream_bitrate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "acquisition/offline_source.h"
#include "engine/analysis_context.h"
#include "engine/pcr_track.h"
#include "tests/timing/timing_packets.h"

namespace orv {
namespace {

using timing_test::Packet;

constexpr int64_t kMs = 27'000;  // PCR ticks
constexpr double kBitsPerPacket = 188 * 8;

// A block of packets built in order.
struct Block {
    std::vector<uint8_t> bytes;

    // Grown by resize and copy: GCC 12 at -O3 reports a bogus overflow for a range insert here.
    void add(const Packet& p) {
        const std::size_t at = bytes.size();
        bytes.resize(at + p.size());
        std::memcpy(bytes.data() + at, p.data(), p.size());
    }
    void pcr(unsigned pid, int64_t value, bool indicator = false) {
        add(timing_test::pcrPacket(pid, value % kPcrModulus, 0, indicator));
    }
    void nulls(int n) {
        for (int i = 0; i < n; ++i)
            add(timing_test::payloadPacket(0x1FFF, 0xFF));
    }
    // An adaptation field that only carries discontinuity_indicator.
    void indicatorOnly(unsigned pid) {
        Packet p = timing_test::payloadPacket(pid);
        p[3] = 0x30;
        p[4] = 1;
        p[5] = 0x80;
        add(p);
    }
};

BitrateMbps measure(const Block& b, std::vector<uint16_t> pcrPids = {0x100}) {
    AnalysisContext ctx;
    resetAll(ctx);
    ctx.programs.resize(pcrPids.size());
    for (std::size_t i = 0; i < pcrPids.size(); ++i) {
        ctx.programs[i].programNumber = static_cast<uint16_t>(i + 1);
        ctx.programs[i].pcrPid = pcrPids[i];
    }
    measureStreamBitrate(ctx, b.bytes.data(), b.bytes.size());
    return ctx.streamBitrate;
}

// Mbit/s of `packets` packets in `ms` milliseconds.
double rate(double packets, double ms) {
    return packets * kBitsPerPacket / (ms * 1000.0);
}

TEST(StreamBitrate, MeanOverTheBlockWithTheExtremesOfItsPairs) {
    // 100 packets in 10 ms, then 300 in 10 ms: the mean is 400 packets in 20 ms, not the rate
    // of the last pair.
    Block b;
    b.pcr(0x100, 1'000'000);
    b.nulls(99);
    b.pcr(0x100, 1'000'000 + 10 * kMs);
    b.nulls(299);
    b.pcr(0x100, 1'000'000 + 20 * kMs);
    const BitrateMbps r = measure(b);
    EXPECT_NEAR(r.current, rate(400, 20), 1e-9);  // 30.08
    EXPECT_NEAR(r.mean, rate(400, 20), 1e-9);
    EXPECT_NEAR(r.min, rate(100, 10), 1e-9);  // 15.04
    EXPECT_NEAR(r.max, rate(300, 10), 1e-9);  // 45.12
}

TEST(StreamBitrate, OnlySpansOfOneTimeBaseCount) {
    // Two good pairs of 100 packets in 10 ms around a third pair that does not time anything:
    // each case puts that pair last, where the rate of the last pair would be taken.
    struct Case {
        const char* name;
        int64_t first;  // the first PCR
        int64_t jump;   // of the third pair, in ticks
        enum { None, WithPcr, Before } indicator;
        double expected;
    };
    const Case cases[] = {
        {"wrap of the base in the last pair", kPcrModulus - 15 * kMs, 10 * kMs, Case::None,
         rate(300, 30)},
        {"new time base back", 1'000'000'000, -3000 * kMs, Case::WithPcr, rate(200, 20)},
        {"new time base on", 1'000'000, 5000 * kMs, Case::WithPcr, rate(200, 20)},
        {"new time base announced one packet before", 1'000'000, 5000 * kMs, Case::Before,
         rate(200, 20)},
        {"PCR went back without indicator", 1'000'000'000, -3000 * kMs, Case::None, rate(200, 20)},
        {"PCR jumped on without indicator", 1'000'000, 5000 * kMs, Case::None, rate(200, 20)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Block b;
        b.pcr(0x100, c.first);
        b.nulls(99);
        b.pcr(0x100, c.first + 10 * kMs);
        b.nulls(99);
        const int64_t third = c.first + 10 * kMs + c.jump;
        b.pcr(0x100, third);
        b.nulls(c.indicator == Case::Before ? 98 : 99);
        if (c.indicator == Case::Before) b.indicatorOnly(0x100);
        b.pcr(0x100, third + 10 * kMs, c.indicator == Case::WithPcr);
        const BitrateMbps r = measure(b);
        EXPECT_NEAR(r.current, c.expected, 1e-9);
        EXPECT_NEAR(r.max, rate(100, 10), 1e-9);
        EXPECT_NEAR(r.min, rate(100, 10), 1e-9);
    }
}

TEST(StreamBitrate, TheLongestMeasuredSpanOfSeveralPcrPidsTimesTheStream) {
    // Program 1 (PID 0x100) spans 100 packets in 10 ms, program 2 (PID 0x200) 300 in 20 ms.
    Block b;
    b.pcr(0x200, 5'000'000);
    b.pcr(0x100, 1'000'000);
    b.nulls(99);
    b.pcr(0x100, 1'000'000 + 10 * kMs);
    b.nulls(198);
    b.pcr(0x200, 5'000'000 + 20 * kMs);
    const BitrateMbps r = measure(b, {0x100, 0x200});
    EXPECT_NEAR(r.current, rate(300, 20), 1e-9);  // 22.56
    EXPECT_NEAR(r.min, rate(100, 10), 1e-9);
    EXPECT_NEAR(r.max, rate(300, 20), 1e-9);
}

TEST(StreamBitrate, SparseOrSlowPcrsStillTimeTheStream) {
    {
        // PCRs 150 ms apart: no pair within 100 ms, so every forward pair counts.
        Block b;
        for (int i = 0; i < 3; ++i) {
            b.pcr(0x100, 1'000'000 + i * 150 * kMs);
            b.nulls(499);
        }
        EXPECT_NEAR(measure(b).current, rate(1000, 300), 1e-9);  // 5.013
    }
    {
        // A 0.5 Mbit/s stream is timed; rates below 1 Mbit/s leave the extremes alone.
        Block b;
        for (int i = 0; i < 4; ++i) {
            b.pcr(0x100, 1'000'000 + i * 812'160);  // 30.08 ms
            b.nulls(9);
        }
        const BitrateMbps r = measure(b);
        EXPECT_NEAR(r.current, 0.5, 1e-9);
        EXPECT_EQ(r.max, 0.0);
        EXPECT_EQ(r.min, 0.0);
    }
    {
        // One PCR, or PCRs on a PID no program names, time nothing.
        Block b;
        b.pcr(0x100, 1'000'000);
        b.nulls(99);
        b.pcr(0x300, 1'000'000);
        b.pcr(0x300, 2'000'000);
        EXPECT_EQ(measure(b).current, 0.0);
    }
}

TEST(StreamBitrate, VariableRateCaptureIsTimedByItsMean) {
    const std::filesystem::path file =
        std::filesystem::path(ORV_STREAMS_DIR) / "cap-h264-mp2-sdt.ts";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "real captures not found";
    AnalysisContext ctx;
    ctx.monitorEnabled.fill(1);
    const OfflineResult r = analyseFile(ctx, file.string());
    ASSERT_EQ(r.status, OfflineStatus::Completed);
    // The packets between the first and the last PCR of PID 0x0100 over their PCR time; the
    // last pair of the block alone says 1.399 Mbit/s.
    EXPECT_NEAR(ctx.streamBitrate.current, 1.643, 0.0005);
    EXPECT_NEAR(ctx.streamBitrate.mean, 1.643, 0.0005);
}

}  // namespace
}  // namespace orv
