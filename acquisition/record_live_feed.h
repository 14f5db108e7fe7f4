// Any live source (a UDP/RTP stream) as the input of a recording: the same filter and limits as
// from the card. The initialisation step opens the source and takes a second of the stream;
// the recording opens it again. The source hands over whole 40-packet groups only: the packets of
// a group that was not complete when the recording ended (at most 39) are not written.
#pragma once

#include <vector>

#include "acquisition/live_source.h"
#include "acquisition/record_feed.h"

namespace orv {

class RecordLiveFeed final : public RecordFeed {
  public:
    // `source` must outlive the feed.
    explicit RecordLiveFeed(LiveSource& source) : source_(source) {}
    ~RecordLiveFeed() override { finish(); }

    std::string describe() const override { return source_.describe(); }
    bool usesCard() const override { return false; }
    RecordSample initialise(const InterfaceSettings& input, RecordMode mode,
                            const std::atomic<bool>& stop) override;
    bool start(const InterfaceSettings& input, RecordMode mode,
               const std::atomic<bool>& stop) override;
    FeedRead read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) override;
    void wake() override { source_.wake(); }
    void finish() override;
    double inputMbps() override { return source_.inputBitrateMbps(); }
    std::size_t bufferBytes() const override { return kLiveBlockBytes; }

  private:
    LiveSource& source_;
    bool open_ = false;
    std::vector<std::uint32_t> times_ = std::vector<std::uint32_t>(kLiveMaxGroupsPerRead);
};

}  // namespace orv
