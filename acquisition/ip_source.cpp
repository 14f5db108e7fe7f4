#include "acquisition/ip_source.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "acquisition/datagram_packets.h"
#include "platform/message.h"

namespace orv {
namespace {

std::int64_t realtimeNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The packets a datagram is taken to hold before anything of the stream has been seen.
constexpr std::size_t kUsualPacketsPerDatagram = 7;

}  // namespace

IpSource::IpSource(IpUrl url, IpSourceOptions options)
    : url_(std::move(url)),
      options_(std::move(options)),
      wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      receiver_(kBatchDatagrams, kMaxDatagramBytes),
      slots_(kBatchDatagrams),
      groups_(kMaxDatagramBytes / 188),
      meter_(options_.mdiInterval.count(), [this](const MdiInterval& i) { intervalClosed(i); }) {}

IpSource::~IpSource() {
    close();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

LiveOpenResult IpSource::open(const std::atomic<bool>& stop) {
    close();
    if (stop.load()) return LiveOpenResult::Stopped;
    work_ = {};
    dropsSeen_ = 0;
    packetsPerDatagram_ = 0;
    hinted_ = false;
    groups_.reset();
    sequence_.reset();
    meter_.reset();
    batchSize_ = cursor_ = 0;
    {
        std::lock_guard lock(published_);
        shown_ = {};
        mdi_.reset();
    }
    bitrate_.store(0.0, std::memory_order_relaxed);
    if (wakeFd_ < 0) {
        showMessage("cannot receive " + url_.text() + ": no wake-up event", "eventfd failed");
        return LiveOpenResult::Failed;
    }
    if (auto e = receiver_.open(url_, options_.receiveBufferBytes)) {
        showMessage("cannot receive " + url_.text() + ": " + e->what, e->reason);
        return LiveOpenResult::Failed;
    }
    return LiveOpenResult::Ready;
}

void IpSource::close() {
    receiver_.close();
    batchSize_ = cursor_ = 0;
    bitrate_.store(0.0, std::memory_order_relaxed);
}

void IpSource::wake() {
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0) {
        [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
    }
}

bool IpSource::waitForData(std::chrono::milliseconds timeout) {
    if (groups_.wholeGroups() > 0 || cursor_ < batchSize_) return true;
    if (!receiver_.isOpen()) return false;
    pollfd fds[2] = {{receiver_.fd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now());
        left = std::max(left, std::chrono::milliseconds(0));
        // Wake up when the MDI interval ends, to close it while the stream is quiet.
        if (meter_.started()) {
            const auto toEnd = std::chrono::milliseconds(
                std::max<std::int64_t>(0, (meter_.currentEndNs() - realtimeNs()) / 1'000'000 + 1));
            left = std::min(left, toEnd);
        }
        fds[0].revents = fds[1].revents = 0;
        const int n = ::poll(fds, 2, static_cast<int>(left.count()));
        if (n < 0 && errno != EINTR) return false;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] auto r = ::read(wakeFd_, &count, sizeof count);
            return false;
        }
        if (fds[0].revents) return true;
        meter_.advanceTo(realtimeNs());
        if (std::chrono::steady_clock::now() >= deadline) return false;
    }
}

LiveRead IpSource::read(std::span<std::uint8_t> block, std::span<std::uint32_t> times) {
    fill();
    const LiveRead r = groups_.take(block, times);
    work_.droppedPackets = groups_.droppedPackets();
    publish();
    return r;
}

// Takes datagrams into the groups until a read's worth is ready or nothing more is waiting.
void IpSource::fill() {
    // A bounded number of batches, so a read never keeps the thread for long.
    int batches = 0;
    while (groups_.wholeGroups() < kLiveMaxGroupsPerRead) {
        if (cursor_ == batchSize_) {
            if (batches++ == 4) break;
            receiveBatch();
            if (batchSize_ == 0) break;
        }
        const Slot& s = slots_[cursor_];
        if (s.count > 0) {
            const ReceivedDatagram& d = receiver_.datagram(cursor_);
            // False: whole groups of the previous length go out first.
            if (!groups_.add(d.data + s.offset, s.count, s.length, d.arrivalNs)) break;
        }
        ++cursor_;
    }
}

void IpSource::receiveBatch() {
    cursor_ = 0;
    batchSize_ = receiver_.receive();
    for (std::size_t i = 0; i < batchSize_; ++i)
        classify(i);
}

// Counts one datagram, checks its RTP header and sequence, and decides whether its packets are
// taken. Runs once per datagram, in arrival order.
void IpSource::classify(std::size_t i) {
    const ReceivedDatagram& d = receiver_.datagram(i);
    Slot& slot = slots_[i];
    slot = {};
    ++work_.datagrams;
    if (url_.source && !url_.multicast() && d.sender.s_addr != url_.source->s_addr) {
        ++work_.foreignDatagrams;
        return;
    }

    // Datagrams the socket dropped before this one: the only loss plain UDP shows. (With RTP
    // they show as a sequence gap too, and are counted there.)
    const std::uint32_t drops = d.dropsBefore - dropsSeen_;
    dropsSeen_ = d.dropsBefore;
    work_.overflowDatagrams += drops;

    std::span<const std::uint8_t> payload(d.data, d.length);
    std::uint64_t lost = drops;
    if (url_.protocol == IpProtocol::Rtp) {
        lost = 0;
        // A datagram cut at the slot's end still has its header, and its number counts.
        const auto header = parseRtpHeader(payload);
        if (!header) {
            if (d.truncated) {
                ++work_.partialDatagrams;
            } else {
                ++work_.badRtpHeaders;
                if (wholePackets(payload).count > 0) hintProtocol(false);
            }
            return;
        }
        const RtpSequence::Step step = sequence_.next(header->sequence, header->ssrc);
        if (step.verdict == RtpSequence::Verdict::Late) {
            ++work_.lateDatagrams;
            return;
        }
        if (step.verdict == RtpSequence::Verdict::Restart) ++work_.sequenceRestarts;
        lost = step.lost;
        payload = payload.subspan(header->payloadOffset, header->payloadLength);
        slot.offset = header->payloadOffset;
    }

    const DatagramPackets packets =
        d.truncated ? DatagramPackets{} : wholePackets(payload, groups_.length());
    if (lost > 0) countLoss(d.arrivalNs, lost, packets.count);
    if (packets.count == 0) {
        ++work_.partialDatagrams;
        if (url_.protocol == IpProtocol::Udp && !d.truncated) {
            const auto header = parseRtpHeader(payload);
            if (header &&
                wholePackets(payload.subspan(header->payloadOffset, header->payloadLength)).count >
                    0)
                hintProtocol(true);
        }
        return;
    }
    slot.count = packets.count;
    slot.length = packets.length;
    packetsPerDatagram_ = packets.count;
    meter_.arrival(d.arrivalNs, static_cast<std::uint32_t>(
                                    packets.count * static_cast<std::size_t>(packets.length)));
    work_.packets += packets.count;
}

// `datagrams` lost before one that holds `nextPackets` packets (0: not whole packets).
void IpSource::countLoss(std::int64_t tNs, std::uint64_t datagrams, std::size_t nextPackets) {
    std::size_t perDatagram = packetsPerDatagram_;
    if (perDatagram == 0) perDatagram = nextPackets > 0 ? nextPackets : kUsualPacketsPerDatagram;
    // The meter first, so an interval it closes here does not yet hold this loss.
    meter_.lost(tNs, datagrams * perDatagram, datagrams);
    work_.lostDatagrams += datagrams;
}

// The datagrams are packets framed the other way than the URL says: said once per opening.
void IpSource::hintProtocol(bool carriesRtp) {
    if (hinted_) return;
    hinted_ = true;
    IpUrl other = url_;
    other.protocol = carriesRtp ? IpProtocol::Rtp : IpProtocol::Udp;
    showMessage(url_.text() +
                (carriesRtp ? ": the datagrams carry RTP headers; receive them with "
                            : ": the datagrams carry no RTP header; receive them with ") +
                other.text());
}

void IpSource::intervalClosed(const MdiInterval& interval) {
    bitrate_.store(interval.bitrateMbps, std::memory_order_relaxed);
    {
        std::lock_guard lock(published_);
        mdi_ = MdiReading{interval.delayFactorMs, interval.mediaLossRate, work_.lostDatagrams};
    }
    if (options_.onMdiInterval) options_.onMdiInterval(interval);
}

void IpSource::publish() {
    std::lock_guard lock(published_);
    shown_ = work_;
}

std::optional<MdiReading> IpSource::mediaDeliveryIndex() const {
    std::lock_guard lock(published_);
    return mdi_;
}

IpCounters IpSource::counters() const {
    std::lock_guard lock(published_);
    return shown_;
}

}  // namespace orv
