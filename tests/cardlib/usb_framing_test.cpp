// The USB box's framing on plain byte buffers: where a resynchronisation locks, and what a parse
// hands out, for streams whose information units come one per group or in runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cardlib/usb_framing.h"
#include "tests/cardlib/card_fixture.h"

namespace orv::test {
namespace {

constexpr std::size_t kPacket = 188;
constexpr std::size_t kUnit = kPacket + 2;

// A framed stream written as a pattern: 'G' a group of 40 packet units (the next 40 packets of
// an indexed stream), 'I' an information unit.
struct Framed {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> groupStarts;  // byte offset of each group
};

Framed framed(const std::string& pattern) {
    const auto packets = indexedStream(40 * pattern.size(), kPacket);
    Framed f;
    std::size_t next = 0;
    for (char c : pattern) {
        if (c == 'G') {
            f.groupStarts.push_back(f.bytes.size());
            for (int j = 0; j < 40; ++j, ++next) {
                f.bytes.push_back(0x55);
                f.bytes.push_back(0x55);
                f.bytes.insert(f.bytes.end(), packets.begin() + next * kPacket,
                               packets.begin() + (next + 1) * kPacket);
            }
        } else {
            std::vector<std::uint8_t> info(kUnit, 0);
            info[0] = 0x55;
            info[1] = 0xAA;
            info[6] = 0x90;  // 250000 bytes/s, least significant byte first: 2 Mbit/s
            info[7] = 0xD0;
            info[8] = 0x03;
            f.bytes.insert(f.bytes.end(), info.begin(), info.end());
        }
    }
    return f;
}

TEST(UsbFraming, ResynchronisationLocksOnAWholeGroup) {
    struct Case {
        const char* name;
        std::string pattern;
        std::size_t from;       // where the search starts (byte offset)
        std::size_t lockGroup;  // the group it must lock on (index into the pattern's groups)
    };
    const Case cases[] = {
        {"alternating, at a group", "GIGIGI", 0, 0},
        {"alternating, one unit into a group", "GIGIGI", kUnit, 1},
        {"alternating, one byte into a group", "GIGIGI", 1, 1},
        // Runs: only the last group of a run is followed by an information unit.
        {"runs of two, at a group", "GGIIGGII", 0, 1},
        // The second unit of the run's last group sees the run's second information unit 40
        // units on: locking there would make the first information unit a "packet".
        {"runs of two, one unit into the last group", "GGIIGGIIGGII", 41 * kUnit, 3},
        {"runs of three, two units into the last group", "GGGIIIGGGIII", 82 * kUnit, 5},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const Framed f = framed(k.pattern);
        const std::size_t at =
            zel::findFraming(f.bytes.data() + k.from, f.bytes.size() - k.from, kUnit);
        EXPECT_EQ(k.from + at, f.groupStarts[k.lockGroup]);
    }
    // Nothing but packet units: no lock.
    const Framed f = framed("GGGG");
    EXPECT_EQ(zel::findFraming(f.bytes.data(), f.bytes.size(), kUnit), f.bytes.size());
}

TEST(UsbFraming, ParseHandsOutOnlyWholeGroups) {
    struct Case {
        const char* name;
        std::string pattern;
        std::size_t from;
        unsigned long blocks;
        long long result;
    };
    const Case cases[] = {
        {"alternating", "GIGIGI", 0, 3, 3},
        {"runs of two", "GGIIGGII", 0, 4, 4},
        {"one group short", "GIGIII", 0, 3, -2},
        {"one information unit short", "GIGGIG", 0, 3, -2},
        // One unit late: the first "group" ends with an information unit.
        {"one unit late", "GGIIGGIIGG", 41 * kUnit, 3, -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const Framed f = framed(k.pattern);
        const std::size_t bytes = std::min(f.bytes.size() - k.from, k.blocks * 41 * kUnit);
        std::vector<std::uint8_t> out(k.blocks * 40 * kPacket, 0);
        std::vector<std::uint32_t> timing(k.blocks, 0);
        double rate = 0;
        const zel::FramedParse p = zel::parseFramed(f.bytes.data() + k.from, bytes, kPacket,
                                                    k.blocks, {out.data(), timing.data()}, rate);
        EXPECT_EQ(p.result, k.result);
        if (p.result < 0) continue;
        for (std::size_t i = 0; i < k.blocks * 40; ++i) {
            ASSERT_EQ(out[i * kPacket], 0x47) << "packet " << i;
            EXPECT_EQ(packetIndex(&out[i * kPacket]), i);
        }
        EXPECT_DOUBLE_EQ(rate, 2.0);
        EXPECT_NEAR(7520 * 10 * 8 * 27 / (timing.back() + 1.0), 2.0, 0.001);
    }
}

TEST(UsbFraming, OddBuffersAreRefusedWithoutReadingPastThem) {
    const Framed f = framed("GI");
    double rate = 0;
    std::vector<std::uint8_t> out(40 * kPacket);
    for (std::size_t bytes : {std::size_t{0}, std::size_t{1}, kUnit, 40 * kUnit, 41 * kUnit - 1}) {
        SCOPED_TRACE(bytes);
        // A copy of exactly `bytes` bytes, so a sanitizer catches any read past it.
        const std::vector<std::uint8_t> data(f.bytes.begin(), f.bytes.begin() + bytes);
        EXPECT_EQ(zel::parseFramed(data.data(), bytes, kPacket, 1, {out.data()}, rate).result, -2);
        EXPECT_EQ(zel::findFraming(data.data(), bytes, kUnit), bytes);
    }
    EXPECT_EQ(zel::parseFramed(f.bytes.data(), f.bytes.size(), 100, 1, {out.data()}, rate).result,
              -2);
}

}  // namespace
}  // namespace orv::test
