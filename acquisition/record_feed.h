// The input of a recording: capture card 0 (record_card_feed.h) or any live source such as a
// UDP/RTP stream (record_live_feed.h). A feed is set up and looked at once (the initialisation
// step: tune, measure the rate, take a second of the stream), then started again for the
// recording and read until it is finished. All but wake() belong to the recording's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "acquisition/interface_settings.h"

namespace orv {

enum class RecordMode {
    Synchronised = 0,  // "同步": whole packets of the input's length
    Raw = 1,           // "不同步": the input's blocks as they come (204-byte units)
};

// What the initialisation step saw.
struct RecordSample {
    long initResult = 0;  // 0: the input was set up; else the card library's code
    std::vector<std::uint8_t> data;
    std::size_t blocks = 0;  // 40-packet blocks read
    double mbps = 0.0;
    int packetLength = 188;
};

// One read of a recording.
struct FeedRead {
    std::size_t bytes = 0;
    std::size_t packetLength = 188;  // the length the bytes were received with
};

class RecordFeed {
  public:
    virtual ~RecordFeed() = default;
    virtual std::string describe() const = 0;
    // Whether the feed drives capture card 0 (it then holds the card's claim).
    virtual bool usesCard() const = 0;
    // The initialisation step; ends early with what it has when `stop` is set.
    virtual RecordSample initialise(const InterfaceSettings& input, RecordMode mode,
                                    const std::atomic<bool>& stop) = 0;
    // Sets the input up again and starts receiving for the recording; false when it cannot (or
    // a stop came first).
    virtual bool start(const InterfaceSettings& input, RecordMode mode,
                       const std::atomic<bool>& stop) = 0;
    // Waits up to `wait` for data and reads what is there into `buffer` (at least bufferBytes()).
    virtual FeedRead read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) = 0;
    // Ends a wait of read() early; from any thread.
    virtual void wake() = 0;
    // Stops receiving.
    virtual void finish() = 0;
    // The input rate in Mbit/s as the input measures it (recording thread only).
    virtual double inputMbps() = 0;
    // The buffer a read needs.
    virtual std::size_t bufferBytes() const = 0;
};

}  // namespace orv
