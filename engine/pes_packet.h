// The PES step of the common packet of a video or audio component, small enough for the packet
// loop: a packet without payload_unit_start_indicator continues the PES packet in progress, so it
// is only counted and its payload offered to the elementary stream header scan. A packet with the
// indicator set goes through AnalysePesPacket.
#pragma once

#include <cstdint>

#include "engine/analysis_context.h"
#include "engine/es_header_scan.h"
#include "engine/packet_header.h"
#include "engine/pes_timing.h"

namespace orv {

// The payload from byte `off` of an unscrambled packet that belongs to the component's current
// PES packet: counted there, and scanned for the elementary stream headers not yet read.
inline void addPesPayload(ProgramEntry& prog, PesTiming& t, PesClass cls, int component,
                          const uint8_t* packet, unsigned off) {
    const auto payload = static_cast<unsigned>(kTsPacketSize) - off;
    t.packetsSincePesStart += 1;
    t.bytesSincePesStart += payload;
    if (payload == 0) return;
    if (cls == PesClass::Video)
        scanVideoPayload(prog.timing.video.es, packet, off);
    else
        scanAudioPayload(prog.timing.audio[component].es, packet, off, false);
}

// AnalysePesPacket for the block driver, which knows that the program and the component exist.
inline void pesComponentPacket(AnalysisContext& ctx, ProgramEntry& prog, int programIndex,
                               PesClass cls, int component, const uint8_t* packet) {
    if (payloadUnitStart(packet)) {
        AnalysePesPacket(ctx, programIndex, cls, component, packet);
        return;
    }
    PesTiming& t =
        cls == PesClass::Video ? prog.timing.video.pes : prog.timing.audio[component].pes;
    t.scrambled = scramblingControl(packet) != 0;
    if (t.scrambled) return;
    addPesPayload(prog, t, cls, component, packet, payloadOffset(packet));
}

}  // namespace orv
