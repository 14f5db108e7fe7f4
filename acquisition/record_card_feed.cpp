#include "acquisition/record_card_feed.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "cardlib/zelcard.h"
#include "platform/clock.h"

namespace orv {
namespace {

constexpr unsigned kCard = 0;
constexpr unsigned kDataEventSlot = 1;
constexpr unsigned long kFifoEntries = 1000;
constexpr unsigned long kSampleFifoParam = 100;
constexpr unsigned long kRecordFifoParam = 50;
constexpr unsigned long kBlocksPerRead = 50;
constexpr std::size_t kSampleBlocks = 500;
constexpr std::size_t kEnoughBlocks = 10;  // the step needs more than these
constexpr auto kSlowInputWait = std::chrono::seconds(4);
constexpr std::size_t kBlockRoom = 40 * 204;
constexpr auto kStopSlice = std::chrono::milliseconds(10);
// How long receive start is retried before the input counts as failed.
constexpr auto kReceiveStartLimit = std::chrono::seconds(5);

// Waits `duration` in slices, false as soon as `stop` is set.
bool pause(std::chrono::milliseconds duration, const std::atomic<bool>& stop) {
    for (auto left = duration; left.count() > 0; left -= kStopSlice) {
        if (stop.load()) return false;
        sleepFor(std::min(left, kStopSlice));
    }
    return !stop.load();
}

long initialiseCard(const InterfaceSettings& input, RecordMode mode) {
    ZelResetCard(kCard);
    return ZelInitCard(static_cast<unsigned>(input.inputInterface), static_cast<unsigned>(mode), 0,
                       0, 0, static_cast<unsigned long>(input.cableFrequencyKHz),
                       static_cast<unsigned long>(input.cableSymbolRateK),
                       static_cast<unsigned>(input.cableQamIndex), kCard);
}

std::size_t cardPacketLength() {
    bool is188 = true;
    ZelGetInputPacketLen(&is188, kCard);
    return is188 ? 188 : 204;
}

}  // namespace

RecordCardFeed::RecordCardFeed() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

RecordCardFeed::~RecordCardFeed() {
    finish();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

std::size_t RecordCardFeed::bufferBytes() const {
    return kBlocksPerRead * kBlockRoom;
}

bool RecordCardFeed::receive(const std::atomic<bool>& stop, unsigned long fifoParam) {
    if (ZelInitFifo(kFifoEntries, 0, fifoParam, 0, kCard) != 0) return false;
    const long fd = ZelGetCardEventFd(kDataEventSlot, kCard);
    dataFd_ = fd >= 0 ? static_cast<int>(fd) : -1;
    const auto give_up = monotonicNow() + kReceiveStartLimit;
    while (ZelStartReceive(kCard) != 0) {
        if (stop.load() || monotonicNow() > give_up) {
            closeDescriptors();
            return false;
        }
        sleepFor(std::chrono::milliseconds(1));
    }
    receiving_ = true;
    raw_ = false;
    moreWaiting_ = false;
    return true;
}

RecordSample RecordCardFeed::initialise(const InterfaceSettings& input, RecordMode mode,
                                        const std::atomic<bool>& stop) {
    finish();
    RecordSample sample;
    sample.initResult = initialiseCard(input, mode);
    if (sample.initResult != 0) return sample;
    if (!pause(std::chrono::milliseconds(200), stop)) return sample;
    if (!receive(stop, kSampleFifoParam)) return sample;
    if (pause(std::chrono::milliseconds(1000), stop)) {
        // What came in that second, 50 blocks a read (the USB box sizes its buffers by the first
        // read after a receive start).
        std::vector<std::uint8_t> block(bufferBytes());
        const std::size_t blockBytes = (mode == RecordMode::Raw ? 204 : cardPacketLength()) * 40;
        // A slow input (below about 0.6 Mbit/s) has not sent the blocks the step asks for within
        // the second: it gets a few seconds more instead of being taken for no input.
        const auto giveUp = monotonicNow() + kSlowInputWait;
        while (sample.blocks < kSampleBlocks && !stop.load()) {
            const long long n = ZelReadData(block.data(), nullptr, kBlocksPerRead, kCard);
            if (n <= 0) {
                if (sample.blocks > kEnoughBlocks || monotonicNow() > giveUp) break;
                sleepFor(kStopSlice);
                continue;
            }
            const auto got = static_cast<std::size_t>(std::min<long long>(n, kBlocksPerRead));
            sample.data.insert(sample.data.end(), block.begin(),
                               block.begin() + static_cast<std::ptrdiff_t>(got * blockBytes));
            sample.blocks += got;
            if (monotonicNow() > giveUp) break;
        }
        double mbps = 0.0;
        ZelGetInputBitrates(&mbps, kCard);
        sample.mbps = mbps;
        sample.packetLength = static_cast<int>(cardPacketLength());
    }
    finish();
    sleepFor(std::chrono::milliseconds(10));
    return sample;
}

bool RecordCardFeed::start(const InterfaceSettings& input, RecordMode mode,
                           const std::atomic<bool>& stop) {
    finish();
    if (initialiseCard(input, mode) != 0) return false;
    if (!receive(stop, kRecordFifoParam)) {
        finish();
        return false;
    }
    raw_ = mode == RecordMode::Raw;
    // The layout of every read is the one receiving started with.
    packetLength_ = raw_ ? 204 : cardPacketLength();
    return true;
}

FeedRead RecordCardFeed::read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) {
    FeedRead result;
    result.packetLength = packetLength_;
    if (!receiving_ || buffer.size() < bufferBytes()) return result;
    if (!moreWaiting_) {
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {dataFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, static_cast<int>(wait.count()));
        if (n <= 0) return result;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t r = ::read(wakeFd_, &count, sizeof count);
            return result;
        }
        // Readiness only shows the event is set; the wait takes the signal (it resets itself).
        if (ZelWaitCardEvent(kDataEventSlot, 0, kCard) != 0) return result;
    }
    const long long n = ZelReadData(buffer.data(), nullptr, kBlocksPerRead, kCard);
    if (n <= 0) {
        moreWaiting_ = false;  // nothing, or the USB framing was lost: the next read finds it
        return result;
    }
    const auto blocks = static_cast<std::size_t>(std::min<long long>(n, kBlocksPerRead));
    // A full read leaves more waiting behind the one signal the event kept.
    moreWaiting_ = blocks == kBlocksPerRead;
    result.bytes = blocks * packetLength_ * 40;
    return result;
}

void RecordCardFeed::wake() {
    if (wakeFd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void RecordCardFeed::finish() {
    if (receiving_) ZelStopReTran(kCard);
    receiving_ = false;
    moreWaiting_ = false;
    closeDescriptors();
}

void RecordCardFeed::closeDescriptors() {
    if (dataFd_ >= 0) ::close(dataFd_);
    dataFd_ = -1;
}

double RecordCardFeed::inputMbps() {
    double mbps = 0.0;
    if (ZelGetInputBitrates(&mbps, kCard) != 0 || mbps < 0.0) return 0.0;
    return mbps;
}

}  // namespace orv
