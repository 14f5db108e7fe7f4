// Bit accessors of the 4-byte transport packet header and the position of its payload.
// Every function reads only the first 188 bytes of a packet; callers guarantee that many.
#pragma once

#include <cstdint>

namespace orv {

inline bool transportErrorIndicator(const uint8_t* p) {
    return (p[1] & 0x80) != 0;
}
inline bool payloadUnitStart(const uint8_t* p) {
    return (p[1] & 0x40) != 0;
}
inline unsigned packetPid(const uint8_t* p) {
    return (unsigned(p[1] & 0x1F) << 8) | p[2];
}
inline unsigned scramblingControl(const uint8_t* p) {
    return p[3] >> 6;
}
inline unsigned adaptationFieldControl(const uint8_t* p) {
    return (p[3] >> 4) & 0x3;
}
inline unsigned continuityCounter(const uint8_t* p) {
    return p[3] & 0x0F;
}
inline bool hasPayload(const uint8_t* p) {
    return (p[3] & 0x10) != 0;
}
inline bool hasAdaptationField(const uint8_t* p) {
    return (p[3] & 0x20) != 0;
}
// Meaningful only when hasAdaptationField().
inline unsigned adaptationFieldLength(const uint8_t* p) {
    return p[4];
}

// discontinuity_indicator of the adaptation field; false without an adaptation field or when
// its length is 0 (no flags byte).
inline bool discontinuityIndicator(const uint8_t* p) {
    return hasAdaptationField(p) && p[4] > 0 && (p[5] & 0x80) != 0;
}

// Offset of the first payload byte within the 188-byte packet, or 188 when the packet carries no
// payload (adaptation field control 00 or 10) or its adaptation field claims the whole packet.
inline unsigned payloadOffset(const uint8_t* p) {
    if (!hasPayload(p)) return 188;
    if (!hasAdaptationField(p)) return 4;
    unsigned off = 5u + p[4];
    return off < 188 ? off : 188;
}

}  // namespace orv
