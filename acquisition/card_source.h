// Card 0 as a live source, reached only through libZelcard's exports. It sets the card up as the
// analyzer always has (reset, initialisation with the interface settings, the receive FIFO sized
// by the input rate, receive start retried until it starts), waits on the card's data event
// together with its own wake descriptor, and reads batches of up to five 40-packet groups with
// the card's timing values and, from the USB box, its QAM information records.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "acquisition/card_claim.h"
#include "acquisition/interface_settings.h"
#include "acquisition/live_source.h"
#include "cardlib/zelcard.h"

namespace orv {

// The receive FIFO for an input rate in Mbit/s: its entries and the parameter handed to the
// driver (below 1.0: 200 and 50; below 10.0: 500 and 50; from 10.0: 1000 and 100).
struct ReceiveFifoSize {
    unsigned long entries;
    unsigned long param;
};
ReceiveFifoSize receiveFifoFor(double mbps);

// The message of a card that cannot be set up.
inline constexpr const char* kCardInitFailedMessage = "初始化接口失败!";

// open, packetLength, waitForData, read and close belong to one thread (the acquisition thread;
// close may also come from another thread once that one has ended). wake, inputBitrateMbps,
// latestQamInfo and describe may be called from any thread at any time.
class CardSource final : public LiveSource {
  public:
    explicit CardSource(InterfaceSettings settings = {});
    ~CardSource() override;  // stops receiving when still open
    CardSource(const CardSource&) = delete;
    CardSource& operator=(const CardSource&) = delete;

    std::string describe() const override { return "card 0"; }
    // Failed (after the message "初始化接口失败!") when the card cannot be initialised or its
    // receive FIFO and data event cannot be set up; nothing is read then and close() does not
    // touch the card.
    LiveOpenResult open(const std::atomic<bool>& stop) override;
    // Asks the card each time; the last known length when it cannot say.
    int packetLength() override;
    // True at once after a read that filled the whole batch (more may be waiting); otherwise
    // waits for the card's data event. A wake() with no wait in progress ends the next one.
    bool waitForData(std::chrono::milliseconds timeout) override;
    void wake() override;
    // Groups are whole 40-packet groups of the packet length the receive started with.
    LiveRead read(std::span<std::uint8_t> block, std::span<std::uint32_t> times) override;
    std::optional<ExtraDataInTs> latestQamInfo() const override;
    // The card's own measure (ZelGetInputBitrates). While a read holds the card (a USB read
    // collects for a while) it answers from the timing value of the last group read instead of
    // waiting, which is the same measure.
    double inputBitrateMbps() override;
    void close() override;

  private:
    enum class CardState { Idle, Initialised, Receiving };

    LiveOpenResult stopped();
    bool pauseUnlessStopped(std::chrono::milliseconds duration, const std::atomic<bool>& stop);
    void closeDataDescriptor();

    const InterfaceSettings settings_;
    int wakeFd_ = -1;
    int dataFd_ = -1;
    bool moreWaiting_ = false;
    int receivePacketLength_ = 188;  // the block layout of the reads
    int packetLength_ = 188;         // as the card last said

    // Every call into the library goes through cardMutex_: the library keeps card state without
    // locks, and the rate query comes from another thread than the reads.
    std::mutex cardMutex_;
    CardState state_ = CardState::Idle;
    std::array<ExtraDataInTs, kLiveMaxGroupsPerRead> records_{};

    // Held from open to close: a recording or a QAM scan must not set the card up meanwhile.
    std::optional<CardClaim> claim_;

    std::atomic<double> lastRateMbps_{0.0};
    mutable std::mutex infoMutex_;
    std::optional<ExtraDataInTs> latestQamInfo_;
};

}  // namespace orv
