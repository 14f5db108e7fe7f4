// Ready-made streams: `clean` (two programs, full PSI/SI, no faults) and `sample` (the bundled
// sample stream: `clean` plus an EPG schedule and five deliberate faults).
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "tools/tsgen/faults.h"
#include "tools/tsgen/multiplexer.h"

namespace tsgen {

struct PresetOptions {
    uint64_t bitrate = 8'000'000;
    unsigned packetSize = 188;
    std::optional<uint64_t> durationMs;  // unset: the preset's own length
    // PAT, CAT and PMTs sent as one unbroken run of sections per PID (TableSource::continuous).
    bool packedPsi = false;
    // Private data components (stream_type 0x06, PIDs PMT PID + 0x40 + k, each with an ISO 639
    // descriptor) listed in every PMT after its video and audio, up to kMaxPmtDataStreams; nothing
    // is sent on them. With enough of them a PMT spans several packets.
    unsigned pmtDataStreams = 0;
    bool siStuffing = false;  // a stuffing section 100 ms behind each NIT and each SDT
    // SI sections packed back to back on their PIDs (TableSource::pack). The EIT sections go in
    // bursts of one section per service: the present sections of every service together, the
    // following half an interval later, and the schedule one segment of every service at a time,
    // so sections of one sub_table stay far more than 25 ms apart.
    bool packedSi = false;
    // Every program's PMT on the first program's PMT PID, all queued at once and packed back to
    // back behind one pointer_field (so one packet carries several programs' PMTs).
    bool sharedPmtPid = false;
};

// Data components that keep a PMT of one video and one audio within 1024 bytes.
inline constexpr unsigned kMaxPmtDataStreams = 90;

struct Preset {
    StreamConfig config;
    std::vector<Fault> faults;
};

Preset cleanPreset(const PresetOptions& options = {});
Preset samplePreset(const PresetOptions& options = {});
// Ten programs (PMT PIDs 0x100, 0x200, ... 0xA00; video with PCR on PMT + 1, audio on PMT + 2)
// with full SI and an EPG schedule: the large multiplex of the end-to-end benchmark.
Preset tenProgramPreset(const PresetOptions& options = {});
std::optional<Preset> presetByName(std::string_view name, const PresetOptions& options = {});

}  // namespace tsgen
