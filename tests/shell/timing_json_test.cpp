// `orv01 analyze --json` on a tsgen stream: the keys pcrCurves and pes hold what the PCR and PES
// pages show, as numbers, with the expected values read from the stream's own bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "tests/presentation/timing_pages_support.h"
#include "tests/shell/cli_test_fixture.h"

namespace orv::cli {
namespace {

using nlohmann::json;

class TimingJsonTest : public CliTest {};

TEST_F(TimingJsonTest, PcrCurvesAndPesOfTwoPrograms) {
    // Program 2 loses every PCR (its PCR PID 0x0210 disappears); program 1 keeps its PCR in the
    // video PID 0x0101. 8 Mbit/s, 188-byte packets: a packet lasts 0.188 ms.
    const auto ts = test::cleanStream(
        {{.kind = tsgen::FaultKind::PcrGap, .at = 0, .until = 60'000, .pid = 0x210, .value = {}}});
    const json doc = json::parse(run(options(write(ts), true)));
    ASSERT_EQ(exitCode_, 0);

    // Only a program whose track holds PCRs has curves.
    const json& curves = doc.at("pcrCurves");
    ASSERT_EQ(curves.size(), 1u);
    const json& p = curves[0];
    EXPECT_EQ(p.at("program"), 1);
    EXPECT_EQ(p.at("pmtPid"), 0x100);
    EXPECT_EQ(p.at("pcrPid"), 0x101);

    // The newest 300 PCRs, oldest first, at their packet numbers (index + 1). Offline each
    // interval is timed by its own PCR pair: n packets apart last n x 0.188 ms, with no jitter.
    std::vector<test::StreamPcr> pcrs = test::streamPcrs(ts, 0x101);
    // The stream's first PCR (packet 0) has the value 0, which a ring slot cannot tell from an
    // empty one: it is no predecessor, so the histograms count from the third PCR on.
    ASSERT_EQ(pcrs.front().pcr, 0);
    pcrs.erase(pcrs.begin());
    ASSERT_GT(pcrs.size(), 300u);
    const json& s = p.at("samples");
    ASSERT_EQ(s.at("packet").size(), 300u);
    std::array<int, kPcrIntervalBins> bins{};
    double longest = 0;
    for (std::size_t i = 0; i < 300; ++i) {
        const std::size_t k = pcrs.size() - 300 + i;
        ASSERT_TRUE(s.at("packet")[i].is_number_unsigned());
        EXPECT_EQ(s.at("packet")[i], pcrs[k].index + 1);
        EXPECT_EQ(s.at("pcr")[i], pcrs[k].pcr);
        EXPECT_EQ(s.at("jitterNs")[i], 0);
        const double ms = static_cast<double>(pcrs[k].index - pcrs[k - 1].index) * 0.188;
        EXPECT_NEAR(s.at("intervalMs")[i].get<double>(), ms, 1e-9);
        EXPECT_NEAR(s.at("streamTime")[i].get<double>(), (pcrs[k].index + 1) * 188e-6, 1e-9);
        EXPECT_EQ(s.at("discontinuity")[i], false);
    }
    for (std::size_t k = 1; k < pcrs.size(); ++k) {
        const double ms = static_cast<double>(pcrs[k].index - pcrs[k - 1].index) * 0.188;
        longest = std::max(longest, ms);
        ++bins[ms <= 30 ? 5 : 6];  // (25, 30] or (30, 35]
    }
    EXPECT_NEAR(p.at("statistics").at("intervalMs").at("max").get<double>(), longest, 1e-9);
    EXPECT_EQ(p.at("statistics").at("jitterNs").at("max"), 0);

    const json& h = p.at("histograms");
    const auto samples = static_cast<double>(pcrs.size() - 1);
    EXPECT_EQ(h.at("samples"), pcrs.size() - 1);
    EXPECT_EQ(h.at("jitter").size(), 23u);
    EXPECT_EQ(h.at("jitter")[11],
              (json{{"fromNs", -49}, {"toNs", 50}, {"count", pcrs.size() - 1}, {"percent", 100}}));
    EXPECT_EQ(h.at("jitter")[0].at("fromNs"), nullptr);
    EXPECT_EQ(h.at("jitter")[22].at("toNs"), nullptr);
    EXPECT_EQ(h.at("interval").size(), 15u);
    EXPECT_EQ(h.at("interval")[14].at("upToMs"), nullptr);
    EXPECT_EQ(h.at("interval")[14].at("aboveMs"), 100);
    for (const int b : {5, 6}) {
        EXPECT_EQ(h.at("interval")[b].at("count"), bins[b]);
        EXPECT_EQ(h.at("interval")[b].at("percent"), static_cast<int>(bins[b] * 100 / samples));
    }

    // PES: both programs' video and audio; the time stamp distances are those of the stream.
    const json& pes = doc.at("pes");
    ASSERT_EQ(pes.size(), 4u);
    struct Component {
        unsigned program, pid;
        const char* type;
        double distanceMs;  // DTS distance of video pictures, PTS distance of audio frames
        bool hasPcr;
    };
    const Component expected[] = {{1, 0x101, "video", 40, true},
                                  {1, 0x102, "audio", 24, true},
                                  {2, 0x201, "video", 40, false},
                                  {2, 0x202, "audio", 24, false}};
    for (std::size_t i = 0; i < 4; ++i) {
        const Component& c = expected[i];
        const json& e = pes[i];
        SCOPED_TRACE(c.pid);
        EXPECT_EQ(e.at("program"), c.program);
        EXPECT_EQ(e.at("pid"), c.pid);
        EXPECT_EQ(e.at("type"), c.type);
        EXPECT_EQ(e.at("hasPcr"), c.hasPcr);
        const std::vector<test::StreamPes> headers = test::streamPes(ts, c.pid);
        // 150 samples kept, and the first header of a component measures nothing.
        ASSERT_GT(headers.size(), 151u);
        const json& samplesOf = e.at("samples");
        EXPECT_EQ(samplesOf.at("ptsDistanceMs").size(), 150u);
        const bool video = std::string(c.type) == "video";
        EXPECT_EQ(e.at("latest").at(video ? "dtsDistanceMs" : "ptsDistanceMs"), c.distanceMs);
        const test::StreamPes& last = headers.back();
        const test::StreamPes& before = headers[headers.size() - 2];
        EXPECT_NEAR(samplesOf.at("ptsDistanceMs").back().get<double>(),
                    static_cast<double>(last.pts - before.pts) / 90.0, 1e-9);
        if (c.hasPcr) {
            // PCRs are exact (packet index x 5076 ticks): DTS-PCR = (DTS x 300 - i x 5076) / 27000.
            EXPECT_NEAR(
                e.at("latest").at("dtsPcrMs").get<double>(),
                (static_cast<double>(last.dts) * 300 - static_cast<double>(last.index) * 5076) /
                    27'000,
                1e-6);
        } else {
            EXPECT_EQ(samplesOf.at("dtsPcrMs"), nullptr);
            EXPECT_EQ(e.at("latest").at("ptsPcrMs"), nullptr);
        }
        if (video) {
            EXPECT_EQ(e.at("vbvBufferSizeBits"), 112 * 16384);
            EXPECT_EQ(e.at("vbvDelayMs").size(), 150u);
            EXPECT_EQ(e.at("pictureTally"), (json{{"i", 8}, {"p", 25}, {"b", 67}}));
        } else {
            EXPECT_FALSE(e.contains("vbvDelayMs"));
        }
    }
}

}  // namespace
}  // namespace orv::cli
