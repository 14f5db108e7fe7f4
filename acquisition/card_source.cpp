#include "acquisition/card_source.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/clock.h"
#include "platform/message.h"

namespace orv {
namespace {

constexpr unsigned kCard = 0;
constexpr unsigned kDataEventSlot = 1;
constexpr unsigned long kRateWord = 6000000;
constexpr auto kSettleTime = std::chrono::milliseconds(300);
constexpr auto kStopCheckSlice = std::chrono::milliseconds(10);
constexpr auto kReceiveRetry = std::chrono::milliseconds(1);
// Room for a group of the larger of the card's two block sizes.
constexpr std::size_t kGroupRoom = kLiveGroupPackets * 204;

// What ZelGetInputBitrates gives for a timing value: the group's bits over 27 MHz ticks of ten
// groups, the value being the tick count minus one.
double rateOfTiming(std::uint32_t timing, int packetLength) {
    return packetLength * double(kLiveGroupPackets) * 10.0 * 8.0 * 27.0 / (timing + 1.0);
}

void drain(int fd) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
}

}  // namespace

ReceiveFifoSize receiveFifoFor(double mbps) {
    if (mbps < 1.0) return {200, 50};
    if (mbps < 10.0) return {500, 50};
    return {1000, 100};
}

CardSource::CardSource(InterfaceSettings settings)
    : settings_(settings), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CardSource::~CardSource() {
    close();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

LiveOpenResult CardSource::open(const std::atomic<bool>& stop) {
    close();
    claim_ = CardClaim::take(CardUser::OnlineAnalysis);
    if (!claim_) {
        showMessage(CardClaim::busyMessage());
        return LiveOpenResult::Failed;
    }
    const unsigned input = static_cast<unsigned>(settings_.inputInterface);
    long init = 0;
    {
        std::lock_guard lock(cardMutex_);
        ZelResetCard(kCard);  // before the first initialisation no card is open: nothing to reset
        init = ZelInitCard(input, 0, 0, input + 1, kRateWord,
                           static_cast<unsigned long>(settings_.cableFrequencyKHz),
                           static_cast<unsigned long>(settings_.cableSymbolRateK),
                           static_cast<unsigned>(settings_.cableQamIndex), kCard);
        if (init == 0) state_ = CardState::Initialised;
    }
    if (init != 0) {
        showMessage(kCardInitFailedMessage);
        return LiveOpenResult::Failed;
    }
    if (!pauseUnlessStopped(kSettleTime, stop)) return stopped();

    long fifo = 0;
    {
        std::lock_guard lock(cardMutex_);
        double mbps = 0.0;
        ZelGetInputBitrates(&mbps, kCard);
        if (mbps >= 0.0) lastRateMbps_.store(mbps);
        const ReceiveFifoSize size = receiveFifoFor(mbps);
        fifo = ZelInitFifo(size.entries, 0, size.param, 0, kCard);
        if (fifo == 0) {
            const long fd = ZelGetCardEventFd(kDataEventSlot, kCard);
            dataFd_ = fd >= 0 ? static_cast<int>(fd) : -1;
        }
        // Without its FIFO or its data event the card would never deliver: a run that waits for
        // nothing, silently. Say so instead.
        if (fifo != 0 || dataFd_ < 0) state_ = CardState::Idle;
    }
    if (fifo != 0 || dataFd_ < 0) {
        closeDataDescriptor();
        showMessage(kCardInitFailedMessage);
        return LiveOpenResult::Failed;
    }

    for (;;) {
        {
            std::lock_guard lock(cardMutex_);
            if (ZelStartReceive(kCard) == 0) {
                state_ = CardState::Receiving;
                break;
            }
        }
        if (stop.load()) return stopped();
        sleepFor(kReceiveRetry);
    }
    receivePacketLength_ = packetLength();
    moreWaiting_ = false;
    return LiveOpenResult::Ready;
}

LiveOpenResult CardSource::stopped() {
    close();
    return LiveOpenResult::Stopped;
}

bool CardSource::pauseUnlessStopped(std::chrono::milliseconds duration,
                                    const std::atomic<bool>& stop) {
    for (auto left = duration; left.count() > 0; left -= kStopCheckSlice) {
        if (stop.load()) return false;
        sleepFor(std::min(left, kStopCheckSlice));
    }
    return !stop.load();
}

int CardSource::packetLength() {
    bool is188 = packetLength_ == 188;
    long result = 0;
    {
        std::lock_guard lock(cardMutex_);
        result = ZelGetInputPacketLen(&is188, kCard);
    }
    if (result == 0) packetLength_ = is188 ? 188 : 204;
    return packetLength_;
}

bool CardSource::waitForData(std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int waitMs = 0;
        if (!moreWaiting_) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            waitMs = static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {dataFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, waitMs);  // a negative descriptor is left out
        if (n < 0 && errno != EINTR) return false;
        if (n > 0 && (fds[0].revents & POLLIN)) {
            drain(wakeFd_);
            return false;
        }
        if (moreWaiting_) {
            moreWaiting_ = false;
            return true;
        }
        // Readiness only shows the event is set; the wait takes the signal (it resets itself).
        if (n > 0 && (fds[1].revents & POLLIN) && ZelWaitCardEvent(kDataEventSlot, 0, kCard) == 0) {
            return true;
        }
        if (Clock::now() >= deadline) return false;
    }
}

void CardSource::wake() {
    if (wakeFd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

LiveRead CardSource::read(std::span<std::uint8_t> block, std::span<std::uint32_t> times) {
    LiveRead result;
    result.packetLength = receivePacketLength_;
    moreWaiting_ = false;
    const std::size_t wanted =
        std::min({kLiveMaxGroupsPerRead, block.size() / kGroupRoom, times.size()});
    if (wanted == 0) return result;
    long long n = 0;
    unsigned records = 0;
    {
        std::lock_guard lock(cardMutex_);
        if (state_ != CardState::Receiving) return result;
        n = ZelReadData2(block.data(), times.data(), records_.data(), records, wanted, kCard);
    }
    if (n < 0) {
        result.framingLost = true;
        return result;
    }
    result.groups = std::min(static_cast<std::size_t>(n), wanted);
    moreWaiting_ = result.groups == wanted;
    records = std::min<unsigned>(records, static_cast<unsigned>(wanted));
    if (records > 0) {
        std::lock_guard lock(infoMutex_);
        latestQamInfo_ = records_[records - 1];
    }
    if (result.groups > 0 && times[result.groups - 1] != 0) {
        lastRateMbps_.store(rateOfTiming(times[result.groups - 1], receivePacketLength_));
    }
    return result;
}

std::optional<ExtraDataInTs> CardSource::latestQamInfo() const {
    std::lock_guard lock(infoMutex_);
    return latestQamInfo_;
}

double CardSource::inputBitrateMbps() {
    std::unique_lock lock(cardMutex_, std::try_to_lock);
    if (lock.owns_lock()) {
        double mbps = 0.0;
        // A USB box that does not answer gives -1.0: unknown, not a rate.
        if (ZelGetInputBitrates(&mbps, kCard) == 0 && mbps >= 0.0) lastRateMbps_.store(mbps);
    }
    return lastRateMbps_.load();
}

void CardSource::close() {
    {
        std::lock_guard lock(cardMutex_);
        if (state_ != CardState::Idle) ZelStopReTran(kCard);
        state_ = CardState::Idle;
    }
    closeDataDescriptor();
    moreWaiting_ = false;
    claim_.reset();
}

void CardSource::closeDataDescriptor() {
    if (dataFd_ >= 0) ::close(dataFd_);
    dataFd_ = -1;
}

}  // namespace orv
