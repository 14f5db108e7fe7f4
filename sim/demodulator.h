// The PCI card's QAM demodulator (I2C address 0x38) and tuner (0xC2): a register file and a
// tuner word, and the lock they give against the simulated channel. The status registers read
// live: register 67 bit 3 (signal at the tuned frequency), register 130 bits 2 and 3 (symbol
// timing and constellation lock, all four low bits when locked) and register 223 bit 7 (frame
// sync). Not thread-safe: the card serialises access.
#pragma once

#include <array>
#include <cstdint>

#include "sim/sim_config.h"

namespace orv::sim {

class Demodulator {
  public:
    explicit Demodulator(const SimConfig& config) : config_(config) {}

    void write(std::uint8_t reg, std::uint8_t value);
    std::uint8_t read(std::uint8_t reg) const;
    // A tuner word as the card sends it: false when the tuner gate (register 134 bit 7) is shut.
    bool tune(std::uint32_t word);

    bool locked() const;
    double tunedKHz() const { return tunedKHz_; }
    double symbolRateK() const;  // from registers 85..88
    unsigned tunerWrites() const { return tunerWrites_; }
    unsigned writesTo(std::uint8_t reg) const { return writes_[reg]; }
    unsigned writesExcept(std::uint8_t reg) const;

  private:
    bool signalPresent() const;
    bool timingLocked() const;

    const SimConfig& config_;
    std::array<std::uint8_t, 256> regs_{};
    std::array<unsigned, 256> writes_{};
    double tunedKHz_ = -1;
    unsigned tunerWrites_ = 0;
};

}  // namespace orv::sim
