#include "sim/demodulator.h"

#include <cmath>
#include <numeric>

namespace orv::sim {
namespace {

// Register 0 bits 4-6 per QAM index (16, 32, 64, 128, 256-QAM).
constexpr std::array<std::uint8_t, 5> kConstellationCode{0, 1, 4, 2, 3};
constexpr double kCaptureRangeKHz = 1000;  // carrier offsets the demodulator pulls in
constexpr double kSymbolRateTolerance = 0.01;

}  // namespace

void Demodulator::write(std::uint8_t reg, std::uint8_t value) {
    regs_[reg] = value;
    ++writes_[reg];
}

bool Demodulator::tune(std::uint32_t word) {
    if ((regs_[134] & 0x80) == 0) return false;
    const std::uint32_t divider = ((word & 0x7F) << 8) | ((word >> 8) & 0xFF);
    tunedKHz_ = divider * 62.5 - 36125.0;
    ++tunerWrites_;
    return true;
}

double Demodulator::symbolRateK() const {
    const std::uint32_t value =
        regs_[85] | (regs_[86] << 8) | (regs_[87] << 16) | (std::uint32_t{regs_[88]} << 24);
    return value * 28920.0 / 4294967296.0;
}

bool Demodulator::signalPresent() const {
    return !config_.noLock && tunedKHz_ >= 0 &&
           std::fabs(tunedKHz_ - config_.frequencyKHz) <= kCaptureRangeKHz;
}

bool Demodulator::timingLocked() const {
    return signalPresent() && std::fabs(symbolRateK() - config_.symbolRateK) <=
                                  kSymbolRateTolerance * config_.symbolRateK;
}

bool Demodulator::locked() const {
    const bool constellation = ((regs_[0] >> 4) & 7) == kConstellationCode[config_.qamIndex % 5];
    const bool inversion = ((regs_[131] >> 3) & 1) == (config_.inversion ? 1 : 0);
    return timingLocked() && constellation && inversion;
}

std::uint8_t Demodulator::read(std::uint8_t reg) const {
    switch (reg) {
        case 67:
            return signalPresent() ? regs_[67] | 0x08 : regs_[67] & ~0x08;
        case 130: {
            std::uint8_t status = regs_[130] & 0xF0;
            if (locked()) return status | 0x0F;
            return timingLocked() ? status | 0x04 : status;
        }
        case 223:
            return locked() ? regs_[223] | 0x80 : regs_[223] & 0x7F;
        default:
            return regs_[reg];
    }
}

unsigned Demodulator::writesExcept(std::uint8_t reg) const {
    return std::accumulate(writes_.begin(), writes_.end(), 0u) - writes_[reg];
}

}  // namespace orv::sim
