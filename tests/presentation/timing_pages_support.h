// What the PCR and PES page tests share: tsgen streams written to a scratch file and analysed
// offline, and a reading of the stream's own bytes (PCR and PES time stamps with their packet
// indices) that the expected values are computed from, independently of the engine.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "tests/support/engine_run.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::test {

inline std::string scratchFile(const std::string& name, const std::vector<uint8_t>& ts) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("orv-timing-" + std::to_string(::getpid()) + "-" + name + ".ts");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(ts.data()), static_cast<std::streamsize>(ts.size()));
    return path.string();
}

// The clean two-program preset (program 1: PCR in the video 0x101; program 2: PCR on 0x210),
// 8 Mbit/s, 188-byte packets: one packet lasts 0.188 ms, 5076 ticks of 27 MHz.
inline std::vector<uint8_t> cleanStream(const std::vector<tsgen::Fault>& faults,
                                        uint64_t seconds = 10) {
    tsgen::PresetOptions o;
    o.durationMs = seconds * 1000;
    return tsgen::generateStream(tsgen::cleanPreset(o).config, faults);
}

inline EngineRun analyseOffline(const std::vector<uint8_t>& ts) {
    EngineRunOptions o;
    o.offline = true;
    return runEngine(ts, o);
}

struct StreamPcr {
    uint64_t index;  // packet index from 0
    int64_t pcr;     // 27 MHz
};

// Every PCR of `pid`, read straight from the packet bytes.
inline std::vector<StreamPcr> streamPcrs(const std::vector<uint8_t>& ts, unsigned pid) {
    std::vector<StreamPcr> out;
    for (std::size_t off = 0; off + 188 <= ts.size(); off += 188) {
        const uint8_t* p = ts.data() + off;
        if (p[0] != 0x47 || ((p[1] & 0x1F) << 8 | p[2]) != pid) continue;
        if ((p[3] & 0x20) == 0 || p[4] < 7 || (p[5] & 0x10) == 0) continue;
        const int64_t base = int64_t{p[6]} << 25 | int64_t{p[7]} << 17 | int64_t{p[8]} << 9 |
                             int64_t{p[9]} << 1 | p[10] >> 7;
        out.push_back({off / 188, base * 300 + ((p[10] & 1) << 8 | p[11])});
    }
    return out;
}

struct StreamPes {
    uint64_t index;
    int64_t pts, dts;  // 90 kHz; dts = pts without a DTS
};

// The PES headers with a PTS that start in packets of `pid`.
inline std::vector<StreamPes> streamPes(const std::vector<uint8_t>& ts, unsigned pid) {
    auto stamp = [](const uint8_t* f) {
        return (int64_t{f[0]} >> 1 & 7) << 30 | int64_t{f[1]} << 22 | (int64_t{f[2]} >> 1) << 15 |
               int64_t{f[3]} << 7 | f[4] >> 1;
    };
    std::vector<StreamPes> out;
    for (std::size_t off = 0; off + 188 <= ts.size(); off += 188) {
        const uint8_t* p = ts.data() + off;
        if (p[0] != 0x47 || (p[1] & 0x40) == 0 || ((p[1] & 0x1F) << 8 | p[2]) != pid) continue;
        const std::size_t at = (p[3] & 0x20) ? 5u + p[4] : 4u;
        if (at + 19 > 188 || p[at] != 0 || p[at + 1] != 0 || p[at + 2] != 1) continue;
        const unsigned flags = p[at + 7] >> 6;
        if (flags < 2) continue;
        const int64_t pts = stamp(p + at + 9);
        out.push_back({off / 188, pts, flags == 3 ? stamp(p + at + 14) : pts});
    }
    return out;
}

}  // namespace orv::test
