// The simulated PCI card behind "\\.\ZelcardDevice<n>": its registers with the STATUS/CONTROL
// command protocol, the I2C engine in front of the demodulator and tuner (a transfer takes its
// bus time on the platform clock before its result shows), the measurement
// registers, and the receive and transmit rings it shares with the library. While receiving it
// plays the TS file in a loop at the file's bitrate (times the configured speed), one 40-packet
// entry per block time, and signals the receive-data event.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/devio/devio.h"
#include "platform/devio/event.h"
#include "platform/devio/shared_memory.h"
#include "sim/demodulator.h"
#include "sim/playback_thread.h"
#include "sim/sim_config.h"
#include "sim/ts_source.h"

namespace orv::sim {

class PciCard : public devio::Driver {
  public:
    explicit PciCard(SimConfig config);
    ~PciCard() override;

    std::uint32_t open() override;
    std::uint32_t control(std::uint32_t code, std::span<const std::byte> in,
                          std::span<std::byte> out, std::size_t& returned) override;
    void stop();  // ends playback (unplugging)

    // Inspection for tests.
    const TsSource& source() const { return source_; }
    std::uint32_t timingValue() const;  // what each receive entry carries
    unsigned tunerWrites() const;
    unsigned demodulatorWritesExcept(std::uint8_t reg) const;
    unsigned resetWrites() const;
    bool demodulatorLocked() const;
    std::uint64_t overflows() const { return overflows_.load(); }
    std::uint64_t transmittedBlocks() const { return transmitted_.load(); }
    std::uint32_t registerValue(std::uint32_t offset) const;
    unsigned registerReads(std::uint32_t offset) const;
    unsigned statusClears() const;

  private:
    struct Rings;
    void writeRegister(std::uint32_t offset, std::uint32_t value);
    std::uint32_t readRegister(std::uint32_t offset) const;
    void runCommand(std::uint32_t command);
    void runI2c();
    void settleI2c();  // publishes a finished transfer's result in I2C_DATA
    bool signalPresent() const;
    std::uint32_t fifoSetup(std::span<const std::byte> in, std::span<std::byte> out,
                            std::size_t& returned);
    std::uint32_t eventSetup(std::span<const std::byte> in, std::span<std::byte> out,
                             std::size_t& returned);
    void tick();

    SimConfig config_;
    TsSource source_;
    mutable std::mutex mutex_;
    std::unordered_map<std::uint32_t, std::uint32_t> registers_;
    Demodulator demodulator_;
    unsigned resetWrites_ = 0;
    unsigned statusClears_ = 0;
    // The I2C engine's transfer in flight: its result shows in I2C_DATA once the bus time has
    // passed on the platform clock.
    bool i2cBusy_ = false;
    std::uint32_t i2cResult_ = 0;
    std::chrono::microseconds i2cDoneAt_{0};
    mutable std::unordered_map<std::uint32_t, unsigned> reads_;
    bool receiving_ = false;
    bool transmitting_ = false;
    std::uint64_t blocksPlayed_ = 0;  // stream time in blocks since receiving started
    std::unique_ptr<Rings> rings_;
    std::shared_ptr<devio::Event> dataEvent_;
    std::atomic<std::uint64_t> overflows_{0};
    std::atomic<std::uint64_t> transmitted_{0};
    std::vector<std::uint8_t> scratch_;
    PlaybackThread playback_;
};

}  // namespace orv::sim
