// A whole stream through the engine as the offline main pass runs it: discovery on the first
// 40000 packets, then the block driver in blocks of 400 packets, keeping every error event.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/program_discovery.h"

namespace orv {

struct StreamRun {
    std::unique_ptr<AnalysisContext> ctx = std::make_unique<AnalysisContext>();
    std::vector<int> codes;  // error events
    std::vector<std::string> details;

    int count(int code) const {
        return static_cast<int>(std::count(codes.begin(), codes.end(), code));
    }
    int bufferEvents() const {
        return static_cast<int>(std::count_if(codes.begin(), codes.end(),
                                              [](int c) { return c >= 1140 && c <= 1150; }));
    }
};

// Discovery on the first 40000 packets, then the block driver in blocks of 400 packets, at a
// stream bitrate of `mbps`, with every switch on and then `configure` applied.
inline StreamRun runStream(const std::vector<uint8_t>& ts, unsigned packetSize, double mbps = 8.0,
                           const std::function<void(AnalysisContext&)>& configure = {}) {
    StreamRun run;
    AnalysisContext& ctx = *run.ctx;
    resetAll(ctx);
    enableAllMonitoring(ctx);
    if (configure) configure(ctx);
    ctx.packetLength = static_cast<int>(packetSize);
    initBlock(ctx, ts.data(), std::min<std::size_t>(ts.size(), 40000u * packetSize));
    finishInit(ctx);
    ctx.streamBitrate.current = mbps;
    beginRun(ctx, kEventOfflineStart);
    for (std::size_t off = 0; off < ts.size(); off += 400u * packetSize) {
        analyseBlock(ctx, ts.data() + off,
                     std::min<std::size_t>(400u * packetSize, ts.size() - off));
        const int n = closeForDrain(ctx.log);
        for (int i = 0; i < n; ++i) {
            const EventRecord& r = ctx.log.records[static_cast<std::size_t>(i)];
            if (r.code < 1010) continue;
            run.codes.push_back(r.code);
            run.details.emplace_back(r.detail());
        }
        reopenAfterDrain(ctx.log);
    }
    return run;
}

}  // namespace orv
