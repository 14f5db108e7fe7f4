// The PCR step of the common packet on a PCR PID, small enough for the packet loop: a packet
// with neither a PCR nor a discontinuity_indicator is only counted, by the first program
// measured on its PID. Everything else goes through AnalysePcrPacket.
#pragma once

#include <cstdint>

#include "engine/analysis_context.h"
#include "engine/packet_header.h"

namespace orv {

// A program whose PCRs are measured: one with a video or another component.
inline bool measuresPcr(const ProgramEntry& prog) {
    return prog.video.present || prog.componentCount > 0;
}

// False only for a packet that carries neither a PCR nor a discontinuity_indicator: an
// adaptation field with PCR_flag or the indicator set may carry them.
inline bool mayCarryPcr(const uint8_t* packet) {
    return hasAdaptationField(packet) && packet[4] > 0 && (packet[5] & 0x90) != 0;
}

// Counts a packet of the track's PID: the continuity counter of the last one with a payload (or
// of the first one) and the number of packets.
inline void countPcrPidPacket(PcrTrack& t, const uint8_t* packet, unsigned pid) {
    t.pcrPid = static_cast<uint16_t>(pid);
    if (t.packets == 0 || hasPayload(packet)) t.lastCc = continuityCounter(packet);
    ++t.packets;
}

}  // namespace orv
