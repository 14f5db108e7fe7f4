// The data capture of a live run on the manual clock: a generated stream with a transport error
// flows from the fake live source through the run control; the request is set once the
// initialisation phase has ended, the block around the error is copied, and after a restart the
// request is set again for the copies still wanted.
#include "acquisition/live_capture.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "acquisition/run_control.h"
#include "platform/manual_timer_service.h"
#include "tests/acquisition/fake_live_source.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

using std::chrono::milliseconds;

TEST(LiveCapture, ArmsAfterTheInitialisationPhaseAndAgainAfterARestart) {
    tsgen::GenerateResult applied;
    test::FakeScript script;
    script.stream = tsgen::generateStream(
        tsgen::cleanPreset({8'000'000, 188, 12'000}).config,
        {tsgen::Fault{
            .kind = tsgen::FaultKind::TransportError, .at = 2000, .pid = 0x201, .value = {}}},
        &applied);
    ASSERT_EQ(applied.applied.size(), 1u);
    const uint64_t faultyIndex = applied.applied[0].packet;

    ManualTimerService clock;
    auto ctx = std::make_unique<AnalysisContext>();
    RunFrontEnd frontEnd;
    test::FakeLiveSource source(&clock, script);
    RunControl rc(*ctx, clock, frontEnd, clock);
    CaptureStore store;
    LiveCapture capture({CapturePage::Error, kCaptureTransportError}, 10, store);

    const auto poll = [&] {
        const std::lock_guard<std::mutex> lock(ctx->mutex);
        capture.poll(*ctx);
        return captureArmed(ctx->capture);
    };
    const auto runUntil = [&](auto done, milliseconds limit) {
        const milliseconds end = clock.now() + limit;
        while (!done()) {
            if (clock.now() >= end) return false;
            clock.advance(milliseconds(100));
            poll();
        }
        return true;
    };

    rc.start(source);
    // Before the phase has ended the trigger does nothing.
    EXPECT_FALSE(poll());
    ASSERT_TRUE(runUntil([&] { return rc.status().initDone; }, milliseconds(10'000)));
    EXPECT_TRUE(poll());
    EXPECT_TRUE(capture.plan().unseenQuestion.empty());

    ASSERT_TRUE(runUntil([&] { return store.size() >= 1; }, milliseconds(20'000)));
    const CaptureCopy first = *store.at(0);
    const std::size_t groupBytes = 40 * 188;
    ASSERT_EQ(first.bytes.size() % groupBytes, 0u);
    ASSERT_LE(first.bytes.size(), 5 * groupBytes);
    ASSERT_LT(first.packetOffset + 188, first.bytes.size() + 1);
    const uint8_t* p = first.bytes.data() + first.packetOffset;
    EXPECT_EQ(p[0], 0x47);
    EXPECT_EQ(p[1] & 0x80, 0x80);
    EXPECT_EQ(((p[1] & 0x1F) << 8) | p[2], 0x201);
    // The groups arrive whole: the faulty packet keeps its place in its 40-packet group.
    EXPECT_EQ((first.packetOffset / 188) % 40, faultyIndex % 40);

    // A restart resets the request; once its phase has ended the capture goes on for 9 more.
    rc.restart();
    EXPECT_FALSE(rc.withContext([](const AnalysisContext& c) { return captureArmed(c.capture); }));
    ASSERT_TRUE(runUntil([&] { return rc.status().initDone; }, milliseconds(10'000)));
    EXPECT_TRUE(poll());
    {
        const std::lock_guard<std::mutex> lock(ctx->mutex);
        EXPECT_EQ(ctx->capture.maxCaptures, 9);
        EXPECT_EQ(ctx->capture.made, 0);
    }
    // The stream loops (about 160 s of groups): the error comes again.
    ASSERT_TRUE(runUntil([&] { return store.size() >= 2; }, milliseconds(200'000)));
    rc.stop();
    {
        const std::lock_guard<std::mutex> lock(ctx->mutex);
        capture.stop(*ctx);
        EXPECT_EQ(ctx->captureSink, nullptr);
    }
    EXPECT_EQ(store.size(), 2u);
}

}  // namespace
}  // namespace orv
