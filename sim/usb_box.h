// The simulated USB box behind the USB interface class: vendor requests 0, 1, 3, 4, 6 and 9, the
// stream control codes, and the bulk stream. While streaming it plays the TS file in a loop at
// the file's bitrate (times the configured speed): each packet prefixed by 0x55 0x55 and after
// every group of 40 packets a QAM information packet prefixed by 0x55 0xAA (plain packets when
// the input selection asked for them). The box tunes itself from the QAM parameter block.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/devio/devio.h"
#include "platform/devio/event.h"
#include "sim/playback_thread.h"
#include "sim/sim_config.h"
#include "sim/ts_source.h"

namespace orv::sim {

class UsbBox : public devio::Driver {
  public:
    explicit UsbBox(SimConfig config, std::string eventName);
    ~UsbBox() override;

    std::uint32_t open() override;
    std::uint32_t control(std::uint32_t code, std::span<const std::byte> in,
                          std::span<std::byte> out, std::size_t& returned) override;
    void stop();

    struct RequestRecord {
        std::uint8_t request;
        std::uint64_t timeMs;  // on the library's clock
    };
    std::vector<RequestRecord> requests() const;
    const TsSource& source() const { return source_; }
    bool locked() const;
    std::uint32_t bytesPerSecond() const;
    // The bytes of one QAM information unit (prefix included) as the box sends it.
    std::vector<std::uint8_t> infoUnit() const;

  private:
    std::uint32_t vendorRequest(std::span<const std::byte> in, std::span<std::byte> out,
                                std::size_t& returned);
    std::uint32_t streamRead(std::span<std::byte> out, std::size_t& returned);
    void channelStatus(std::uint8_t* s) const;
    bool lockedLocked() const;  // with the mutex held
    void tick();
    void append(const std::uint8_t* data, std::size_t size);

    SimConfig config_;
    TsSource source_;
    std::string eventName_;
    mutable std::mutex mutex_;
    std::condition_variable dataReady_;
    std::vector<RequestRecord> requests_;
    std::uint8_t inputByte_ = 0;  // request 0: plainStream | input << 1
    std::uint32_t tunedHz_ = 0;
    std::uint32_t tunedSymbolRate_ = 0;
    std::uint8_t tunedMode_ = 0;
    bool tuned_ = false;
    bool enabled_ = false;
    bool streaming_ = false;
    bool startCodeSeen_ = false;
    std::uint64_t blocksPlayed_ = 0;
    std::uint64_t groupsSent_ = 0;
    unsigned pendingInfo_ = 0;
    bool firstTransferDone_ = false;
    std::vector<std::uint8_t> queue_;  // bytes waiting for the bulk pipe
    std::size_t queueHead_ = 0;
    std::shared_ptr<devio::Event> dataEvent_;
    std::vector<std::uint8_t> block_;
    PlaybackThread playback_;
};

}  // namespace orv::sim
