// A whole stream through the engine as the offline main pass runs it, for the timing tests: the
// shared runner at a given packet length and bitrate.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tests/support/engine_run.h"

namespace orv {

using StreamRun = test::EngineRun;

// Discovery on the first 40000 packets, then the block driver in blocks of 400 packets, at a
// stream bitrate of `mbps`, with every switch on and then `configure` applied.
inline StreamRun runStream(const std::vector<uint8_t>& ts, unsigned packetSize, double mbps = 8.0,
                           const std::function<void(AnalysisContext&)>& configure = {}) {
    test::EngineRunOptions o;
    o.packetLength = static_cast<int>(packetSize);
    o.mbps = mbps;
    o.setup = configure;
    return test::runEngine(ts, o);
}

}  // namespace orv
