// A live source that receives a transport stream as UDP datagrams, plain or RTP, unicast or
// multicast (see ip_url.h for the addresses). Each datagram carries whole 188- or 204-byte
// packets; the length is taken from the datagrams and may change. Whole 40-packet groups go out
// with timing values made from the kernel's receive time stamps (see packet_groups.h), so the
// PCR checks measure jitter against arrival time as they do against a capture card's clock.
//
// What is not taken, and how it is counted (counters()):
// - a datagram that is not whole packets (or larger than kMaxDatagramBytes) is skipped whole;
// - rtp://: a datagram without a valid version-2 header is skipped; a sequence gap counts its
//   datagrams as lost; a late or repeated datagram is dropped (its place has passed) and is no
//   loss; a new SSRC or a jump far back restarts the numbering;
// - udp://: nothing numbers the datagrams, so the loss that can be counted soundly is what the
//   kernel dropped at this socket (its receive buffer full); losses further upstream show as
//   continuity errors in the analysis;
// - unicast with a SOURCE: datagrams from other senders are ignored;
// - datagrams framed the other way than the URL says (RTP to udp://, plain packets to rtp://)
//   are skipped, and a message says so once, naming the URL that would take them;
// - a packet length change drops the unfinished group of the old length.
//
// The Media Delivery Index (mdi_meter.h) is measured per second on the datagrams taken, with the
// lost datagrams x the packets per datagram (of the datagram before the loss) as lost packets.
//
// Threads: open, waitForData, read, packetLength and close on the acquisition thread; wake,
// inputBitrateMbps, mediaDeliveryIndex and counters from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "acquisition/ip_url.h"
#include "acquisition/live_source.h"
#include "acquisition/mdi_meter.h"
#include "acquisition/packet_groups.h"
#include "acquisition/rtp_header.h"
#include "acquisition/udp_receiver.h"

namespace orv {

struct IpSourceOptions {
    // Asked of the kernel; without CAP_NET_ADMIN it grants at most net.core.rmem_max.
    int receiveBufferBytes = 16 << 20;
    // The Media Delivery Index interval (RFC 4445 quotes it per second).
    std::chrono::nanoseconds mdiInterval = std::chrono::seconds(1);
    // Called with every closed interval on the reading thread (for a log of every second; the
    // status reads mediaDeliveryIndex()).
    std::function<void(const MdiInterval&)> onMdiInterval;
};

struct IpCounters {
    std::uint64_t datagrams = 0;          // received
    std::uint64_t packets = 0;            // transport stream packets taken
    std::uint64_t partialDatagrams = 0;   // not whole packets (or too large): skipped
    std::uint64_t badRtpHeaders = 0;      // rtp://: no valid version-2 header: skipped
    std::uint64_t lostDatagrams = 0;      // rtp:// sequence gaps; udp:// socket drops
    std::uint64_t lateDatagrams = 0;      // rtp://: late or repeated: dropped
    std::uint64_t sequenceRestarts = 0;   // rtp://: new SSRC or numbering jump
    std::uint64_t overflowDatagrams = 0;  // dropped by the socket, its receive buffer full
    std::uint64_t foreignDatagrams = 0;   // unicast: from a sender other than SOURCE: ignored
    std::uint64_t droppedPackets = 0;     // unfinished groups at packet length changes
};

class IpSource final : public LiveSource {
  public:
    // Receive slots per batch and their size: jumbo datagrams of up to 45 packets fit.
    static constexpr std::size_t kBatchDatagrams = 64;
    static constexpr std::size_t kMaxDatagramBytes = 9216;

    explicit IpSource(IpUrl url, IpSourceOptions options = {});
    ~IpSource() override;
    IpSource(const IpSource&) = delete;
    IpSource& operator=(const IpSource&) = delete;

    std::string describe() const override { return url_.text(); }
    // Opens the socket (joins the group); a failure shows "cannot receive URL: what (reason)".
    LiveOpenResult open(const std::atomic<bool>& stop) override;
    int packetLength() override { return groups_.length(); }
    bool waitForData(std::chrono::milliseconds timeout) override;
    void wake() override;
    LiveRead read(std::span<std::uint8_t> block, std::span<std::uint32_t> times) override;
    double inputBitrateMbps() override { return bitrate_.load(std::memory_order_relaxed); }
    std::optional<MdiReading> mediaDeliveryIndex() const override;
    void close() override;

    IpCounters counters() const;
    // The receive buffer the kernel granted (0 while closed).
    int receiveBufferBytes() const { return receiver_.receiveBufferBytes(); }

  private:
    struct Slot {
        std::size_t offset = 0;  // of the packets in the datagram
        std::size_t count = 0;   // 0: not taken
        int length = 0;
    };

    void receiveBatch();
    void classify(std::size_t i);
    void countLoss(std::int64_t tNs, std::uint64_t datagrams, std::size_t nextPackets);
    void fill();
    void hintProtocol(bool carriesRtp);
    void intervalClosed(const MdiInterval& interval);
    void publish();

    IpUrl url_;
    IpSourceOptions options_;
    int wakeFd_ = -1;
    UdpReceiver receiver_;
    std::vector<Slot> slots_;
    std::size_t batchSize_ = 0, cursor_ = 0;
    PacketGroups groups_;
    RtpSequence sequence_;
    MdiMeter meter_;
    std::uint32_t dropsSeen_ = 0;
    std::size_t packetsPerDatagram_ = 0;  // of the last datagram taken
    bool hinted_ = false;
    IpCounters work_;  // the acquisition thread's own

    mutable std::mutex published_;
    IpCounters shown_;
    std::optional<MdiReading> mdi_;
    std::atomic<double> bitrate_{0.0};
};

}  // namespace orv
