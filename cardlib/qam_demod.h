// Programming the PCI card's QAM demodulator (through the register shadow) and tuner, and the
// acquisition sweep that locks onto a channel.
#pragma once

#include <cstdint>

namespace orv::zel {

struct SweepRange {
    int range;  // R
    int step;   // D
};
// The sweep's range and step for a symbol rate (ksymbol/s) and QAM index.
SweepRange sweepRange(std::uint32_t symbolRateK, std::uint32_t qamIndex);

// The symbol rate register value and the rate the demodulator reads back from it (ksymbol/s).
std::uint32_t symbolRateValue(std::uint32_t symbolRateK);
std::uint32_t readBackSymbolRate(std::uint32_t value);

// Shadowed register access of the demodulator.
void demodWrite(unsigned card, std::uint8_t reg, std::uint8_t value);
std::uint8_t demodRead(unsigned card, std::uint8_t reg);  // 11 attempts, 0 when all fail

// The demodulator reports lock (register 130 bits 2 and 3, register 223 bit 7).
bool demodLocked(unsigned card);
// Start image, tuner, demodulator and acquisition, two attempts: true when locked.
bool qamStartUp(unsigned card, std::uint32_t frequencyKHz, std::uint32_t symbolRateK,
                std::uint32_t qamIndex);

}  // namespace orv::zel
