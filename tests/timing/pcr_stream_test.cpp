// PCR discontinuities in whole tsgen streams through the block driver: a new time base announced
// by discontinuity_indicator is quiet, the same kind of jump without it is a PCR discontinuity.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/timing/stream_run.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

tsgen::Fault pcrFault(tsgen::FaultKind kind, uint16_t pid, int64_t value, uint32_t count = 1) {
    // 5.6 s into the stream
    return tsgen::Fault{.kind = kind, .at = 30'000, .pid = pid, .value = value, .count = count};
}

struct PcrEvent {
    int code;
    double value;  // the number the text quotes after "等于"
};

std::vector<PcrEvent> pcrEvents(const StreamRun& run) {
    std::vector<PcrEvent> out;
    for (std::size_t i = 0; i < run.codes.size(); ++i) {
        if (run.codes[i] < 1090 || run.codes[i] > 1092) continue;
        const std::string& d = run.details[i];
        const std::size_t at = d.find("等于");
        out.push_back({run.codes[i], at == std::string::npos ? 0.0 : std::stod(d.substr(at + 6))});
    }
    return out;
}

TEST(PcrStream, AnnouncedNewTimeBaseIsQuiet) {
    // Program 1 carries its PCR in the video packets, program 2 on a PID of its own.
    for (const uint16_t pid : {uint16_t{0x101}, uint16_t{0x210}}) {
        SCOPED_TRACE(pid);
        const tsgen::Preset p = tsgen::cleanPreset();
        tsgen::GenerateResult applied;
        const auto ts = tsgen::generateStream(
            p.config, {pcrFault(tsgen::FaultKind::PcrDiscontinuity, pid, 5000)}, &applied);
        ASSERT_EQ(applied.applied.size(), 1u);
        const StreamRun run = runStream(ts, 188);
        EXPECT_TRUE(pcrEvents(run).empty()) << run.details.front();
        const PcrTrack& t = run.ctx->timing.pcrTracks[pid == 0x101 ? 0 : 1];
        EXPECT_EQ(t.pcrPid, pid);
        EXPECT_LE(std::abs(t.largestJitterNs), 1);
        EXPECT_LT(t.longestIntervalMs, 40.0);
    }
}

TEST(PcrStream, UnannouncedJumpIsADiscontinuityBothWays) {
    // Three PCRs of PID 0x0210 (every 30 ms) moved 100 ms on: the first is 130 ms after its
    // predecessor, the fourth 70 ms before its own. Forward, the 130 ms are timed by the PCRs
    // themselves (an interval error too); backward, the stream bitrate times the 30 ms and the
    // PCR is 100 ms off the packet's time (a jitter error too).
    const tsgen::Preset p = tsgen::cleanPreset();
    const auto ts = tsgen::generateStream(
        p.config, {pcrFault(tsgen::FaultKind::PcrJitter, 0x210, 100'000'000, 3)});
    const std::vector<PcrEvent> events = pcrEvents(runStream(ts, 188));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].code, 1090);
    EXPECT_NEAR(events[0].value, 130.0, 0.2);
    EXPECT_EQ(events[1].code, 1091);
    EXPECT_NEAR(events[1].value, 130.0, 0.2);
    EXPECT_EQ(events[2].code, 1091);
    EXPECT_NEAR(events[2].value, -70.0, 0.2);
    EXPECT_EQ(events[3].code, 1092);
    EXPECT_NEAR(events[3].value, -100e6, 0.2e6);

    // With the switch "PCR非连续标志错" off the discontinuities are not reported.
    const StreamRun off = runStream(ts, 188, 8.0, [](AnalysisContext& ctx) {
        ctx.monitorEnabled[kindIndex(Tr290ErrorKind::PcrDiscontinuity)] = 0;
    });
    std::vector<int> codes;
    for (const PcrEvent& e : pcrEvents(off))
        codes.push_back(e.code);
    EXPECT_EQ(codes, (std::vector<int>{1090, 1092}));
}

}  // namespace
}  // namespace orv
