// Damaged input through discovery and the block driver: random garbage, mutated generated streams
// and blocks of every awkward length. Run under the sanitizers, any read past a buffer fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/program_discovery.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

// Flips random bytes, favouring the header and the first payload bytes where lengths live.
void mutate(std::vector<uint8_t>& ts, std::mt19937& rng, int flips) {
    std::uniform_int_distribution<std::size_t> packet(0, ts.size() / 188 - 1);
    std::uniform_int_distribution<int> offset(0, 12), any(0, 187), byte(0, 255), coin(0, 3);
    for (int i = 0; i < flips; ++i) {
        const std::size_t at = packet(rng) * 188 + (coin(rng) != 0 ? offset(rng) : any(rng));
        ts[at] = static_cast<uint8_t>(byte(rng));
    }
}

void analyseInBlocks(AnalysisContext& ctx, const std::vector<uint8_t>& ts, std::mt19937& rng) {
    std::uniform_int_distribution<std::size_t> blockLen(0, 3 * 204 + 7);
    std::size_t off = 0;
    while (off < ts.size()) {
        const std::size_t n = std::min(blockLen(rng), ts.size() - off);
        const std::size_t left = analyseBlock(ctx, ts.data() + off, n);
        ASSERT_LT(left, static_cast<std::size_t>(ctx.packetLength));
        off += n;
        if (ctx.log.pendingCount.load() >= kMaxEvents) reopenAfterDrain(ctx.log);
    }
}

TEST(SpineRobustness, MutatedStreamsAndOddBlockLengths) {
    tsgen::PresetOptions opt;
    opt.durationMs = 3000;
    const tsgen::Preset preset = tsgen::cleanPreset(opt);
    const std::vector<uint8_t> clean = tsgen::generateStream(preset.config, {});
    std::mt19937 rng(20261207);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        std::vector<uint8_t> ts = clean;
        mutate(ts, rng, 2000);
        auto ctx = std::make_unique<AnalysisContext>();
        resetAll(*ctx);
        enableAllMonitoring(*ctx);
        initBlock(*ctx, ts.data(), ts.size());
        finishInit(*ctx);
        ctx->streamBitrate.current = 8.0;
        beginRun(*ctx, kEventOfflineStart);
        analyseInBlocks(*ctx, ts, rng);
        EXPECT_LE(ctx->programCount(), kMaxPrograms);
        EXPECT_LE(ctx->unreferencedCount, kMaxUnreferencedPids);
    }
}

TEST(SpineRobustness, GarbageWithSyncBytes) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255), coin(0, 9);
    for (int packetLength : {188, 204}) {
        std::vector<uint8_t> junk(200'000);
        for (uint8_t& b : junk)
            b = coin(rng) == 0 ? 0x47 : static_cast<uint8_t>(byte(rng));
        auto ctx = std::make_unique<AnalysisContext>();
        resetAll(*ctx);
        enableAllMonitoring(*ctx);
        ctx->packetLength = packetLength;
        initBlock(*ctx, junk.data(), junk.size());
        finishInit(*ctx);
        beginRun(*ctx, kEventOfflineStart);
        analyseInBlocks(*ctx, junk, rng);
        EXPECT_EQ(analyseBlock(*ctx, nullptr, 0), 0u);
    }
}

}  // namespace
}  // namespace orv
