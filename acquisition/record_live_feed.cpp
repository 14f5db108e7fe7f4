#include "acquisition/record_live_feed.h"

#include <chrono>

namespace orv {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSampleTime = std::chrono::milliseconds(1000);
constexpr std::size_t kSampleBlocks = 500;

}  // namespace

RecordSample RecordLiveFeed::initialise(const InterfaceSettings& input, RecordMode mode,
                                        const std::atomic<bool>& stop) {
    RecordSample sample;
    if (!start(input, mode, stop)) {
        sample.initResult = -1;
        return sample;
    }
    std::vector<std::uint8_t> block(bufferBytes());
    const auto until = Clock::now() + kSampleTime;
    while (Clock::now() < until && sample.blocks < kSampleBlocks && !stop.load()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        const FeedRead got = read(block, left);
        if (got.bytes == 0) continue;
        sample.packetLength = static_cast<int>(got.packetLength);
        sample.data.insert(sample.data.end(), block.begin(),
                           block.begin() + static_cast<std::ptrdiff_t>(got.bytes));
        sample.blocks += got.bytes / (got.packetLength * kLiveGroupPackets);
    }
    sample.mbps = source_.inputBitrateMbps();
    finish();
    return sample;
}

bool RecordLiveFeed::start(const InterfaceSettings&, RecordMode, const std::atomic<bool>& stop) {
    finish();
    open_ = source_.open(stop) == LiveOpenResult::Ready;
    return open_;
}

FeedRead RecordLiveFeed::read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) {
    FeedRead result;
    if (!open_ || buffer.size() < kLiveBlockBytes) return result;
    if (!source_.waitForData(wait)) return result;
    const LiveRead got = source_.read(buffer, times_);
    if (got.framingLost || (got.packetLength != 188 && got.packetLength != 204)) return result;
    const std::size_t groups = std::min(got.groups, kLiveMaxGroupsPerRead);
    result.packetLength = static_cast<std::size_t>(got.packetLength);
    result.bytes = groups * kLiveGroupPackets * result.packetLength;
    return result;
}

void RecordLiveFeed::finish() {
    if (open_) source_.close();
    open_ = false;
}

}  // namespace orv
