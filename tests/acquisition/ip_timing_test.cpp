// Time on an IP input, on synthetic arrival times: the 40-packet groups and their timing values
// from datagram arrivals, and the Media Delivery Index per interval. Expected values are worked
// out by hand in the comments.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/mdi_meter.h"
#include "acquisition/packet_groups.h"

namespace orv {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int64_t kMs = 1'000'000;  // ns

// `count` packets of `length` bytes numbered from `first` (the number in bytes 4..7).
Bytes numbered(uint32_t first, std::size_t count, int length) {
    Bytes b(count * static_cast<std::size_t>(length), 0xFF);
    for (std::size_t i = 0; i < count; ++i) {
        uint8_t* p = &b[i * static_cast<std::size_t>(length)];
        p[0] = 0x47;
        const uint32_t n = first + static_cast<uint32_t>(i);
        p[4] = uint8_t(n >> 24), p[5] = uint8_t(n >> 16), p[6] = uint8_t(n >> 8), p[7] = uint8_t(n);
    }
    return b;
}
uint32_t numberAt(const uint8_t* p) {
    return (uint32_t{p[4]} << 24) | (uint32_t{p[5]} << 16) | (uint32_t{p[6]} << 8) | p[7];
}

struct Taken {
    std::vector<uint32_t> numbers;  // packet numbers, in order
    std::vector<uint32_t> times;    // one per group
    std::vector<int> lengths;       // one per group
};

void takeAll(PacketGroups& g, Taken& out) {
    std::vector<uint8_t> block(kLiveBlockBytes);
    std::vector<uint32_t> times(kLiveMaxGroupsPerRead);
    while (g.wholeGroups() > 0) {
        const LiveRead r = g.take(block, times);
        ASSERT_GT(r.groups, 0u);
        for (std::size_t i = 0; i < r.groups * kLiveGroupPackets; ++i) {
            const uint8_t* p = &block[i * static_cast<std::size_t>(r.packetLength)];
            ASSERT_EQ(p[0], 0x47);
            out.numbers.push_back(numberAt(p));
        }
        for (std::size_t i = 0; i < r.groups; ++i) {
            out.times.push_back(times[i]);
            out.lengths.push_back(r.packetLength);
        }
    }
}

// A constant-rate stream cut into datagrams of k packets: whatever k, every group after the
// first lasts exactly 40 packet times, since a datagram's packets are spread back to the
// previous arrival. At 8 Mbit/s a 188-byte packet takes 188 us, a group 7.52 ms = 2 030 400
// ticks of 270 MHz; a 204-byte packet 204 us, a group 8.16 ms = 2 203 200 ticks.
TEST(PacketGroups, ConstantRateGivesTheRateInEveryGroup) {
    for (const int length : {188, 204}) {
        for (std::size_t k = 1; k <= 7; ++k) {
            SCOPED_TRACE(std::to_string(k) + " x " + std::to_string(length));
            PacketGroups g(7);
            Taken out;
            const std::size_t total = 1003;          // 25 whole groups and 3 packets
            const int64_t packetNs = length * 1000;  // at 8 Mbit/s
            const int64_t t0 = 1'700'000'000 * 1'000'000'000LL;
            for (std::size_t first = 0; first < total; first += k) {
                const std::size_t n = std::min(k, total - first);
                const Bytes d = numbered(static_cast<uint32_t>(first), n, length);
                const int64_t arrival = t0 + static_cast<int64_t>(first + n) * packetNs;
                if (g.wholeGroups() >= kLiveMaxGroupsPerRead) takeAll(g, out);
                ASSERT_TRUE(g.add(d.data(), n, length, arrival));
            }
            takeAll(g, out);
            ASSERT_EQ(out.numbers.size(), 1000u);
            for (uint32_t i = 0; i < 1000; ++i)
                ASSERT_EQ(out.numbers[i], i);
            EXPECT_EQ(g.pendingPackets(), 3u);
            ASSERT_EQ(out.times.size(), 25u);
            EXPECT_EQ(out.times[0], 0u);  // no group before it
            const uint32_t ticks = length == 188 ? 2'030'400u : 2'203'200u;
            for (std::size_t i = 1; i < out.times.size(); ++i)
                EXPECT_EQ(out.times[i], ticks) << "group " << i;
        }
    }
}

TEST(PacketGroups, IrregularArrivalsLengthChangesAndTheClock) {
    // Datagrams of 4 x 188 arriving every 1 ms, except that datagram 15 (packets 60..63) comes
    // 0.5 ms late. Group 1 (packets 40..79) ends with datagram 19 on time, so it still lasts
    // 10 ms (2 700 000 ticks): lateness inside a group does not change its duration.
    {
        PacketGroups g(4);
        Taken out;
        for (uint32_t d = 0; d < 30; ++d) {
            const Bytes b = numbered(d * 4, 4, 188);
            const int64_t t = int64_t(d + 1) * kMs + (d == 15 ? kMs / 2 : 0);
            ASSERT_TRUE(g.add(b.data(), 4, 188, t));
        }
        takeAll(g, out);
        ASSERT_EQ(out.times.size(), 3u);
        EXPECT_EQ(out.times[1], 2'700'000u);
        EXPECT_EQ(out.times[2], 2'700'000u);
    }
    // The length changes from 188 to 204 after 50 packets: the whole group of 188 goes out
    // first, alone; the 10 packets of the unfinished group are dropped; the next group's time
    // runs from the last dropped packet (at 50 ms) to its own end: 40 datagrams of one 204-byte
    // packet every 1 ms after it, 40 ms = 10 800 000 ticks.
    {
        PacketGroups g(1);
        Taken out;
        for (uint32_t i = 0; i < 50; ++i) {
            const Bytes b = numbered(i, 1, 188);
            ASSERT_TRUE(g.add(b.data(), 1, 188, int64_t(i + 1) * kMs));
        }
        const Bytes first204 = numbered(1000, 1, 204);
        EXPECT_FALSE(g.add(first204.data(), 1, 204, 51 * kMs));  // 188 group still pending
        EXPECT_EQ(g.length(), 188);
        takeAll(g, out);
        for (uint32_t i = 0; i < 40; ++i) {
            const Bytes b = numbered(1000 + i, 1, 204);
            ASSERT_TRUE(g.add(b.data(), 1, 204, int64_t(51 + i) * kMs));
        }
        EXPECT_EQ(g.droppedPackets(), 10u);
        EXPECT_EQ(g.length(), 204);
        takeAll(g, out);
        ASSERT_EQ(out.lengths, (std::vector<int>{188, 204}));
        EXPECT_EQ(out.numbers[40], 1000u);
        EXPECT_EQ(out.times[1], 10'800'000u);
    }
    // A pause of 20 s inside a group (beyond 32 bits of ticks) and a clock set back: unknown (0).
    {
        PacketGroups g(1);
        Taken out;
        int64_t t = 100 * kMs;
        for (uint32_t i = 0; i < 160; ++i) {
            if (i == 60) t += 20'000 * kMs;
            if (i == 100) t -= 5'000 * kMs;
            t += kMs;
            const Bytes b = numbered(i, 1, 188);
            ASSERT_TRUE(g.add(b.data(), 1, 188, t));
            if (g.wholeGroups() == kLiveMaxGroupsPerRead) takeAll(g, out);
        }
        takeAll(g, out);
        ASSERT_EQ(out.times.size(), 4u);
        EXPECT_EQ(out.times[1], 0u);           // 40 ms + 20 s
        EXPECT_EQ(out.times[2], 0u);           // runs backwards
        EXPECT_EQ(out.times[3], 10'800'000u);  // 40 ms again
    }
}

struct Event {
    int64_t t;
    uint32_t bytes;  // an arrival when lostPackets is 0
    uint64_t lostPackets;
};

std::vector<MdiInterval> meter(const std::vector<Event>& events, int64_t quietAt) {
    std::vector<MdiInterval> out;
    MdiMeter m(1000 * kMs, [&out](const MdiInterval& i) { out.push_back(i); });
    for (const Event& e : events) {
        if (e.lostPackets)
            m.lost(e.t, e.lostPackets, e.lostPackets / 7);
        else
            m.arrival(e.t, e.bytes);
    }
    if (quietAt) m.advanceTo(quietAt);
    return out;
}

TEST(MdiMeter, DelayFactorLossRateAndQuietIntervals) {
    const int64_t t0 = 5 * kMs / 10;  // the first arrival opens the first interval
    // 1000 datagrams of 1316 bytes, one every ms: the rate is 1316 bytes per ms and the buffer
    // swings between 0 (just before each arrival) and 1316 (just after): DF = 1 ms.
    std::vector<Event> paced;
    for (int i = 0; i < 1000; ++i)
        paced.push_back({t0 + i * kMs, 1316, 0});
    // The same second with a hole: 500 datagrams 1 ms apart, nothing for 250 ms, then 500
    // datagrams 0.5 ms apart from 750 ms. Just before the arrival at 750 ms the buffer holds
    // 1316 x 500 - 1316 x 750 = -329 000 bytes; its top is 1316: DF = 330 316 / 1316 = 251 ms,
    // the hole plus one datagram.
    std::vector<Event> hole;
    for (int i = 0; i < 500; ++i)
        hole.push_back({t0 + i * kMs, 1316, 0});
    for (int i = 0; i < 500; ++i)
        hole.push_back({t0 + 750 * kMs + i * kMs / 2, 1316, 0});

    struct Expected {
        int64_t start;
        double df, mlr, mbps;
    };
    struct Case {
        std::string name;
        std::vector<Event> events;
        int64_t quietAt;
        std::vector<Expected> readings;
    };
    auto with = [](std::vector<Event> e, std::vector<Event> more) {
        e.insert(e.end(), more.begin(), more.end());
        return e;
    };
    // 1316 bytes x 1000 per second = 10.528 Mbit/s.
    const std::vector<Case> cases = {
        {"paced, closed by the next arrival",
         with(paced, {{t0 + 1000 * kMs, 1316, 0}}),
         0,
         {{t0, 1.0, 0.0, 10.528}}},
        {"paced, closed by the clock", paced, t0 + 1000 * kMs, {{t0, 1.0, 0.0, 10.528}}},
        {"a hole of 250 ms",
         with(hole, {{t0 + 1000 * kMs, 1316, 0}}),
         0,
         {{t0, 251.0, 0.0, 10.528}}},
        // 3 datagrams of 7 packets lost in the first second, 1 in the second second (found at
        // its first arrival): 21 then 7 packets per second. The second second holds a single
        // datagram, which the buffer must keep for the whole second: DF = 1000 ms.
        {"losses",
         with(paced, {{t0 + 400 * kMs, 0, 21},
                      {t0 + 1000 * kMs, 0, 7},
                      {t0 + 1000 * kMs, 1316, 0},
                      {t0 + 2000 * kMs, 1316, 0}}),
         0,
         {{t0, 1.0, 21.0, 10.528}, {t0 + 1000 * kMs, 1000.0, 7.0, 1316 * 8e-6}}},
        // Silence from 1 s to 3.5 s: the empty seconds give one reading of nothing.
        {"quiet seconds",
         with(paced, {{t0 + 3500 * kMs, 1316, 0}}),
         0,
         {{t0, 1.0, 0.0, 10.528}, {t0 + 2000 * kMs, 0.0, 0.0, 0.0}}},
        // The clock set back by 10 s: the interval so far closes, a new one starts there.
        {"clock set back",
         {{t0, 1316, 0}, {t0 + 500 * kMs, 1316, 0}, {t0 - 10'000 * kMs, 1316, 0}},
         0,
         {{t0, 1000.0 / 2, 0.0, 2 * 1316 * 8e-6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto got = meter(c.events, c.quietAt);
        ASSERT_EQ(got.size(), c.readings.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].startNs, c.readings[i].start) << i;
            EXPECT_NEAR(got[i].delayFactorMs, c.readings[i].df, 1e-6) << i;
            EXPECT_NEAR(got[i].mediaLossRate, c.readings[i].mlr, 1e-9) << i;
            EXPECT_NEAR(got[i].bitrateMbps, c.readings[i].mbps, 1e-9) << i;
        }
    }
}

}  // namespace
}  // namespace orv
