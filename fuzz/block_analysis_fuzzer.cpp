// The block analysis over arbitrary bytes: a run is initialised the way an offline run is (from a
// generated two-program stream, or from the input itself), then the input is fed to the block
// driver in blocks whose size the input chooses, offline or online with card times.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "acquisition/stream_bitrate.h"
#include "acquisition/sync_search.h"
#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/event_log.h"
#include "engine/pcr_analysis.h"
#include "engine/program_discovery.h"
#include "fuzz/fuzz_inputs.h"

namespace {

using namespace orv;
namespace fb = orv::fuzz::block;

// The generated stream the run is initialised from (two programs, PCR, PSI), per packet length.
const std::vector<uint8_t>& initStream(unsigned packetSize) {
    static const std::vector<uint8_t> s188 = fuzz::generatedStream(188, fuzz::kInitStreamMs),
                                      s204 = fuzz::generatedStream(204, fuzz::kInitStreamMs);
    return packetSize == 204 ? s204 : s188;
}

void drain(void* arg) {
    EventLog& log = *static_cast<EventLog*>(arg);
    closeForDrain(log);
    reopenAfterDrain(log);
}

// The steps of an offline run up to the main pass; a stream without a usable PCR pair is timed
// at a fixed rate, as when the user gives one.
void initialise(AnalysisContext& ctx, const uint8_t* bytes, std::size_t length) {
    initBlock(ctx, bytes, length);
    finishInit(ctx);
    measureStreamBitrate(ctx, bytes, length);
    if (!(ctx.streamBitrate.current > 0.0)) ctx.streamBitrate = {4.0, 4.0, 4.0, 4.0};
    ctx.packetCounter = 0;
    clearPcrRings(ctx);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < fb::kHeaderSize) return 0;
    const uint8_t flags = data[0];
    const uint32_t mask = uint32_t(data[1]) << 24 | data[2] << 16 | data[3] << 8 | data[4];
    const unsigned packetLength = (flags & fb::k204) ? 204 : 188;
    const std::size_t packetsPerBlock = data[5] == 0 ? 400 : data[5];
    const std::size_t blockBytes = packetsPerBlock * packetLength + data[6] % packetLength;
    const uint8_t* stream = data + fb::kHeaderSize;
    const std::size_t streamLength = size - fb::kHeaderSize;

    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    if (flags & fb::kSwitchMask) {
        for (int k = 0; k < kKindCount; ++k)
            ctx->monitorEnabled[k] = (mask >> k) & 1;
    }
    ctx->runState = RunState::Running;
    ctx->analysisActive = true;
    ctx->analysisMode = (flags & fb::kOnline) ? AnalysisMode::Online : AnalysisMode::Offline;
    ctx->packetLength = static_cast<int>(packetLength);
    ctx->log.onFull = drain;
    ctx->log.onFullArg = &ctx->log;

    if (flags & fb::kInitFromInput) {
        findStreamSync(stream, std::min(streamLength, kSyncSearchHead), streamLength);
        initialise(*ctx, stream, streamLength);
    } else {
        const std::vector<uint8_t>& init = initStream(packetLength);
        initialise(*ctx, init.data(), init.size());
    }
    beginRun(*ctx, (flags & fb::kOnline) ? kEventRunStart : kEventOfflineStart);

    std::vector<uint32_t> cardTimes;
    std::size_t offset = 0;
    while (offset < streamLength && ctx->runState == RunState::Running) {
        const std::size_t n = std::min(blockBytes, streamLength - offset);
        std::span<const uint32_t> times;
        if (flags & fb::kOnline) {
            // One card time per 40-packet unit, taken from the block's own bytes.
            cardTimes.assign(n / (40 * packetLength) + 1, 0);
            for (std::size_t i = 0; i < cardTimes.size(); ++i)
                cardTimes[i] = 1000u + stream[offset + (i * 7) % n] * 977u;
            times = cardTimes;
        }
        const std::size_t left = analyseBlock(*ctx, stream + offset, n, times);
        offset += n;
        // What the block driver promises whatever the bytes: less than a packet left over, and
        // the fixed tables within their sizes.
        if (left >= packetLength || ctx->programCount() > kMaxPrograms ||
            ctx->unreferencedCount > kMaxUnreferencedPids || ctx->initPids.count > kMaxInitPids)
            __builtin_trap();
    }
    teardownRun(*ctx);
    return 0;
}
