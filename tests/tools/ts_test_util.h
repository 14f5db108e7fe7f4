// Small, independent readers of transport streams for the tsgen tests: they share no code with
// the generator, so a fault in the generator's layout shows up as a mismatch here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/packet_header.h"

namespace tsgen_test {

using Bytes = std::vector<uint8_t>;

inline const uint8_t* packetAt(const Bytes& s, std::size_t i, std::size_t size = 188) {
    return s.data() + i * size;
}
inline std::size_t packetCount(const Bytes& s, std::size_t size = 188) {
    return s.size() / size;
}

inline std::optional<uint64_t> pcrOf(const uint8_t* p) {
    if (!orv::hasAdaptationField(p) || p[4] < 7 || (p[5] & 0x10) == 0) return std::nullopt;
    const uint64_t base = (uint64_t{p[6]} << 25) | (uint64_t{p[7]} << 17) | (uint64_t{p[8]} << 9) |
                          (uint64_t{p[9]} << 1) | (p[10] >> 7);
    return base * 300 + ((uint64_t{p[10]} & 1) << 8 | p[11]);
}

inline uint64_t timestampAt(const uint8_t* f) {
    return (uint64_t{f[0]} >> 1 & 7) << 30 | uint64_t{f[1]} << 22 | (uint64_t{f[2]} >> 1) << 15 |
           uint64_t{f[3]} << 7 | (f[4] >> 1);
}

struct PesStamp {
    std::size_t packet;
    uint64_t pts;
    std::optional<uint64_t> dts;
};

// PTS/DTS of every PES header that starts in a packet of `pid`.
inline std::vector<PesStamp> pesStamps(const Bytes& s, unsigned pid, std::size_t size = 188) {
    std::vector<PesStamp> out;
    for (std::size_t i = 0; i < packetCount(s, size); ++i) {
        const uint8_t* p = packetAt(s, i, size);
        if (orv::packetPid(p) != pid || !orv::payloadUnitStart(p)) continue;
        const unsigned off = orv::payloadOffset(p);
        if (off + 19 > 188) continue;
        const uint8_t* h = p + off;
        if (h[0] != 0 || h[1] != 0 || h[2] != 1 || (h[7] & 0x80) == 0) continue;
        PesStamp st{i, timestampAt(h + 9), std::nullopt};
        if (h[7] & 0x40) st.dts = timestampAt(h + 14);
        out.push_back(st);
    }
    return out;
}

struct FoundSection {
    std::size_t packet;  // packet where the section starts
    Bytes bytes;
};

// Reassembles the sections of one PID by pointer_field and section_length, including several
// sections in one packet and 0xFF stuffing. Sections cut short by the end are dropped.
inline std::vector<FoundSection> sectionsOn(const Bytes& s, unsigned pid, std::size_t size = 188) {
    std::vector<FoundSection> out;
    Bytes cur;
    std::size_t curStart = 0, need = 0;
    bool inSection = false;
    auto take = [&](const uint8_t* d, std::size_t n, std::size_t packet) {
        // Consumes n bytes: completes the running section, then parses new starts.
        std::size_t i = 0;
        while (i < n) {
            if (!inSection) {
                if (d[i] == 0xFF) return;  // stuffing to the end of the packet
                inSection = true;
                cur.clear();
                curStart = packet;
                need = 0;
            }
            cur.push_back(d[i++]);
            if (cur.size() == 3) need = 3 + (((cur[1] & 0x0F) << 8) | cur[2]);
            if (need && cur.size() == need) {
                out.push_back({curStart, cur});
                inSection = false;
            }
        }
    };
    for (std::size_t i = 0; i < packetCount(s, size); ++i) {
        const uint8_t* p = packetAt(s, i, size);
        if (orv::packetPid(p) != pid || !orv::hasPayload(p)) continue;
        const unsigned off = orv::payloadOffset(p);
        if (off >= 188) continue;
        if (orv::payloadUnitStart(p)) {
            const unsigned ptr = p[off];
            if (inSection) take(p + off + 1, ptr, i);
            inSection = false;  // whatever was left is abandoned
            take(p + off + 1 + ptr, 188 - off - 1 - ptr, i);
        } else if (inSection) {
            take(p + off, 188 - off, i);
        }
    }
    return out;
}

// Indices of the 188-byte packets that differ between two streams of equal length.
inline std::vector<std::size_t> differingPackets(const Bytes& a, const Bytes& b,
                                                 std::size_t size = 188) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < packetCount(a, size) && i < packetCount(b, size); ++i)
        if (!std::equal(a.begin() + i * size, a.begin() + (i + 1) * size, b.begin() + i * size))
            out.push_back(i);
    return out;
}

}  // namespace tsgen_test
