// The UDP/RTP source over loopback: a sender thread plays generated streams to unicast
// 127.0.0.1 and to multicast groups joined on lo, and the test reads them as the acquisition
// thread would. Everything is bounded in time; the sender ends by itself.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/ip_source.h"
#include "platform/message.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A UDP port free at the moment (the race with another process taking it is accepted).
uint16_t freePort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// A group of the site-local scope, different per process.
std::string testGroup(int n) {
    return "239.255." + std::to_string(getpid() % 200 + 1) + "." + std::to_string(n);
}

// Sends datagrams from 127.0.0.1 on its own thread, which runs `script` and ends with it.
class Sender {
  public:
    Sender(const std::string& host, uint16_t port) {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        in_addr lo{};
        lo.s_addr = htonl(INADDR_LOOPBACK);
        setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &lo, sizeof lo);
        const unsigned char loop = 1, ttl = 1;
        setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
        setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        to_.sin_family = AF_INET;
        inet_pton(AF_INET, host.c_str(), &to_.sin_addr);
        to_.sin_port = htons(port);
    }
    ~Sender() {
        if (thread_.joinable()) thread_.join();
        close(fd_);
    }
    void run(std::function<void(Sender&)> script) {
        thread_ = std::thread([this, script = std::move(script)] {
            script(*this);
            done_ = true;
        });
    }
    void send(const Bytes& d) {
        sendto(fd_, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to_), sizeof to_);
        ++sent_;
    }
    // Waits (at most 10 s) for `ready`; false when it never came.
    static bool await(const std::function<bool()>& ready) {
        const auto limit = Clock::now() + 10s;
        while (!ready()) {
            if (Clock::now() > limit) return false;
            std::this_thread::sleep_for(100us);
        }
        return true;
    }
    bool done() const { return done_; }
    uint64_t sent() const { return sent_; }

  private:
    int fd_ = -1;
    sockaddr_in to_{};
    std::thread thread_;
    std::atomic<bool> done_{false};
    std::atomic<uint64_t> sent_{0};
};

// What the test read from the source.
struct Received {
    std::vector<std::pair<int, Bytes>> runs;  // packet length and the packets read at it
    std::vector<uint32_t> times;              // one per group
    std::size_t groups = 0;
};

void readOnce(IpSource& source, Received& out) {
    static thread_local std::vector<uint8_t> block(kLiveBlockBytes);
    static thread_local std::vector<uint32_t> times(kLiveMaxGroupsPerRead);
    const LiveRead r = source.read(block, times);
    if (r.groups == 0) return;
    ASSERT_FALSE(r.framingLost);
    if (out.runs.empty() || out.runs.back().first != r.packetLength)
        out.runs.push_back({r.packetLength, {}});
    Bytes& run = out.runs.back().second;
    run.insert(
        run.end(), block.begin(),
        block.begin() + static_cast<std::ptrdiff_t>(r.groups * kLiveGroupPackets *
                                                    static_cast<std::size_t>(r.packetLength)));
    out.times.insert(out.times.end(), times.begin(),
                     times.begin() + static_cast<std::ptrdiff_t>(r.groups));
    out.groups += r.groups;
}

// Reads until the sender is done and every datagram it sent has been taken in (at most 20 s).
Received receiveAll(IpSource& source, const Sender& sender) {
    Received out;
    const auto limit = Clock::now() + 20s;
    while (Clock::now() < limit) {
        if (source.waitForData(20ms)) {
            readOnce(source, out);
            continue;
        }
        readOnce(source, out);
        if (sender.done() && source.counters().datagrams >= sender.sent()) break;
    }
    return out;
}

// Waits on the source (closing MDI intervals on the clock) until `ready` or 2 s.
void waitOn(IpSource& source, const std::function<bool()>& ready) {
    const auto limit = Clock::now() + 2s;
    while (!ready() && Clock::now() < limit)
        source.waitForData(20ms);
}

Bytes streamPackets(unsigned packetSize, std::size_t count) {
    tsgen::PresetOptions o;
    o.packetSize = packetSize;
    o.durationMs = count * packetSize * 8 / 8000 + 50;  // at the preset's 8 Mbit/s
    Bytes ts = tsgen::generateStream(tsgen::cleanPreset(o).config);
    ts.resize(count * packetSize);
    return ts;
}

Bytes rtpHeader(uint16_t seq, bool extras) {
    Bytes h = {uint8_t(extras ? 0xB1 : 0x80),
               33,
               uint8_t(seq >> 8),
               uint8_t(seq),
               0,
               0,
               uint8_t(seq >> 4),
               uint8_t(seq << 4),
               0x0A,
               0x0B,
               0x0C,
               0x0D};
    if (extras) {
        const Bytes csrcAndExtension = {1, 2, 3, 4, 0xBE, 0xDE, 0, 1, 9, 9, 9, 9};
        h.insert(h.end(), csrcAndExtension.begin(), csrcAndExtension.end());
    }
    return h;
}

struct Case {
    std::string name;
    std::string url;  // %P: the port, %G: the group
    bool rtp = false;
    bool rtpExtras = false;  // CSRC, header extension and padding around the packets
    std::size_t perDatagram = 7;
    std::vector<unsigned> segments = {188};  // packet length of each part of the stream
    int junkBefore = -1;                     // a datagram of 2 packets and 5 bytes
    bool damagedSync = false;                // packet 1 of datagram 10 loses its sync byte
    int gapAt = -1;                          // rtp: datagrams not sent, their numbers skipped
    unsigned gapLength = 0;
    int repeatAt = -1;  // rtp: the datagram sent twice
    int swapAt = -1;    // rtp: this datagram and the next sent in the other order
    uint16_t firstSequence = 1000;
    bool foreign = false;  // every datagram from a sender the URL does not take
};

constexpr std::size_t kSegmentPackets = 500;

// Every packet sent comes out whole and in order, in 40-packet groups at its own length, with
// the skipped, lost and dropped datagrams counted; RTP gaps show in the MDI loss rate.
TEST(IpSource, StreamsComeOutWholeAndInOrder) {
    const std::vector<Case> cases = {
        {.name = "udp unicast, 7 x 188, a partial datagram and a damaged sync byte",
         .url = "udp://127.0.0.1:%P",
         .junkBefore = 20,
         .damagedSync = true},
        {.name = "rtp unicast, 1 x 204, a gap of 3, a repeat and a swap",
         .url = "rtp://127.0.0.1:%P",
         .rtp = true,
         .perDatagram = 1,
         .segments = {204},
         .gapAt = 100,
         .gapLength = 3,
         .repeatAt = 200,
         .swapAt = 300},
        {.name = "udp multicast joined on lo by address, 2 x 188 then 204",
         .url = "udp://%G:%P?iface=127.0.0.1",
         .perDatagram = 2,
         .segments = {188, 204}},
        {.name = "rtp multicast joined on lo by name, 3 x 204, CSRC, extension and padding, a gap "
                 "across the wrap",
         .url = "rtp://%G:%P?iface=lo",
         .rtp = true,
         .rtpExtras = true,
         .perDatagram = 3,
         .segments = {204},
         .gapAt = 30,
         .gapLength = 10,
         .firstSequence = 65500},
        {.name = "udp source-specific multicast on lo by address, 4 x 188",
         .url = "udp://127.0.0.1@%G:%P?iface=127.0.0.1",
         .perDatagram = 4},
        {.name = "rtp source-specific multicast on lo by name, 5 x 204, a partial datagram, a gap",
         .url = "rtp://127.0.0.1@%G:%P?iface=lo",
         .rtp = true,
         .perDatagram = 5,
         .segments = {204},
         .junkBefore = 7,
         .gapAt = 40,
         .gapLength = 2},
        {.name = "udp on any address, 6 x 204 then 188",
         .url = "udp://@:%P",
         .perDatagram = 6,
         .segments = {204, 188}},
        {.name = "udp unicast for another source: nothing taken",
         .url = "udp://127.0.0.2@127.0.0.1:%P",
         .foreign = true},
    };
    std::vector<std::string> refused;
    int groupNumber = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The plan: datagrams as sent, and the packets the source must take, run by run.
        std::vector<Bytes> datagrams;
        std::vector<std::pair<unsigned, Bytes>> expected;
        uint64_t lost = 0, late = 0, partial = 0;
        uint16_t seq = c.firstSequence;
        auto frame = [&](const Bytes& packets) {
            Bytes d;
            if (c.rtp) d = rtpHeader(seq++, c.rtpExtras);
            d.insert(d.end(), packets.begin(), packets.end());
            if (c.rtp && c.rtpExtras) d.insert(d.end(), {0, 0, 0, 4});
            return d;
        };
        auto take = [&](unsigned length, const Bytes& packets) {
            if (expected.empty() || expected.back().first != length)
                expected.push_back({length, {}});
            expected.back().second.insert(expected.back().second.end(), packets.begin(),
                                          packets.end());
        };
        int index = 0;
        for (const unsigned length : c.segments) {
            Bytes ts = streamPackets(length, kSegmentPackets);
            for (std::size_t first = 0; first < kSegmentPackets; first += c.perDatagram, ++index) {
                const std::size_t n = std::min(c.perDatagram, kSegmentPackets - first);
                if (c.damagedSync && index == 10) ts[(first + 1) * length] = 0x46;
                const Bytes packets(ts.begin() + static_cast<std::ptrdiff_t>(first * length),
                                    ts.begin() + static_cast<std::ptrdiff_t>((first + n) * length));
                if (index == c.junkBefore) {
                    Bytes junk(packets.begin(), packets.begin() + 2 * 188 + 5);
                    datagrams.push_back(frame(junk));
                    ++partial;
                }
                if (index >= c.gapAt && index < c.gapAt + static_cast<int>(c.gapLength)) {
                    ++seq;
                    ++lost;
                    continue;
                }
                datagrams.push_back(frame(packets));
                if (index == c.repeatAt) {
                    datagrams.push_back(datagrams.back());
                    ++late;
                }
                if (c.swapAt >= 0 && index == c.swapAt + 1) {
                    // The earlier one comes second: counted lost when this one came, then late.
                    std::swap(datagrams[datagrams.size() - 1], datagrams[datagrams.size() - 2]);
                    ++lost;
                    ++late;
                    expected.back().second.resize(expected.back().second.size() - n * length);
                }
                take(length, packets);
            }
        }
        if (c.foreign) expected.clear();

        const uint16_t port = freePort();
        const std::string group = testGroup(groupNumber++);
        std::string text = c.url;
        text.replace(text.find("%P"), 2, std::to_string(port));
        if (const auto g = text.find("%G"); g != std::string::npos) text.replace(g, 2, group);
        const auto parsed = parseIpUrl(text);
        ASSERT_TRUE(parsed.url) << parsed.error;

        std::vector<MdiInterval> intervals;
        IpSourceOptions options;
        options.mdiInterval = 100ms;
        options.onMdiInterval = [&intervals](const MdiInterval& i) { intervals.push_back(i); };
        IpSource source(*parsed.url, options);
        std::string message;
        ScopedMessageHook hook([&message](std::string_view m) { message = m; });
        const std::atomic<bool> stop{false};
        const LiveOpenResult opened = source.open(stop);
        if (opened == LiveOpenResult::Failed &&
            message.find("joining the group") != std::string::npos) {
            refused.push_back(c.name + ": " + message);
            continue;
        }
        ASSERT_EQ(opened, LiveOpenResult::Ready) << message;
        EXPECT_EQ(source.describe(), parsed.url->text());

        Sender sender(parsed.url->multicast() ? group : "127.0.0.1", port);
        sender.run([&datagrams, &source](Sender& s) {
            for (const Bytes& d : datagrams) {
                // At most 48 datagrams ahead of the reader: the socket never overflows.
                if (!Sender::await([&] { return s.sent() < source.counters().datagrams + 48; }))
                    return;
                s.send(d);
            }
        });
        const Received got = receiveAll(source, sender);
        ASSERT_EQ(sender.sent(), datagrams.size());

        const IpCounters n = source.counters();
        EXPECT_EQ(n.datagrams, datagrams.size());
        EXPECT_EQ(n.partialDatagrams, c.foreign ? 0 : partial);
        EXPECT_EQ(n.lostDatagrams, lost);
        EXPECT_EQ(n.lateDatagrams, late);
        EXPECT_EQ(n.badRtpHeaders, 0u);
        EXPECT_EQ(n.overflowDatagrams, 0u);
        EXPECT_EQ(n.foreignDatagrams, c.foreign ? datagrams.size() : 0u);

        // Whole groups of each run; the unfinished group of a run is dropped when the length
        // changes, and the last one waits for more.
        ASSERT_EQ(got.runs.size(), expected.size());
        uint64_t dropped = 0;
        for (std::size_t r = 0; r < expected.size(); ++r) {
            const std::size_t packets = expected[r].second.size() / expected[r].first;
            const std::size_t whole = packets / kLiveGroupPackets * kLiveGroupPackets;
            if (r + 1 < expected.size()) dropped += packets - whole;
            EXPECT_EQ(got.runs[r].first, static_cast<int>(expected[r].first));
            Bytes want = expected[r].second;
            want.resize(whole * expected[r].first);
            EXPECT_TRUE(got.runs[r].second == want)
                << "run " << r << ": " << got.runs[r].second.size() << " bytes, " << want.size()
                << " expected";
        }
        EXPECT_EQ(n.droppedPackets, dropped);
        if (!got.times.empty()) {
            EXPECT_EQ(got.times[0], 0u);  // no group before the first
        }

        if (lost > 0) {
            // Every loss lands in one interval, as the packets of its datagrams per interval.
            auto lostSoFar = [&intervals] {
                uint64_t s = 0;
                for (const auto& i : intervals)
                    s += i.lostDatagrams;
                return s;
            };
            waitOn(source, [&] { return lostSoFar() == lost; });
            EXPECT_EQ(lostSoFar(), lost);
            uint64_t lostPackets = 0;
            for (const MdiInterval& i : intervals) {
                lostPackets += i.lostPackets;
                EXPECT_DOUBLE_EQ(i.mediaLossRate, static_cast<double>(i.lostPackets) / 0.1);
            }
            EXPECT_EQ(lostPackets, lost * c.perDatagram);
            ASSERT_TRUE(source.mediaDeliveryIndex());
            EXPECT_EQ(source.mediaDeliveryIndex()->lostDatagrams, lost);
        }
        source.close();
    }
    if (!refused.empty()) {
        std::string all;
        for (const auto& r : refused)
            all += "\n  " + r;
        GTEST_SKIP() << "the kernel refused to join a group on lo; not tested:" << all;
    }
}

// Paced at 10 Mbit/s in datagrams of 7 x 188 bytes (one every 1.0528 ms, each sent at its
// scheduled time), the group timing values give the rate. The sum of the durations runs from the
// first group's end to the last one's: the sender's schedule, off only by the lateness of two
// sends; over 240 ms a lateness of up to 10 ms stays within 5 %. A single group lasts 7.52 ms;
// a send late by more than 0.75 ms moves it by more than 10 %, which happens to a few groups on
// a busy machine, never to half of them: the median stays within 10 %.
TEST(IpSource, GroupTimesGiveThePacedRate) {
    const uint16_t port = freePort();
    IpSource source(*parseIpUrl("udp://127.0.0.1:" + std::to_string(port)).url);
    const std::atomic<bool> stop{false};
    ASSERT_EQ(source.open(stop), LiveOpenResult::Ready);

    const double rate = 10e6;
    const Bytes ts = streamPackets(188, 7 * 228);
    Sender sender("127.0.0.1", port);
    sender.run([&ts, rate](Sender& s) {
        const auto period =
            std::chrono::nanoseconds(static_cast<int64_t>(7 * 188 * 8 / rate * 1e9));
        const auto start = Clock::now();
        for (std::size_t i = 0; i < 228; ++i) {
            std::this_thread::sleep_until(start + period * i);
            s.send(Bytes(ts.begin() + static_cast<std::ptrdiff_t>(i * 7 * 188),
                         ts.begin() + static_cast<std::ptrdiff_t>((i + 1) * 7 * 188)));
        }
    });
    const Received got = receiveAll(source, sender);
    ASSERT_EQ(got.groups, 7 * 228 / 40u);
    ASSERT_EQ(got.runs.size(), 1u);
    EXPECT_TRUE(got.runs[0].second == Bytes(ts.begin(), ts.begin() + 39 * 40 * 188));

    // The PCR checks' rate: L x 3200 / (T / 27e6) x 1e-6 Mbit/s.
    auto mbps = [](double ticks) { return 188 * 3200.0 / (ticks / 27e6) * 1e-6; };
    double sum = 0;
    std::vector<double> rates;
    for (std::size_t g = 1; g < got.times.size(); ++g) {
        ASSERT_GT(got.times[g], 0u);
        sum += got.times[g];
        rates.push_back(mbps(got.times[g]));
    }
    const double overall = mbps(sum / static_cast<double>(rates.size()));
    std::sort(rates.begin(), rates.end());
    EXPECT_NEAR(overall, 10.0, 0.5);
    EXPECT_NEAR(rates[rates.size() / 2], 10.0, 1.0);
}

// Plain UDP: what the kernel dropped at a full receive buffer is counted as lost datagrams and
// shows in the MDI loss rate (one packet per datagram here).
TEST(IpSource, UdpCountsTheDatagramsTheSocketDropped) {
    const uint16_t port = freePort();
    IpSourceOptions options;
    options.receiveBufferBytes = 32 << 10;
    options.mdiInterval = 100ms;
    std::vector<MdiInterval> intervals;
    options.onMdiInterval = [&intervals](const MdiInterval& i) { intervals.push_back(i); };
    IpSource source(*parseIpUrl("udp://127.0.0.1:" + std::to_string(port)).url, options);
    const std::atomic<bool> stop{false};
    ASSERT_EQ(source.open(stop), LiveOpenResult::Ready);
    EXPECT_LE(source.receiveBufferBytes(), 2 * (32 << 10) + 4096);

    const Bytes ts = streamPackets(188, 400);
    std::atomic<bool> drained{false};
    Sender sender("127.0.0.1", port);
    sender.run([&](Sender& s) {
        for (std::size_t i = 0; i < 400; ++i)
            s.send(Bytes(ts.begin() + static_cast<std::ptrdiff_t>(i * 188),
                         ts.begin() + static_cast<std::ptrdiff_t>((i + 1) * 188)));
        // One more once the reader has emptied the socket: it carries the count of the drops
        // after the last datagram the socket kept.
        if (Sender::await([&] { return drained.load(); }))
            s.send(Bytes(ts.begin(), ts.begin() + 188));
    });
    ASSERT_TRUE(Sender::await([&] { return sender.sent() == 400; }));
    Received got;
    while (source.waitForData(20ms))
        readOnce(source, got);
    drained = true;
    const auto limit = Clock::now() + 5s;
    IpCounters n;
    do {
        source.waitForData(20ms);
        readOnce(source, got);
        n = source.counters();
    } while (n.datagrams + n.overflowDatagrams < 401 && Clock::now() < limit);

    EXPECT_GT(n.overflowDatagrams, 0u);
    EXPECT_EQ(n.datagrams + n.overflowDatagrams, 401u);
    EXPECT_EQ(n.lostDatagrams, n.overflowDatagrams);
    auto lostSoFar = [&intervals] {
        uint64_t s = 0;
        for (const auto& i : intervals)
            s += i.lostPackets;
        return s;
    };
    waitOn(source, [&] { return lostSoFar() == n.overflowDatagrams; });
    EXPECT_EQ(lostSoFar(), n.overflowDatagrams);
}

// RTP sent to udp:// or plain packets to rtp://: skipped, counted, and named once.
TEST(IpSource, DatagramsFramedTheOtherWayAreNamed) {
    const Bytes ts = streamPackets(188, 21);
    for (const bool rtpSent : {true, false}) {
        const std::string port = std::to_string(freePort());
        const std::string udp = "udp://127.0.0.1:" + port, rtp = "rtp://127.0.0.1:" + port;
        SCOPED_TRACE(rtpSent ? "RTP to udp://" : "plain to rtp://");
        std::vector<std::string> messages;
        ScopedMessageHook hook([&messages](std::string_view m) { messages.emplace_back(m); });
        IpSource source(*parseIpUrl(rtpSent ? udp : rtp).url);
        const std::atomic<bool> stop{false};
        ASSERT_EQ(source.open(stop), LiveOpenResult::Ready);
        Sender sender("127.0.0.1", static_cast<uint16_t>(std::stoi(port)));
        sender.run([&](Sender& s) {
            for (uint16_t i = 0; i < 3; ++i) {
                Bytes d = rtpSent ? rtpHeader(i, false) : Bytes{};
                d.insert(d.end(), ts.begin() + i * 7 * 188, ts.begin() + (i + 1) * 7 * 188);
                s.send(d);
            }
        });
        const Received got = receiveAll(source, sender);
        EXPECT_EQ(got.groups, 0u);
        const IpCounters n = source.counters();
        EXPECT_EQ(n.datagrams, 3u);
        EXPECT_EQ(n.partialDatagrams, rtpSent ? 3u : 0u);
        EXPECT_EQ(n.badRtpHeaders, rtpSent ? 0u : 3u);
        const std::vector<std::string> expected = {
            rtpSent ? udp + ": the datagrams carry RTP headers; receive them with " + rtp
                    : rtp + ": the datagrams carry no RTP header; receive them with " + udp};
        EXPECT_EQ(messages, expected);
    }
}

TEST(IpSource, WakeEndsAWaitAtOnce) {
    IpSource source(*parseIpUrl("udp://127.0.0.1:" + std::to_string(freePort())).url);
    const std::atomic<bool> stop{false};
    ASSERT_EQ(source.open(stop), LiveOpenResult::Ready);
    // A wake before the wait ends the next wait; one from another thread ends a running wait.
    source.wake();
    EXPECT_FALSE(source.waitForData(10s));
    std::atomic<bool> waiting{false};
    std::thread waker([&] {
        while (!waiting)
            std::this_thread::yield();
        std::this_thread::sleep_for(20ms);
        source.wake();
    });
    const auto start = Clock::now();
    waiting = true;
    EXPECT_FALSE(source.waitForData(10s));
    waker.join();
    // A correctness bound, far from the 10 s the wait would otherwise take.
    EXPECT_LT(Clock::now() - start, 5s);
    source.close();
    EXPECT_FALSE(source.waitForData(0ms));
}

TEST(IpSource, InputsThatCannotBeOpened) {
    const uint16_t port = freePort();
    // The port taken by another socket without sharing.
    const int holder = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    struct Case {
        std::string url, message, reason;
    };
    const std::string p = std::to_string(port);
    const std::vector<Case> cases = {
        {"udp://127.0.0.1:" + p,
         "cannot receive udp://127.0.0.1:" + p + ": binding 127.0.0.1:" + p + " failed",
         "Address already in use"},
        {"udp://192.0.2.1:" + p,
         "cannot receive udp://192.0.2.1:" + p + ": binding 192.0.2.1:" + p + " failed",
         "Cannot assign requested address"},
        {"rtp://239.255.1.1:" + p + "?iface=nosuch0",
         "cannot receive rtp://239.255.1.1:" + p +
             "?iface=nosuch0: there is no network interface 'nosuch0'",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        std::string message, reason;
        ScopedReasonedMessageHook hook([&](std::string_view m, std::string_view r) {
            message = m;
            reason = r;
        });
        IpSource source(*parseIpUrl(c.url).url);
        const std::atomic<bool> stop{false};
        EXPECT_EQ(source.open(stop), LiveOpenResult::Failed);
        EXPECT_EQ(message, c.message);
        if (!c.reason.empty()) {
            EXPECT_EQ(reason, c.reason);
        }
        const std::atomic<bool> stopped{true};
        EXPECT_EQ(source.open(stopped), LiveOpenResult::Stopped);
    }
    close(holder);
}

}  // namespace
}  // namespace orv
