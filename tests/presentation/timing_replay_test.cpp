// The offline replay of the PCR and PES pages, on a real thread and the manual clock: replaying a
// program from the analysed file rebuilds the records the main pass left (the positions count
// from the file's first packet as the main pass does), a pause and a new play resume where the
// replay stopped, and the thread ends by itself at the end of the file or when paused.
#include <gtest/gtest.h>

#include <filesystem>

#include "acquisition/offline_source.h"
#include "platform/manual_timer_service.h"
#include "presentation/pcr_page.h"
#include "presentation/pes_page.h"
#include "tests/presentation/timing_pages_support.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

void expectSameRings(const PcrTrack& a, const PcrTrack& b) {
    EXPECT_EQ(a.ringIndex, b.ringIndex);
    EXPECT_EQ(a.pcr, b.pcr);
    EXPECT_EQ(a.position, b.position);
    EXPECT_EQ(a.jitterNs, b.jitterNs);
    EXPECT_EQ(a.intervalMs, b.intervalMs);
    EXPECT_EQ(a.longestIntervalMs, b.longestIntervalMs);
    EXPECT_EQ(a.shortestIntervalMs, b.shortestIntervalMs);
    EXPECT_EQ(a.largestJitterNs, b.largestJitterNs);
    EXPECT_EQ(a.smallestJitterNs, b.smallestJitterNs);
}

void expectSamePes(const PesTiming& a, const PesTiming& b) {
    EXPECT_EQ(a.measured, b.measured);
    EXPECT_EQ(a.ringIndex, b.ringIndex);
    EXPECT_EQ(a.ptsDistanceMs, b.ptsDistanceMs);
    EXPECT_EQ(a.dtsDistanceMs, b.dtsDistanceMs);
    EXPECT_EQ(a.ptsPcrMs, b.ptsPcrMs);
    EXPECT_EQ(a.dtsPcrMs, b.dtsPcrMs);
    EXPECT_EQ(a.lastPts, b.lastPts);
}

// Moves the clock on in steps until `done`, at most `steps` times.
template <class Done>
bool advanceUntil(ManualTimerService& timers, Done done, int steps = 400) {
    for (int i = 0; i < steps && !done(); ++i)
        timers.advance(100ms);
    return done();
}

struct Analysed {
    std::unique_ptr<AnalysisContext> ctx = std::make_unique<AnalysisContext>();
    ReplayFile file;
};

// An offline run of a file as the program makes it; nullopt when the file is not there.
std::optional<Analysed> analyseFile(const std::string& path) {
    if (!std::filesystem::exists(path)) return std::nullopt;
    Analysed a;
    const OfflineResult r = orv::analyseFile(*a.ctx, path);
    if (!r.mainPassStarted) return std::nullopt;
    a.file = {path, r.startOffset};
    return a;
}

// A generated stream long enough for a replay to be seen under way, and two real captures
// with MPEG-2 video (they replay within a few refreshes).
const std::string& generatedFile() {
    static const std::string path =
        test::scratchFile("replay", test::cleanStream({{.kind = tsgen::FaultKind::PcrJitter,
                                                        .at = 20'000,
                                                        .pid = 0x210,
                                                        .value = -40'000'000,
                                                        .count = 1}}));
    return path;
}

std::vector<std::string> replayFiles() {
    return {generatedFile(), std::string(ORV_STREAMS_DIR) + "/cap-mpeg2-mp2-sdt.ts",
            std::string(ORV_STREAMS_DIR) + "/cap-mpeg2-dts-mp2.ts"};
}

TEST(TimingReplay, PcrReplayRebuildsTheTrackAndResumesAfterAPause) {
    for (const std::string& path : replayFiles()) {
        SCOPED_TRACE(path);
        std::optional<Analysed> a = analyseFile(path);
        if (!a) {
            std::printf("skipped: no capture %s\n", path.c_str());
            continue;
        }
        AnalysisContext& ctx = *a->ctx;
        const int last = ctx.programCount() - 1;
        ASSERT_GE(last, 0);
        const PcrTrack expected = ctx.timing.pcrTracks[static_cast<std::size_t>(last)];
        ASSERT_GT(expected.pcr[0], 0);

        ManualTimerService timers;
        PcrPage page(ctx, timers, timers);
        page.setReplayFile(a->file);
        page.refresh();
        page.selectProgram(last);
        EXPECT_TRUE(page.buttons().play);
        page.play();
        EXPECT_FALSE(page.buttons().play);
        EXPECT_TRUE(page.buttons().pause);
        EXPECT_TRUE(page.replayRunning());

        // The first refresh comes 100 ms after play and finds the track rebuilt in part.
        timers.advance(100ms);
        {
            const std::lock_guard<std::mutex> lock(ctx.mutex);
            const PcrTrack& t = ctx.timing.pcrTracks[static_cast<std::size_t>(last)];
            EXPECT_GT(t.ringIndex, 0);
            if (path == generatedFile()) {
                EXPECT_NE(t.pcr, expected.pcr) << "the replay is under way";
            }
        }
        page.pause();
        EXPECT_FALSE(page.replayRunning());
        EXPECT_TRUE(page.buttons().play);
        EXPECT_TRUE(page.buttons().forward);

        page.play();
        ASSERT_TRUE(advanceUntil(timers, [&] { return page.buttons().play; }))
            << "the replay did not reach the end of the file";
        EXPECT_FALSE(page.replayRunning());
        const PcrTrack& t = ctx.timing.pcrTracks[static_cast<std::size_t>(last)];
        expectSameRings(t, expected);
        // The histograms stay those of the main pass.
        EXPECT_EQ(t.jitterHistogram, expected.jitterHistogram);
        EXPECT_EQ(t.jitterSamples, expected.jitterSamples);
    }
}

TEST(TimingReplay, PesReplayRunsWhileEitherSidePlays) {
    for (const std::string& path : replayFiles()) {
        SCOPED_TRACE(path);
        std::optional<Analysed> a = analyseFile(path);
        if (!a) {
            std::printf("skipped: no capture %s\n", path.c_str());
            continue;
        }
        AnalysisContext& ctx = *a->ctx;
        const ProgramEntry& prog = ctx.programs[0];
        ASSERT_TRUE(prog.video.present);
        const PesTiming video = prog.timing.video.pes;
        const PesTiming audio = prog.timing.audio[0].pes;
        const uint64_t vbvCount = prog.timing.video.es.vbvCount;

        ManualTimerService timers;
        PesPage page(ctx, timers, timers);
        page.setReplayFile(a->file);
        page.refresh();
        page.selectProgram(0);
        page.refresh();
        page.play(PesSide::Video);
        page.play(PesSide::Audio);
        EXPECT_TRUE(page.replayRunning());
        timers.advance(300ms);
        if (path == generatedFile()) {
            const std::lock_guard<std::mutex> lock(ctx.mutex);
            EXPECT_GT(video.measured, 200u);
            EXPECT_LT(prog.timing.video.pes.measured, video.measured) << "under way";
            EXPECT_GT(prog.timing.video.pes.measured, 0u);
        }
        // Pausing one side keeps the replay going; pausing both stops it. (The captures are
        // short enough to be replayed by now.)
        page.pause(PesSide::Video);
        if (path == generatedFile()) {
            EXPECT_TRUE(page.replayRunning());
        }
        page.pause(PesSide::Audio);
        EXPECT_FALSE(page.replayRunning());

        page.play(PesSide::Audio);
        ASSERT_TRUE(advanceUntil(timers, [&] { return !page.playing(PesSide::Audio); }));
        EXPECT_FALSE(page.replayRunning());
        expectSamePes(prog.timing.video.pes, video);
        expectSamePes(prog.timing.audio[0].pes, audio);
        EXPECT_EQ(prog.timing.video.es.vbvCount, vbvCount);
        // What the audio side drew at its last refresh is the component's newest sample.
        const std::vector<PesSample> s = pesSamples(audio);
        ASSERT_FALSE(s.empty());
        char text[32];
        std::snprintf(text, sizeof text, "%2.2f ms", s.back().ptsDistanceMs);
        EXPECT_EQ(page.field(PesField::AudioPtsDistance), text);
    }
}

TEST(TimingReplay, NothingToReplayEndsAtOnce) {
    // An online run, or a program without a PCR PID, has nothing to replay: play comes back to
    // pause at the first refresh, and no thread is left behind.
    const auto ts = test::cleanStream({});
    test::EngineRun run = test::analyseOffline(ts);
    ManualTimerService timers;
    PcrPage page(*run.ctx, timers, timers);
    page.setReplayFile({"/nonexistent/file.ts", 0});
    page.refresh();
    page.selectProgram(0);
    page.play();
    EXPECT_TRUE(advanceUntil(
        timers, [&] { return page.buttons().play; }, 5));
    EXPECT_FALSE(page.replayRunning());
    EXPECT_GT(run.ctx->timing.pcrTracks[0].ringIndex, 0) << "the track was cleared for nothing";

    // A reset while a replay runs ends it before the run's records go.
    page.setReplayFile({test::scratchFile("reset", ts), 0});
    page.play();
    EXPECT_TRUE(page.replayRunning());
    page.reset();
    EXPECT_FALSE(page.replayRunning());
    EXPECT_TRUE(page.selectorEntries().empty());
    EXPECT_FALSE(timers.isArmed(kPcrPageTimer));
}

}  // namespace
}  // namespace orv
