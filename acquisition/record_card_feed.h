// Capture card 0 as the input of a recording, through libZelcard's exports. The card is set up as
// the recording dialog always has: reset, initialisation with the recording's own interface
// settings (the raw mode asks for the plain, unsynchronised stream), a receive FIFO of 1000
// entries, and reads of up to 50 blocks after each signal of the card's data event.
#pragma once

#include "acquisition/record_feed.h"

namespace orv {

class RecordCardFeed final : public RecordFeed {
  public:
    RecordCardFeed();
    ~RecordCardFeed() override;
    RecordCardFeed(const RecordCardFeed&) = delete;
    RecordCardFeed& operator=(const RecordCardFeed&) = delete;

    std::string describe() const override { return "card 0"; }
    bool usesCard() const override { return true; }
    RecordSample initialise(const InterfaceSettings& input, RecordMode mode,
                            const std::atomic<bool>& stop) override;
    bool start(const InterfaceSettings& input, RecordMode mode,
               const std::atomic<bool>& stop) override;
    FeedRead read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) override;
    void wake() override;
    void finish() override;
    double inputMbps() override;
    std::size_t bufferBytes() const override;

  private:
    bool receive(const std::atomic<bool>& stop, unsigned long fifoParam);
    void closeDescriptors();

    int wakeFd_ = -1;
    int dataFd_ = -1;
    bool receiving_ = false;
    bool moreWaiting_ = false;
    bool raw_ = false;
    std::size_t packetLength_ = 188;
};

}  // namespace orv
