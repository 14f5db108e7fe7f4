// The PCR analysis page model on tsgen streams whose PCRs are known packet by packet: the
// statistics list, the selector, the fields, the curve window with its scroll, the histograms
// with the 2 % rule and the scale fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "acquisition/offline_source.h"
#include "platform/manual_timer_service.h"
#include "presentation/pcr_page.h"
#include "tests/presentation/timing_pages_support.h"

namespace orv {
namespace {

using test::StreamPcr;

// Four PCRs of PID 0x0210 sent 40 ms early (2, 4, 6 and 8 s into the stream).
std::vector<tsgen::Fault> earlyPcrs() {
    std::vector<tsgen::Fault> f;
    for (uint64_t s = 2; s <= 8; s += 2)
        f.push_back({.kind = tsgen::FaultKind::PcrJitter,
                     .at = s * 5320,
                     .pid = 0x210,
                     .value = -40'000'000});
    return f;
}

std::string ms2(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%2.2f", v);
    return b;
}

struct PageFixture {
    explicit PageFixture(const std::vector<uint8_t>& ts)
        : run(test::analyseOffline(ts)), page(*run.ctx, timers, timers) {}
    test::EngineRun run;
    ManualTimerService timers;
    PcrPage page;
};

TEST(PcrPage, ListFieldsAndHistogramsOfAProgramWithEarlyPcrs) {
    const auto ts = test::cleanStream(earlyPcrs());
    PageFixture f(ts);
    PcrPage& page = f.page;
    page.refresh();

    EXPECT_EQ(page.selectorEntries(),
              (std::vector<std::string>{"节目0x0001  PID=0x0100  PCR_PID=0x0101 ",
                                        "节目0x0002  PID=0x0200  PCR_PID=0x0210 "}));
    ASSERT_EQ(page.listRows().size(), 2u);

    // Expected values from the PCR packets themselves. Offline each interval is timed by its own
    // PCR pair, so a clean gap of n packets lasts n x 0.188 ms and has no jitter; a PCR 40 ms
    // early goes backwards, is timed at the stream rate (n x 0.188 ms) and is 40 ms off its
    // packet (-40000000 ns); the PCR after it closes a gap 40 ms longer.
    struct Case {
        unsigned pid;
        const char* name;
        const char* largestJitter;
        int earlyPcrs;
    };
    const Case cases[] = {{0x101, "节目0x0001", "0", 0}, {0x210, "节目0x0002", "-40000000", 4}};
    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(cases[c].name);
        const std::vector<StreamPcr> pcrs = test::streamPcrs(ts, cases[c].pid);
        ASSERT_GT(pcrs.size(), 300u);
        std::vector<double> intervals;
        for (std::size_t i = 1; i < pcrs.size(); ++i) {
            const double gapMs = static_cast<double>(pcrs[i].index - pcrs[i - 1].index) * 0.188;
            const bool afterEarly = pcrs[i].pcr - pcrs[i - 1].pcr > 27'000 * 60;
            intervals.push_back(afterEarly ? gapMs + 40.0 : gapMs);
        }
        const auto [lo, hi] = std::minmax_element(intervals.begin(), intervals.end());
        const PcrListRow& row = page.listRows()[c];
        EXPECT_EQ(row[0], cases[c].name);
        EXPECT_EQ(row[1], c == 0 ? "0x0101" : "0x0210");
        EXPECT_EQ(row[2], "0");
        EXPECT_EQ(row[3], cases[c].largestJitter);
        EXPECT_EQ(row[4], "0");
        EXPECT_EQ(row[5], ms2(intervals.back()));
        EXPECT_EQ(row[6], ms2(*hi));
        EXPECT_EQ(row[7], ms2(*lo));
        if (cases[c].earlyPcrs > 0) {
            EXPECT_NEAR(*hi, 70.0, 0.2);
        }

        page.selectProgram(static_cast<int>(c));
        EXPECT_EQ(page.field(PcrField::Pcr), "PCR: " + std::to_string(pcrs.back().pcr));
        EXPECT_EQ(page.field(PcrField::ReferenceClock), "27,000,000 Hz");
        EXPECT_EQ(page.field(PcrField::LargestJitter), cases[c].largestJitter);
        EXPECT_EQ(page.field(PcrField::LongestInterval), ms2(*hi));

        // Histograms: every jitter but the early PCRs' in the bin around 0; 4 of ~330 samples
        // (1.2 %) are drawn as 2 %.
        const double samples = static_cast<double>(intervals.size());
        const int early = cases[c].earlyPcrs;
        EXPECT_EQ(page.jitterBars()[0], early > 0 ? 2 : 0);
        EXPECT_EQ(page.jitterBars()[11], static_cast<int>((samples - early) * 100 / samples));
        std::array<int, kPcrIntervalBins> counts{};
        for (const double ms : intervals)
            ++counts[ms <= 35 ? (ms <= 30 ? 5 : 6)
                              : (ms <= 70 ? 10 : 11)];  // (25,30] (30,35] (60,70] (70,80]
        for (int b = 0; b < kPcrIntervalBins; ++b) {
            const double pct = counts[b] * 100.0 / samples;
            const int shown = pct > 0.5 && pct < 2.0 ? 2 : static_cast<int>(pct);
            EXPECT_EQ(page.intervalBars()[b], shown) << "bin " << b;
        }

        // The refresh after the selection draws the window 100..199 of the 300 newest PCRs
        // and shows its last sample; the one after it, with no new PCR, changes nothing.
        page.refresh();
        const StreamPcr& shown = pcrs[pcrs.size() - 300 + 199];
        EXPECT_EQ(page.field(PcrField::Pcr), "PCR: " + std::to_string(shown.pcr));
        ASSERT_EQ(page.jitterCurve().points.size(), 100u);
        page.scrollForward();
        const std::vector<CurvePoint> scrolled = page.intervalCurve().points;
        page.refresh();
        EXPECT_EQ(page.field(PcrField::Pcr), "PCR: " + std::to_string(shown.pcr));
        ASSERT_EQ(page.intervalCurve().points.size(), scrolled.size());
        for (std::size_t i = 0; i < scrolled.size(); ++i)
            EXPECT_EQ(page.intervalCurve().points[i].y, scrolled[i].y);
    }
}

TEST(PcrPage, ProgramWithoutPcrsIsChosenButNotListed) {
    // Program 2 loses every PCR: its PCR PID 0x0210 carries nothing else, so it disappears.
    const auto ts = test::cleanStream(
        {{.kind = tsgen::FaultKind::PcrGap, .at = 0, .until = 60'000, .pid = 0x210, .value = {}}});
    PageFixture f(ts);
    f.page.refresh();
    EXPECT_EQ(f.page.selectorEntries().size(), 2u);
    ASSERT_EQ(f.page.listRows().size(), 1u);
    EXPECT_EQ(f.page.listRows()[0][0], "节目0x0001");

    f.page.selectProgram(1);
    for (int i = 0; i < kPcrFieldCount; ++i)
        EXPECT_EQ(f.page.field(static_cast<PcrField>(i)), " - ") << i;
    EXPECT_TRUE(f.page.jitterCurve().points.empty());
    f.page.refresh();
    EXPECT_EQ(f.page.jitterBars(), (std::array<int, kPcrJitterBins>{}));
}

TEST(PcrPage, RealCaptures) {
    // Hand-checked from the captures' PCR packets (PID 0x0100 in both): offline each interval is
    // its PCR difference / 27000 ms, and every jitter is 0.
    struct Case {
        const char* file;
        PcrListRow row;
        std::array<int, kPcrIntervalBins> intervalBars;
    };
    const Case cases[] = {
        {"cap-mpeg2-mp2-sdt.ts",  // 87 PCRs: 63 gaps in (30,35], 18 in (35,40], 5 in (40,50]
         {"", "0x0100", "0", "0", "0", "30.38", "46.33", "30.38"},
         {0, 0, 0, 0, 0, 0, 73, 20, 5, 0, 0, 0, 0, 0, 0}},
        {"cap-h264-mp2-sdt.ts",  // 101 PCRs: 98 gaps of 100 ms, one of 33.33 and one of 66.67
         {"", "0x0100", "0", "0", "0", "100.00", "100.00", "33.33"},
         {0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 98, 0}},
    };
    for (const Case& c : cases) {
        const std::string path = std::string(ORV_STREAMS_DIR) + "/" + c.file;
        if (!std::filesystem::exists(path)) {
            std::printf("skipped: no capture %s\n", path.c_str());
            continue;
        }
        SCOPED_TRACE(c.file);
        AnalysisContext ctx;
        ASSERT_TRUE(analyseFile(ctx, path).mainPassStarted);
        ManualTimerService timers;
        PcrPage page(ctx, timers, timers);
        page.refresh();
        ASSERT_EQ(page.selectorEntries().size(), 1u);
        ASSERT_EQ(page.listRows().size(), 1u);
        for (std::size_t col = 1; col < c.row.size(); ++col)
            EXPECT_EQ(page.listRows()[0][col], c.row[col]) << kPcrListColumns[col].title;
        page.selectProgram(0);
        EXPECT_EQ(page.intervalBars(), c.intervalBars);
        EXPECT_EQ(page.jitterBars()[11], 100);
    }
}

TEST(PcrPage, HistogramBarsKeepRareValuesVisible) {
    struct Case {
        uint64_t count, samples;
        int shown;
    };
    const Case cases[] = {
        {1, 100, 2},                 // 1 % is drawn as 2 %
        {4, 1000, 0},                // 0.4 %
        {5, 1000, 0},                // 0.5 % is not above 0.5
        {6, 1000, 2},                // 0.6 %
        {19, 1000, 2},               // 1.9 %
        {20, 1000, 2},               // 2 %
        {399, 1000, 39},             // truncated, not rounded
        {7, 7, 100},     {3, 0, 0},  // no samples: nothing to divide by
    };
    for (const Case& c : cases)
        EXPECT_EQ(histogramPercent(c.count, c.samples), c.shown) << c.count << "/" << c.samples;
}

TEST(PcrPage, ScaleFieldsAndScroll) {
    AnalysisContext ctx;
    ManualTimerService timers;
    PcrPage page(ctx, timers, timers);
    struct Case {
        const char *range, *points, *max, *min;
        const char *rangeAfter, *pointsAfter, *maxAfter, *minAfter;
    };
    const Case cases[] = {
        {"20000", "100", "40", "60", "10000", "100", "50", "0"},
        {"", "", "", "", "1000", "100", "1000", "0"},
        {"abc", "250", "2000", "10", "1000", "100", "1000", "10"},
        {"500", "30", "80", "20", "500", "30", "80", "20"},
        {"0", "-5", "30", "30", "1000", "100", "50", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range);
        page.scaleTexts() = {c.range, c.points, c.max, c.min};
        page.applyScales();
        EXPECT_EQ(page.scaleTexts().jitterRange, c.rangeAfter);
        EXPECT_EQ(page.scaleTexts().observationPoints, c.pointsAfter);
        EXPECT_EQ(page.scaleTexts().intervalMax, c.maxAfter);
        EXPECT_EQ(page.scaleTexts().intervalMin, c.minAfter);
        EXPECT_EQ(page.jitterScale().topLabel, c.rangeAfter);
        EXPECT_EQ(page.jitterScale().bottomLabel, std::string("-") + c.rangeAfter);
        EXPECT_EQ(page.jitterScale().top, std::stod(c.rangeAfter));
        EXPECT_EQ(page.intervalScale().bottom, std::stod(c.minAfter));
        EXPECT_EQ(page.intervalScale().top, std::stod(c.maxAfter));
    }
    // Histograms shown: the jitter range is left alone.
    page.showHistograms();
    page.scaleTexts().jitterRange = "20000";
    page.applyScales();
    EXPECT_EQ(page.scaleTexts().jitterRange, "20000");

    for (int i = 0; i < 11; ++i)
        page.scrollForward();
    EXPECT_EQ(page.shift(), 10);
    EXPECT_EQ(page.windowStart(), 200);
    for (int i = 0; i < 25; ++i)
        page.scrollBack();
    EXPECT_EQ(page.shift(), -10);
    EXPECT_EQ(page.windowStart(), 0);
}

TEST(PcrPage, RingCopiesRunOldestFirst) {
    PcrTrack t;
    // Five PCRs stored: 295 empty slots first.
    for (int i = 0; i < 5; ++i) {
        t.pcr[i] = 1000 + i;
        t.position[i] = 10 + i;
    }
    t.ringIndex = 5;
    auto copy = pcrRingInTimeOrder(t);
    EXPECT_EQ(copy[294].pcr, 0);
    EXPECT_EQ(copy[295].pcr, 1000);
    EXPECT_EQ(copy[299].pcr, 1004);
    // 307 PCRs: slot 7 holds the oldest, slot 6 the newest.
    for (int i = 0; i < kPcrRingSize; ++i)
        t.pcr[i] = i < 7 ? 300 + i : i;
    t.ringIndex = 7;
    copy = pcrRingInTimeOrder(t);
    EXPECT_EQ(copy[0].pcr, 7);
    EXPECT_EQ(copy[299].pcr, 306);
    // Just filled: the index stands past the last slot.
    t.ringIndex = kPcrRingSize;
    EXPECT_EQ(pcrRingInTimeOrder(t)[0].pcr, 300);
}

}  // namespace
}  // namespace orv
