// Big-endian field readers of PSI/SI sections. Callers check that the bytes are inside the
// section before they read.
#pragma once

#include <cstdint>

namespace orv {

inline unsigned read16(const uint8_t* p) {
    return (unsigned(p[0]) << 8) | p[1];
}
// A 13-bit PID after three reserved bits.
inline unsigned read13(const uint8_t* p) {
    return (unsigned(p[0] & 0x1F) << 8) | p[1];
}
// A 12-bit length after four reserved or flag bits.
inline unsigned read12(const uint8_t* p) {
    return (unsigned(p[0] & 0x0F) << 8) | p[1];
}
inline uint32_t read32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace orv
