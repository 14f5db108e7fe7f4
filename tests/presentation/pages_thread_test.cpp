// The page models read the context on their own thread while another thread feeds it, each
// holding ctx.mutex, as the desktop program's page timers do during a live run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/event_log.h"
#include "engine/program_discovery.h"
#include "presentation/basic_info_page.h"
#include "presentation/buffer_page.h"
#include "presentation/program_info_page.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

TEST(PagesThreadTest, PagesRefreshWhileBlocksArrive) {
    tsgen::PresetOptions o;
    o.durationMs = 2000;
    const std::vector<uint8_t> ts = tsgen::generateStream(tsgen::cleanPreset(o).config);
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    initBlock(*ctx, ts.data(), ts.size());
    finishInit(*ctx);
    ctx->streamBitrate = {8.0, 8.0, 8.0, 8.0};
    beginRun(*ctx, kEventOfflineStart);

    std::atomic<bool> done{false};
    std::thread feeder([&] {
        const std::size_t block = 400 * 188;
        for (std::size_t off = 0; off < ts.size(); off += block) {
            const std::lock_guard<std::mutex> lock(ctx->mutex);
            analyseBlock(*ctx, ts.data() + off, std::min(block, ts.size() - off));
            reopenAfterDrain(ctx->log);  // the events are not looked at here
        }
        done = true;
    });

    BasicInfoPage basic;
    ProgramInfoPage program;
    BufferPage buffers;
    int refreshes = 0;
    while (!done || refreshes == 0) {
        const std::lock_guard<std::mutex> lock(ctx->mutex);
        basic.refresh(*ctx);
        program.refresh(*ctx);
        buffers.refresh(*ctx);
        ++refreshes;
    }
    feeder.join();
    {
        const std::lock_guard<std::mutex> lock(ctx->mutex);
        basic.refresh(*ctx);
        program.refresh(*ctx);
    }
    uint64_t sum = 0;
    for (const ClassShare& c : basic.info().classes)
        sum += c.packets;
    EXPECT_EQ(sum, ts.size() / 188);
    EXPECT_EQ(program.view().serviceName, "ORV News");
    EXPECT_EQ(buffers.summary().size(), 6u);
}

}  // namespace
}  // namespace orv
