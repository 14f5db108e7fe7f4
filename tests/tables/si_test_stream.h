// Streams of SI sections placed at exact times for the table tests: at the test bitrate one
// packet lasts exactly 1 ms, so a section placed at `ms` starts in packet `ms` and every interval
// the analyser measures is a whole number of milliseconds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/program_discovery.h"
#include "tests/support/engine_run.h"
#include "tools/tsgen/section_packetizer.h"
#include "tools/tsgen/sections.h"

namespace orv::tables_test {

inline constexpr double kOnePacketPerMs = 188 * 8 / 1000.0;  // Mbit/s

struct TimedSection {
    uint16_t pid = 0;
    uint64_t ms = 0;
    tsgen::Section bytes;
};

inline void putNullPacket(uint8_t* p) {
    std::memset(p, 0xFF, 188);
    p[0] = 0x47;
    p[1] = 0x1F;
    p[2] = 0xFF;
    p[3] = 0x10;
}

// Sections sent together from `ms` on, packed back to back: a section may start in the packet
// where the one before it ends.
struct TimedBurst {
    uint16_t pid = 0;
    uint64_t ms = 0;
    std::vector<tsgen::Section> sections;
};

// Bursts in time order (the caller keeps those of one PID at least their packet count apart);
// null packets fill every other millisecond.
inline std::vector<uint8_t> timedBursts(const std::vector<TimedBurst>& bursts) {
    std::map<uint64_t, std::vector<uint8_t>> slots;
    std::map<uint16_t, unsigned> cc;
    for (const TimedBurst& b : bursts) {
        const std::vector<uint8_t> packets =
            tsgen::packetizeSections(b.pid, b.sections, cc[b.pid], true);
        for (std::size_t i = 0; i * 188 < packets.size(); ++i) {
            uint64_t slot = b.ms + i;
            while (slots.count(slot))
                ++slot;  // another PID's packet is already there
            slots[slot].assign(packets.begin() + i * 188, packets.begin() + (i + 1) * 188);
        }
    }
    const uint64_t count = slots.empty() ? 0 : slots.rbegin()->first + 1;
    std::vector<uint8_t> ts(count * 188);
    for (uint64_t i = 0; i < count; ++i) {
        const auto it = slots.find(i);
        if (it != slots.end())
            std::memcpy(ts.data() + i * 188, it->second.data(), 188);
        else
            putNullPacket(ts.data() + i * 188);
    }
    return ts;
}

// Sections in time order, each starting a packet of its own.
inline std::vector<uint8_t> timedStream(const std::vector<TimedSection>& sections) {
    std::vector<TimedBurst> bursts;
    for (const TimedSection& s : sections)
        bursts.push_back({s.pid, s.ms, {s.bytes}});
    return timedBursts(bursts);
}

using MainPassRun = test::EngineRun;

// The main pass over a stream with every switch on (setup may change that), at one packet per ms
// unless another bitrate (Mbit/s) is given.
// withInit: the stream first goes through the initialisation phase, as an offline run does.
inline MainPassRun runMainPass(const std::vector<uint8_t>& ts,
                               const std::function<void(AnalysisContext&)>& setup = {},
                               bool withInit = false, double bitrate = kOnePacketPerMs) {
    test::EngineRunOptions o;
    o.mbps = bitrate;
    o.initPackets = withInit ? SIZE_MAX : 0;
    o.setup = setup;
    return test::runEngine(ts, o);
}

}  // namespace orv::tables_test
