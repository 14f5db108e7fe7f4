#include "acquisition/sync_search.h"

#include <gtest/gtest.h>

#include <vector>

namespace orv {
namespace {

struct SyncCase {
    const char* name;
    std::vector<std::size_t> syncAt;  // offsets holding 0x47 in an otherwise zero head
    uint64_t fileSize;
    SyncSearchResult expected;
};

// Sync bytes of a 204-byte stream whose first packet starts at 0, within the searched head.
std::vector<std::size_t> stream204() {
    std::vector<std::size_t> at;
    for (std::size_t k = 0; k < kSyncSearchHead; k += 204)
        at.push_back(k);
    return at;
}

TEST(SyncSearch, LengthAndOffset) {
    auto with = [](std::vector<std::size_t> at, std::initializer_list<std::size_t> more) {
        at.insert(at.end(), more);
        return at;
    };
    const std::vector<SyncCase> cases = {
        {"188 at 0", {0, 188, 376}, 500'000, {true, 0, 188}},
        {"a partner one packet on is not enough", {0, 188}, 500'000, {}},
        {"a partner two packets on is not enough", {0, 376}, 500'000, {}},
        {"stray sync skipped", {3, 10, 198, 386}, 500'000, {true, 10, 188}},
        {"204 when 188 never pairs", {5, 209, 413}, 500'000, {true, 5, 204}},
        {"188 wins over 204 at a later offset",
         {0, 204, 408, 600, 788, 976},
         500'000,
         {true, 600, 188}},
        {"last offset tried is 2039", {2039, 2039 + 188, 2039 + 376}, 500'000, {true, 2039, 188}},
        {"2040 is too far for 188 and 204",
         {2040, 2040 + 188, 2040 + 376, 2040 + 204, 2040 + 408},
         500'000,
         {}},
        {"partner beyond the end of the file ends the search", {0, 100, 476}, 300, {}},
        // A 204-byte stream with 0x47 in payload byte 30 of its first packet and, two 188-byte
        // packets on (offset 406), in a parity byte of the second.
        {"204-byte stream with 0x47 in a parity byte",
         with(stream204(), {30, 406}),
         500'000,
         {true, 0, 204}},
    };
    for (const SyncCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> head(std::min<uint64_t>(c.fileSize, kSyncSearchHead), 0);
        for (std::size_t at : c.syncAt)
            if (at < head.size()) head[at] = 0x47;
        const SyncSearchResult r = findStreamSync(head.data(), head.size(), c.fileSize);
        EXPECT_EQ(r.found, c.expected.found);
        EXPECT_EQ(r.offset, c.expected.offset);
        EXPECT_EQ(r.packetLength, c.expected.packetLength);
    }
}

}  // namespace
}  // namespace orv
