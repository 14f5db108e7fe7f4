#include "engine/section_crc.h"

#include <array>

namespace orv {

namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7u;

// Register contents after shifting one byte (as the top eight bits) through the register.
constexpr std::array<uint32_t, 256> makeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t reg = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x80000000u) ? (reg << 1) ^ kPolynomial : reg << 1;
        table[i] = reg;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

}  // namespace

uint32_t sectionCrc32(const uint8_t* first, const uint8_t* end) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const uint8_t* p = first; p != end; ++p)
        crc = (crc << 8) ^ kCrcTable[(crc >> 24) ^ *p];
    return crc;
}

uint32_t sectionCrc32BitSerial(const uint8_t* first, const uint8_t* end) {
    uint32_t reg = 0xFFFFFFFFu;
    for (const uint8_t* p = first; p != end; ++p) {
        for (int bit = 7; bit >= 0; --bit) {
            // The input bit meets the cell shifted out of the register; where that sum is 1 the
            // taps of the polynomial invert their cells.
            const uint32_t feedback = ((reg >> 31) ^ (*p >> bit)) & 1u;
            reg <<= 1;
            if (feedback) reg ^= kPolynomial;
        }
    }
    return reg;
}

}  // namespace orv
