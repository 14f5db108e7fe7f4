// Transport packet layout helpers shared by the packetizers, the multiplexer and the faults.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsgen {

inline constexpr std::size_t kPacketSize = 188;
inline constexpr std::size_t kPayloadSize = 184;
inline constexpr uint8_t kSync = 0x47;
inline constexpr uint16_t kNullPid = 0x1FFF;
// 2^33 * 300: the PCR wraps here.
inline constexpr uint64_t kPcrModulus = (uint64_t{1} << 33) * 300;
inline constexpr uint64_t kPtsModulus = uint64_t{1} << 33;
inline constexpr uint64_t kSystemClock = 27'000'000;

// adaptation_field_control values.
inline constexpr unsigned kPayloadOnly = 1, kAdaptationOnly = 2, kAdaptationAndPayload = 3;

inline void writeHeader(uint8_t* p, uint16_t pid, bool pusi, unsigned afc, unsigned cc) {
    p[0] = kSync;
    p[1] = static_cast<uint8_t>((pusi ? 0x40 : 0) | ((pid >> 8) & 0x1F));
    p[2] = static_cast<uint8_t>(pid & 0xFF);
    p[3] = static_cast<uint8_t>((afc << 4) | (cc & 0x0F));
}

inline uint16_t pidOf(const uint8_t* p) {
    return static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
}
inline bool pusiOf(const uint8_t* p) {
    return (p[1] & 0x40) != 0;
}
inline bool hasPayloadBit(const uint8_t* p) {
    return (p[3] & 0x10) != 0;
}
inline bool hasAdaptationBit(const uint8_t* p) {
    return (p[3] & 0x20) != 0;
}
inline unsigned ccOf(const uint8_t* p) {
    return p[3] & 0x0F;
}
inline void setCc(uint8_t* p, unsigned cc) {
    p[3] = static_cast<uint8_t>((p[3] & 0xF0) | (cc & 0x0F));
}
// Offset of the payload, or 188 when there is none.
inline std::size_t payloadStart(const uint8_t* p) {
    if (!hasPayloadBit(p)) return kPacketSize;
    if (!hasAdaptationBit(p)) return 4;
    const std::size_t off = 5u + p[4];
    return off < kPacketSize ? off : kPacketSize;
}
// True when the packet's adaptation field carries a PCR (bytes 6..11).
inline bool carriesPcr(const uint8_t* p) {
    return hasAdaptationBit(p) && p[4] >= 7 && (p[5] & 0x10) != 0;
}

// The 6 PCR bytes: 33-bit base, 6 reserved ones, 9-bit extension.
inline void writePcr(uint8_t* at, uint64_t pcr27) {
    const uint64_t base = pcr27 / 300 % kPtsModulus, ext = pcr27 % 300;
    at[0] = static_cast<uint8_t>(base >> 25);
    at[1] = static_cast<uint8_t>(base >> 17);
    at[2] = static_cast<uint8_t>(base >> 9);
    at[3] = static_cast<uint8_t>(base >> 1);
    at[4] = static_cast<uint8_t>(((base & 1) << 7) | 0x7E | (ext >> 8));
    at[5] = static_cast<uint8_t>(ext & 0xFF);
}
inline uint64_t readPcr(const uint8_t* at) {
    const uint64_t base = (uint64_t{at[0]} << 25) | (uint64_t{at[1]} << 17) |
                          (uint64_t{at[2]} << 9) | (uint64_t{at[3]} << 1) | (at[4] >> 7);
    return base * 300 + (((at[4] & 1u) << 8) | at[5]);
}

// A 33-bit PTS/DTS field with its 4-bit prefix and marker bits.
inline void writeTimestamp(uint8_t* at, unsigned prefix, uint64_t ts) {
    ts %= kPtsModulus;
    at[0] = static_cast<uint8_t>((prefix << 4) | ((ts >> 29) & 0x0E) | 1);
    at[1] = static_cast<uint8_t>(ts >> 22);
    at[2] = static_cast<uint8_t>(((ts >> 14) & 0xFE) | 1);
    at[3] = static_cast<uint8_t>(ts >> 7);
    at[4] = static_cast<uint8_t>(((ts << 1) & 0xFE) | 1);
}
inline uint64_t readTimestamp(const uint8_t* at) {
    return (uint64_t{at[0]} >> 1 & 7) << 30 | (uint64_t{at[1]} << 22) |
           (uint64_t{at[2]} >> 1 << 15) | (uint64_t{at[3]} << 7) | (at[4] >> 1);
}

}  // namespace tsgen
