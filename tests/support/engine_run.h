// A whole stream through the engine as the offline main pass runs it: the initialisation phase on
// the first packets, then the block driver in blocks of 400 packets, with the event batch drained
// after every block so no event is lost. The one runner of the engine, table and timing tests.
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

namespace orv::test {

struct EngineRunOptions {
    int packetLength = 188;
    double mbps = 8.0;  // the stream bitrate the main pass is timed at
    // Packets the initialisation phase sees first: 40000 as an offline run, 0 for none (the main
    // pass then starts without programs), SIZE_MAX for the whole stream.
    std::size_t initPackets = 40'000;
    // As the offline source: analysisMode offline and the four bitrate figures at mbps.
    bool offline = false;
    std::function<void(AnalysisContext&)> setup;  // after every switch is turned on
};

struct LoggedEvent {
    int code = 0;
    std::string detail;
};

struct EngineRun {
    std::unique_ptr<AnalysisContext> ctx = std::make_unique<AnalysisContext>();
    std::vector<LoggedEvent> events;  // every event in order, run events included
    std::vector<int> codes;           // the error events (run events left out) in order
    std::vector<std::string> details;

    int count(int code) const {
        return static_cast<int>(std::count(codes.begin(), codes.end(), code));
    }
    std::string detailOf(int code) const {
        for (std::size_t i = 0; i < codes.size(); ++i)
            if (codes[i] == code) return details[i];
        return {};
    }
    int bufferEvents() const {
        return static_cast<int>(std::count_if(codes.begin(), codes.end(),
                                              [](int c) { return c >= 1140 && c <= 1150; }));
    }
};

inline EngineRun runEngine(const std::vector<uint8_t>& ts, const EngineRunOptions& o = {}) {
    EngineRun run;
    AnalysisContext& ctx = *run.ctx;
    resetAll(ctx);
    enableAllMonitoring(ctx);
    if (o.setup) o.setup(ctx);
    ctx.packetLength = o.packetLength;
    const auto len = static_cast<std::size_t>(o.packetLength);
    if (o.offline) ctx.analysisMode = AnalysisMode::Offline;
    if (o.initPackets > 0)
        initBlock(ctx, ts.data(),
                  o.initPackets >= ts.size() / len ? ts.size() : o.initPackets * len);
    finishInit(ctx);
    if (o.offline)
        ctx.streamBitrate = {o.mbps, o.mbps, o.mbps, o.mbps};
    else
        ctx.streamBitrate.current = o.mbps;
    beginRun(ctx, kEventOfflineStart);
    for (std::size_t off = 0; off < ts.size(); off += 400 * len) {
        analyseBlock(ctx, ts.data() + off, std::min(400 * len, ts.size() - off));
        const int n = closeForDrain(ctx.log);
        for (int i = 0; i < n; ++i) {
            const EventRecord& r = ctx.log.records[static_cast<std::size_t>(i)];
            run.events.push_back({r.code, std::string(r.detail())});
            if (r.code < 1010) continue;
            run.codes.push_back(r.code);
            run.details.emplace_back(r.detail());
        }
        reopenAfterDrain(ctx.log);
    }
    return run;
}

}  // namespace orv::test
