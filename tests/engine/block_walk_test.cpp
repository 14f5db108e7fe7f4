#include "engine/block_walk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/test_packets.h"

namespace orv {
namespace {

// Records what the walk reported, as a compact trace: "P0 P188 B376 L10+ L0-". Appended piece by
// piece: GCC 12 at -O3 reports a bogus overlapping copy (-Wrestrict) for "text" + std::string.
struct Recorder {
    std::string trace;
    std::size_t stopAt = SIZE_MAX;
    void note(char what, std::size_t pos, const char* tail = " ") {
        trace += what;
        trace += std::to_string(pos);
        trace += tail;
    }
    WalkStep packet(const uint8_t*, std::size_t pos) {
        note('P', pos);
        return pos == stopAt ? WalkStep::Stop : WalkStep::Continue;
    }
    void syncByteError(std::size_t pos) { note('B', pos); }
    void syncLoss(std::size_t pos, bool regained) { note('L', pos, regained ? "+ " : "- "); }
};

std::vector<uint8_t> cleanPackets(int n, std::size_t len) {
    std::vector<uint8_t> b;
    for (int i = 0; i < n; ++i)
        test::appendPacket(b, {.cc = unsigned(i)}, len);
    return b;
}

struct WalkCase {
    const char* name;
    std::size_t packetLength;
    std::vector<uint8_t> block;
    bool singleByteTest;
    std::string trace;
    std::size_t leftover;
};

std::vector<WalkCase> walkCases() {
    std::vector<WalkCase> cases;
    cases.push_back({"empty block", 188, {}, true, "", 0});
    cases.push_back({"less than one packet", 188, std::vector<uint8_t>(100, 0x47), true, "", 100});
    cases.push_back({"three clean packets", 188, cleanPackets(3, 188), true, "P0 P188 P376 ", 0});
    {
        auto b = cleanPackets(3, 188);
        b.resize(b.size() + 50, 0x47);
        cases.push_back({"trailing partial packet", 188, b, true, "P0 P188 P376 ", 50});
    }
    {
        auto b = cleanPackets(5, 188);
        b[188] = 0x46;
        cases.push_back(
            {"single bad sync byte skips its packet", 188, b, true, "P0 B188 P376 P564 P752 ", 0});
        cases.push_back({"initialisation walk resynchronises on the next packet", 188, b, false,
                         "P0 L188+ P376 P564 P752 ", 0});
    }
    {
        auto b = cleanPackets(7, 188);
        b[188] = 0x46;
        b[752] = 0x00;
        cases.push_back({"two damaged sync bytes apart", 188, b, true,
                         "P0 B188 P376 P564 B752 P940 P1128 ", 0});
    }
    {
        // Past the end of the block nothing contradicts a single damaged byte: the next block
        // goes on in step.
        auto b = cleanPackets(4, 188);
        b[376] = 0x00;
        cases.push_back(
            {"damage in the last but one packet", 188, b, true, "P0 P188 B376 P564 ", 0});
        b[376] = 0x47;
        b[564] = 0x00;
        cases.push_back({"damage in the last packet", 188, b, true, "P0 P188 P376 B564 ", 0});
    }
    {
        // A packet further on that is there but out of step makes it a loss of sync.
        auto b = cleanPackets(4, 188);
        b[376] = 0x00;
        b[564] = 0x12;
        cases.push_back({"damage with a slip after it", 188, b, true, "P0 P188 L376- ", 0});
    }
    {
        std::vector<uint8_t> b(10, 0x00);
        auto rest = cleanPackets(3, 188);
        b.insert(b.end(), rest.begin(), rest.end());
        cases.push_back({"garbage before sync", 188, b, true, "L0+ P10 P198 P386 ", 0});
    }
    {
        std::vector<uint8_t> b(188 * 4, 0x00);
        b[5] = b[5 + 188] = 0x47;  // only two sync bytes at packet spacing
        cases.push_back({"no three sync bytes: dropped whole", 188, b, true, "L0- ", 0});
    }
    cases.push_back({"204-byte packets", 204, cleanPackets(3, 204), true, "P0 P204 P408 ", 0});
    {
        auto b = cleanPackets(3, 204);
        b.resize(b.size() + 190, 0x47);  // more than 188 but less than 204 bytes left
        cases.push_back({"204-byte tail of 190 bytes", 204, b, true, "P0 P204 P408 ", 190});
    }
    return cases;
}

TEST(BlockWalk, FramingRules) {
    for (const WalkCase& c : walkCases()) {
        SCOPED_TRACE(c.name);
        Recorder r;
        const std::size_t left =
            walkBlock(c.block.data(), c.block.size(), c.packetLength, c.singleByteTest, r);
        EXPECT_EQ(r.trace, c.trace);
        EXPECT_EQ(left, c.leftover);
    }
}

TEST(BlockWalk, StopEndsTheWalkWithoutLeftover) {
    auto b = cleanPackets(4, 188);
    b.resize(b.size() + 20, 0);
    Recorder r;
    r.stopAt = 188;
    EXPECT_EQ(walkBlock(b.data(), b.size(), 188, true, r), 0u);
    EXPECT_EQ(r.trace, "P0 P188 ");
}

TEST(BlockWalk, ResyncNeedsAllThreeSyncBytesInsideTheBlock) {
    std::vector<uint8_t> b(3 * 188, 0x00);
    b[7] = b[7 + 188] = b[7 + 376] = 0x47;
    EXPECT_EQ(findResync(b.data(), b.size(), 1, 188), 7u);
    EXPECT_EQ(findResync(b.data(), 7 + 376, 1, 188), 7u + 376);  // third one just outside
}

}  // namespace
}  // namespace orv
