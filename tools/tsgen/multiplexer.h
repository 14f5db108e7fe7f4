// The clean constant-bitrate multiplexer. The stream is a sequence of packet slots at uniform
// time: slot i starts at ticksAt(i) = floor(i * packetSize * 8 * 27e6 / bitrate) of the 27 MHz
// system clock (relative to pcrInitial). Each slot carries exactly one packet, chosen in this
// order of priority:
//   1. a PCR that is due (its program's PCR interval has elapsed): on the PCR PID, together with
//      that PID's next elementary stream packet when one is ready, else as an adaptation-only
//      packet (continuity counter not advanced);
//   2. PSI/SI: the next packet of a table PID that has sections queued. A table source spreads
//      its N sections, in G groups of `burst` sections, evenly over its repetition interval: the
//      group g of cycle c is queued at offset + c * interval + g * interval / G (with the
//      default burst of 1, section k at offset + c * interval + k * interval / N);
//   3. the elementary stream packet that has waited longest (see below);
//   4. a null packet (PID 0x1FFF, continuity counter 0, payload 0xFF).
// Elementary streams: access unit n (a video picture or `framesPerPes` audio frames) may be sent
// from start + n * frameDuration on; each PES packet is paced at a peak rate (1.5 times the
// nominal video rate; audio spread over its frame period). DTS of video picture k is
// (pcrInitial + start + delay + k * 40 ms) / 300, PTS is that of its display slot plus one frame;
// B pictures carry PTS only (it equals their DTS). Audio PTS = (pcrInitial + start + delay +
// n * duration) / 300. The last packet of each PES is completed with adaptation field stuffing.
// PCR fields are left zero here; the generator stamps them from the final output position.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/tsgen/elementary.h"
#include "tools/tsgen/packet.h"
#include "tools/tsgen/section_packetizer.h"
#include "tools/tsgen/sections.h"

namespace tsgen {

struct TableSource {
    uint16_t pid = 0;
    uint32_t intervalMs = 100;
    uint32_t offsetMs = 0;
    std::vector<Section> sections;
    // When set, the source has one section, built at each repetition from the UTC time of the
    // moment it is queued (TDT, TOT).
    std::function<Section(int64_t utc)> timed;
    bool pack = false;  // several sections per packet on this PID (the PID's first source decides)
    // One unbroken run of sections on this PID: a section's tail packet waits for the next
    // section and carries its start (pointer_field > 0); the PID's first source decides.
    bool continuous = false;
    // Sections queued together, as one group: the cycle's groups (not its sections) are spread
    // evenly over the interval, so with pack the sections of a group follow each other back to
    // back in shared packets. 1: every section on its own.
    unsigned burst = 1;
};

struct ProgramConfig {
    uint16_t programNumber = 1;
    uint16_t pmtPid = 0x100;
    uint16_t pcrPid = kNullPid;  // kNullPid: no PCR
    uint32_t pcrIntervalMs = 30;
    uint32_t pcrOffsetMs = 0;
    std::optional<VideoParams> video;
    std::vector<AudioParams> audios;
    Descriptors programInfo;
    // Further components listed in the PMT after video and audio; nothing is sent on them.
    std::vector<PmtStream> extraStreams;
};

struct StreamConfig {
    uint64_t bitrate = 8'000'000;  // bit/s, including the 16 extra bytes of 204-byte packets
    unsigned packetSize = 188;     // 188 or 204
    uint64_t packetCount = 0;
    uint64_t pcrInitial = 0;        // 27 MHz value of slot 0
    int64_t startUtc = 1709287200;  // 2024-03-01 10:00:00 UTC, time of slot 0 in TDT/TOT
    uint32_t pcrJitterNs = 0;       // each PCR moved by a seeded value in [-j, +j] ns
    uint64_t seed = 1;
    std::vector<ProgramConfig> programs;
    std::vector<TableSource> tables;
};

// 27 MHz ticks from slot 0 to slot i.
uint64_t ticksAt(const StreamConfig& cfg, uint64_t slot);
// Packets in `ms` milliseconds of stream: floor(ms * bitrate / (1000 * packetSize * 8)).
uint64_t packetsForMs(uint64_t ms, uint64_t bitrate, unsigned packetSize);
// The first slot whose time is at or after `ms`.
uint64_t slotAtMs(const StreamConfig& cfg, uint64_t ms);

// The PMT the program's configuration implies: stream_type 2 for video, 3 for audio (with an ISO
// 639 descriptor "eng"), then extraStreams; PCR_PID, programInfo.
Section pmtSectionFor(const ProgramConfig& program, uint8_t version = 0);
// The PAT of the configured programs (plus a network PID entry when networkPid is given).
Section patSectionFor(uint16_t transportStreamId, const std::vector<ProgramConfig>& programs,
                      std::optional<uint16_t> networkPid = std::nullopt);

// One packet of the clean stream and what the later stages need to know about it.
struct SlotPacket {
    uint8_t bytes[kPacketSize];
    uint16_t pid = kNullPid;
    bool pcr = false;  // bytes 6..11 await the PCR value
    int32_t tag = -1;  // used by the fault stage
};

class Multiplexer {
  public:
    // Throws std::invalid_argument for an unusable configuration (bad packet size, PID clash,
    // elementary streams needing more than 90 % of the bitrate, ...).
    explicit Multiplexer(const StreamConfig& cfg);
    ~Multiplexer();
    Multiplexer(const Multiplexer&) = delete;
    Multiplexer& operator=(const Multiplexer&) = delete;

    // Fills `out` with the packet of the next slot.
    void next(SlotPacket& out);
    uint64_t slot() const { return slot_; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    uint64_t slot_ = 0;
};

}  // namespace tsgen
