// The PES analysis page model on a tsgen stream whose time stamps are known from its bytes:
// selectors, fields, curves and their visibility, the ranges, and a program without PCR. The page
// is driven as in online analysis, where play only refreshes (the replay has its own tests).
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/manual_timer_service.h"
#include "presentation/pes_page.h"
#include "tests/presentation/timing_pages_support.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

std::string msText(double v) {
    char b[48];
    std::snprintf(b, sizeof b, "%2.2f ms", v);
    return b;
}

// Program 2 loses every PCR (its PCR PID 0x0210 disappears); program 1 keeps its PCR in 0x0101.
std::vector<uint8_t> streamWithoutProgram2Pcr() {
    return test::cleanStream(
        {{.kind = tsgen::FaultKind::PcrGap, .at = 0, .until = 60'000, .pid = 0x210, .value = {}}});
}

struct OnlinePage {
    explicit OnlinePage(const std::vector<uint8_t>& ts)
        : run(test::analyseOffline(ts)), page(*run.ctx, timers, timers) {
        run.ctx->analysisMode = AnalysisMode::Online;
    }
    test::EngineRun run;
    ManualTimerService timers;
    PesPage page;
};

TEST(PesPage, FieldsAndCurvesOfAProgramWithAndWithoutPcr) {
    const auto ts = streamWithoutProgram2Pcr();
    OnlinePage o(ts);
    PesPage& page = o.page;
    page.refresh();
    EXPECT_EQ(page.selectorEntries(), (std::vector<std::string>{"节目号:0x0001  PMT_PID:0x0100",
                                                                "节目号:0x0002  PMT_PID:0x0200"}));
    EXPECT_EQ(o.timers.dueIn(kPesPageTimer), std::optional<std::chrono::milliseconds>(600ms));

    struct Case {
        int program;
        unsigned video, audio, pcrPid;
        bool hasPcr;
    };
    const Case cases[] = {{0, 0x101, 0x102, 0x101, true}, {1, 0x201, 0x202, 0x210, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        page.selectProgram(c.program);
        page.refresh();
        char pid[16];
        std::snprintf(pid, sizeof pid, "PID:0x%04x", c.video);
        EXPECT_EQ(page.videoPidEntries(), std::vector<std::string>{pid});
        std::snprintf(pid, sizeof pid, "PID:0x%04x", c.audio);
        EXPECT_EQ(page.audioPidEntries(), std::vector<std::string>{pid});
        std::snprintf(pid, sizeof pid, "0x%04x", c.pcrPid);
        EXPECT_EQ(page.field(PesField::PcrPid), pid);
        EXPECT_EQ(page.field(PesField::Scrambling), "组件未加扰");

        page.play(PesSide::Video);
        page.play(PesSide::Audio);
        // From the stream's bytes: video pictures are 40 ms apart in DTS, audio frames 24 ms in
        // PTS (the audio DTS curve takes the PTS). The PCRs are exact (packet index x 5076
        // ticks), so the system time estimated at the last video PES header of packet index i
        // is i x 5076 ticks = i x 188000 ns, and its DTS-PCR is (DTS x 300 - i x 5076) / 27000.
        const std::vector<test::StreamPes> video = test::streamPes(ts, c.video);
        ASSERT_GT(video.size(), 200u);
        const test::StreamPes& last = video.back();
        EXPECT_EQ(page.field(PesField::VideoDtsDistance), "40.00 ms");
        EXPECT_EQ(page.field(PesField::AudioPtsDistance), "24.00 ms");
        EXPECT_EQ(page.field(PesField::AudioDtsDistance), "24.00 ms");
        EXPECT_EQ(page.field(PesField::VbvBufSize), "1835008 bits");  // 112 x 16 kbit
        const double ptsDistance = (last.pts - video[video.size() - 2].pts) / 90.0;
        EXPECT_EQ(page.field(PesField::VideoPtsDistance), msText(ptsDistance));
        if (c.hasPcr) {
            EXPECT_EQ(page.field(PesField::Time), std::to_string(last.index * 188'000) + " ns");
            const double dtsPcr =
                (static_cast<double>(last.dts) * 300 - static_cast<double>(last.index) * 5076) /
                27'000;
            EXPECT_EQ(page.field(PesField::VideoDtsPcr), msText(dtsPcr));
        } else {
            EXPECT_EQ(page.field(PesField::Time), "PCR:0");
            EXPECT_EQ(page.field(PesField::VideoDtsPcr), " - ");
            EXPECT_EQ(page.field(PesField::VideoPtsPcr), " - ");
            EXPECT_EQ(page.field(PesField::AudioDtsPcr), " - ");
        }
        // Coded pictures 99..198 (PES headers 100..199, closed at the 200th) of a 12-picture
        // GOP with two B pictures, in coded order I0 P3 B1 B2 P6 B4 B5 ...: the anchors are
        // the coded pictures 1, 4, 7 ... (100, 103 ... 196: 33 of them), an I where the anchor
        // is displayed at a multiple of 12 (coded 106, 118 ... 190: 8), so 8 I, 25 P, 67 B.
        EXPECT_EQ(page.field(PesField::Gop), "8 : 25 :67");

        const Curve& dts = page.curve(VideoCurve::DtsDistance);
        ASSERT_EQ(dts.points.size(), 100u);
        EXPECT_TRUE(dts.visible);
        EXPECT_EQ(dts.points.front().y, 40.0);
        EXPECT_EQ(page.curve(VideoCurve::VbvDelay).points.size(), 100u);
        // The PCR-relative curves are hidden without a PCR, whatever their boxes say.
        page.setVideoCurveChecked(VideoCurve::DtsPcr, true);
        page.setAudioCurveChecked(AudioCurve::PtsPcr, true);
        EXPECT_EQ(page.curve(VideoCurve::DtsPcr).visible, c.hasPcr);
        EXPECT_EQ(page.curve(VideoCurve::PtsPcr).visible, c.hasPcr);
        EXPECT_EQ(page.curve(AudioCurve::PtsPcr).visible, c.hasPcr);
        EXPECT_EQ(page.curve(AudioCurve::PtsDistance).visible, true);
        page.setVideoCurveChecked(VideoCurve::DtsDistance, false);
        EXPECT_FALSE(page.curve(VideoCurve::DtsDistance).visible);
        page.setVideoCurveChecked(VideoCurve::DtsDistance, true);
    }

    // A scrambled video component hides every value.
    o.run.ctx->programs[0].timing.video.pes.scrambled = true;
    page.selectProgram(0);
    page.refresh();
    EXPECT_EQ(page.field(PesField::Scrambling), "组件被加扰");
    EXPECT_EQ(page.field(PesField::Time), " - ");
    EXPECT_EQ(page.field(PesField::VideoDtsDistance), " - ");
    EXPECT_EQ(page.field(PesField::AudioPtsDistance), " - ");
}

TEST(PesPage, RangeFields) {
    AnalysisContext ctx;
    ManualTimerService timers;
    PesPage page(ctx, timers, timers);
    EXPECT_EQ(page.videoGraph().scale.topLabel, "800 ms");
    EXPECT_EQ(page.videoGraph().scale.bottomLabel, "-200ms");
    EXPECT_EQ(page.audioGraph().scale.bottomLabel, "0 ms");
    struct Case {
        const char *typed, *kept;
        double top;
    };
    const Case cases[] = {{"5000", "3000", 3000},
                          {"", "800", 800},
                          {"x1", "800", 800},
                          {"1200", "1200", 1200},
                          {"0", "800", 800}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        page.rangeText(PesSide::Video) = c.typed;
        page.rangeText(PesSide::Audio) = c.typed;
        page.applyRanges();
        for (const PesGraph* g : {&page.videoGraph(), &page.audioGraph()}) {
            EXPECT_EQ(g->rangeText, c.kept);
            EXPECT_EQ(g->scale.top, c.top);
            EXPECT_EQ(g->scale.topLabel, std::string(c.kept) + "ms");
        }
        // The video graph reaches 200 ms below zero, the audio graph starts at 0.
        EXPECT_EQ(page.videoGraph().scale.bottom, -200);
        EXPECT_EQ(page.audioGraph().scale.bottom, 0);
    }
}

}  // namespace
}  // namespace orv
