// Hand-built transport packets for engine tests that need exact header bits.
#pragma once

#include <cstdint>
#include <vector>

namespace orv::test {

struct Pkt {
    unsigned pid = 0x100;
    unsigned cc = 0;
    unsigned afc = 1;  // adaptation_field_control
    bool pusi = false;
    bool tei = false;
    unsigned scrambling = 0;
    uint8_t sync = 0x47;
    bool discontinuity = false;  // discontinuity_indicator (afc 2 or 3 only)
};

inline void appendPacket(std::vector<uint8_t>& out, const Pkt& p, std::size_t packetLength = 188) {
    const std::size_t at = out.size();
    out.resize(at + packetLength, 0xFF);
    uint8_t* b = out.data() + at;
    b[0] = p.sync;
    b[1] = static_cast<uint8_t>((p.tei ? 0x80 : 0) | (p.pusi ? 0x40 : 0) | ((p.pid >> 8) & 0x1F));
    b[2] = static_cast<uint8_t>(p.pid & 0xFF);
    b[3] = static_cast<uint8_t>((p.scrambling << 6) | ((p.afc & 3) << 4) | (p.cc & 0xF));
    if (p.afc == 2) {
        b[4] = 183;
        b[5] = p.discontinuity ? 0x80 : 0;
    } else if (p.afc == 3) {
        b[4] = 1;
        b[5] = p.discontinuity ? 0x80 : 0;
    }
}

inline std::vector<uint8_t> packets(std::initializer_list<Pkt> list, std::size_t len = 188) {
    std::vector<uint8_t> out;
    for (const Pkt& p : list)
        appendPacket(out, p, len);
    return out;
}

}  // namespace orv::test
