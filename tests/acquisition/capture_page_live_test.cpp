// The capture page over a live run on the manual clock: a capture triggered on the running
// analysis goes on after a restart of the run (whose reset turns every trigger off) for the
// copies still wanted, and the stop withdraws the request.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "acquisition/capture_page.h"
#include "acquisition/run_control.h"
#include "platform/manual_timer_service.h"
#include "tests/acquisition/fake_live_source.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

using std::chrono::milliseconds;

TEST(CapturePageLive, GoesOnAcrossARestartOfTheRun) {
    tsgen::GenerateResult applied;
    test::FakeScript script;
    script.stream = tsgen::generateStream(
        tsgen::cleanPreset({8'000'000, 188, 12'000}).config,
        {tsgen::Fault{
            .kind = tsgen::FaultKind::TransportError, .at = 2000, .pid = 0x201, .value = {}}},
        &applied);
    ASSERT_EQ(applied.applied.size(), 1u);

    ManualTimerService clock;
    auto ctx = std::make_unique<AnalysisContext>();
    RunFrontEnd frontEnd;
    test::FakeLiveSource source(&clock, script);
    RunControl rc(*ctx, clock, frontEnd, clock);
    CaptureStore store;
    CapturePageModel page(clock, store);
    const auto runUntil = [&](auto done, milliseconds limit) {
        const milliseconds end = clock.now() + limit;
        while (!done()) {
            if (clock.now() >= end) return false;
            clock.advance(milliseconds(100));
        }
        return true;
    };
    const auto withCtx = [&](auto f) {
        const std::lock_guard<std::mutex> lock(ctx->mutex);
        return f(*ctx);
    };

    rc.start(source);
    ASSERT_TRUE(runUntil([&] { return rc.status().initDone; }, milliseconds(10'000)));
    const std::vector<CaptureChoice> errors =
        withCtx([](AnalysisContext& c) { return captureChoices(c, CapturePage::Error); });
    const CaptureChoice* tei = nullptr;
    for (const CaptureChoice& c : errors)
        if (c.target.trigger == kCaptureTransportError) tei = &c;
    ASSERT_NE(tei, nullptr);
    ASSERT_EQ(page.trigger(*ctx, tei, "3", false), CaptureTriggerResult::Started);
    ASSERT_TRUE(runUntil([&] { return store.size() >= 1; }, milliseconds(20'000)));

    rc.restart();
    EXPECT_FALSE(withCtx([](AnalysisContext& c) { return captureArmed(c.capture); }));
    ASSERT_TRUE(runUntil([&] { return rc.status().initDone; }, milliseconds(10'000)));
    clock.advance(milliseconds(100));  // the page's poll
    // Set again for the two copies still wanted.
    EXPECT_EQ(withCtx([](AnalysisContext& c) { return c.capture.maxCaptures; }), 2);
    EXPECT_EQ(withCtx([](AnalysisContext& c) { return c.captureSink; }), &store);
    // The stream loops: the error comes again and is listed.
    ASSERT_TRUE(runUntil([&] { return page.copyLines().size() >= 2; }, milliseconds(200'000)));
    EXPECT_TRUE(page.running());

    page.stop();
    EXPECT_FALSE(withCtx([](AnalysisContext& c) { return captureArmed(c.capture); }));
    EXPECT_EQ(withCtx([](AnalysisContext& c) { return c.captureSink; }), nullptr);
    rc.stop();
    EXPECT_EQ(page.copyLines().size(), 2u);
    const CaptureCopy second = *store.at(1);
    const uint8_t* p = second.bytes.data() + second.packetOffset;
    EXPECT_EQ(p[1] & 0x80, 0x80);
    EXPECT_EQ(((p[1] & 0x1F) << 8) | p[2], 0x201);
}

}  // namespace
}  // namespace orv
