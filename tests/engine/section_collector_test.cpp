#include "engine/section_collector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace orv {
namespace {

using Packet = std::array<uint8_t, 188>;
using Bytes = std::vector<uint8_t>;
constexpr int kNoAf = -1;
constexpr int kLong = 1000;  // a section_length that spans several packets and fits the buffer

// A packet whose every byte after the header is distinct from its neighbours, so a test can tell
// which bytes were collected. afLength kNoAf: payload only; otherwise adaptation field + payload.
Packet makePacket(bool unitStart, int afLength = kNoAf, bool payload = true) {
    Packet p;
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<uint8_t>(i * 7 + 3);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0x00) | 0x01);
    p[2] = 0x00;
    const unsigned afc = (afLength == kNoAf ? 0u : 2u) | (payload ? 1u : 0u);
    p[3] = static_cast<uint8_t>(afc << 4);
    if (afLength != kNoAf) p[4] = static_cast<uint8_t>(afLength);
    return p;
}

// A start packet: the pointer_field at the payload start and, where it points, a table_id, the
// section_length and optionally a table_id_extension, as far as they lie inside the packet.
Packet startPacket(uint8_t tableId, int pointer = 0, int afLength = kNoAf,
                   std::optional<uint16_t> extension = std::nullopt, int sectionLength = kLong) {
    Packet p = makePacket(true, afLength);
    const int payload = afLength == kNoAf ? 4 : 5 + afLength;
    if (payload >= 188) return p;
    p[payload] = static_cast<uint8_t>(pointer);
    const int at = payload + 1 + pointer;
    const uint8_t header[] = {tableId, static_cast<uint8_t>(0xB0 | (sectionLength >> 8)),
                              static_cast<uint8_t>(sectionLength),
                              static_cast<uint8_t>(extension.value_or(0) >> 8),
                              static_cast<uint8_t>(extension.value_or(0))};
    const int count = extension ? 5 : 3;
    for (int k = 0; k < count && at + k < 188; ++k)
        p[static_cast<std::size_t>(at + k)] = header[k];
    return p;
}

// A section of `total` bytes (3 + section_length): table_id, section_length, the extension, then
// distinct filler. No CRC: the collector does not look at it.
Bytes section(uint8_t tableId, int total, uint16_t extension = 0, uint8_t seed = 0) {
    Bytes s(static_cast<std::size_t>(total));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<uint8_t>(i * 13 + seed);
    const int length = total - 3;
    const uint8_t header[] = {tableId, static_cast<uint8_t>(0xB0 | (length >> 8)),
                              static_cast<uint8_t>(length), static_cast<uint8_t>(extension >> 8),
                              static_cast<uint8_t>(extension)};
    std::copy_n(header, std::min<std::size_t>(5, s.size()), s.begin());
    return s;
}

// A packet of payload bytes (a pointer_field first when it starts a section), 0xFF after them.
Packet carrying(bool unitStart, const Bytes& payload, int afLength = kNoAf) {
    Packet p;
    p.fill(0xFF);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0x00) | 0x01);
    p[2] = 0x00;
    p[3] = afLength == kNoAf ? 0x10 : 0x30;
    std::size_t at = 4;
    if (afLength != kNoAf) {
        p[4] = static_cast<uint8_t>(afLength);
        if (afLength > 0) p[5] = 0x00;
        at = 5 + static_cast<std::size_t>(afLength);
    }
    EXPECT_LE(at + payload.size(), 188u);
    std::copy_n(payload.begin(), std::min(payload.size(), 188 - at), p.begin() + at);
    return p;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& b : parts)
        out.insert(out.end(), b.begin(), b.end());
    return out;
}

// Records what each handler call saw and empties the collector as the table handlers do.
struct Recorder {
    std::vector<Bytes> sections;
    std::vector<bool> cutShort;
    std::vector<uint64_t> starts;
    void operator()(SectionCollector& c) {
        EXPECT_TRUE(c.complete);
        sections.emplace_back(c.bytes.begin(), c.bytes.begin() + c.length);
        cutShort.push_back(sectionCutShort(c));
        starts.push_back(c.startPacket);
        c.clear();
    }
};

Bytes tail(const Packet& p, int from) {
    return {p.begin() + from, p.end()};
}
Bytes collected(const SectionCollector& c) {
    return {c.bytes.begin(), c.bytes.begin() + c.length};
}

constexpr SectionAccept kPat{0x00, -1};
constexpr SectionAccept kPmt5{0x02, 5};
constexpr CompletionVariant kVariants[] = {CompletionVariant::BlockDriver,
                                           CompletionVariant::InitPhase};

TEST(SectionCollector, StartGeometry) {
    struct Case {
        int afLength;
        int pointer;
        int expectedOffset;  // 0: no readable section start
    };
    const Case cases[] = {
        {kNoAf, 0, 5},     {kNoAf, 10, 15}, {7, 0, 13},      {7, 3, 16},
        {kNoAf, 182, 187}, {kNoAf, 183, 0}, {kNoAf, 255, 0}, {181, 0, 187},
        {181, 1, 0},       {182, 0, 0},     {183, 0, 0},     {255, 0, 0},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(testing::Message() << "af " << tc.afLength << " pointer " << tc.pointer);
        const Packet p = startPacket(0x00, tc.pointer, tc.afLength);
        const SectionStartInfo info = sectionStart(p.data());
        EXPECT_EQ(info.valid, tc.expectedOffset != 0);
        for (auto variant : kVariants) {
            SectionCollector c;
            Recorder rec;
            const FeedResult r = feedPacket(c, p.data(), kPat, variant, rec);
            if (tc.expectedOffset == 0) {
                EXPECT_EQ(r, FeedResult::Ignored);
                EXPECT_TRUE(c.idle());
                continue;
            }
            EXPECT_EQ(info.sectionOffset, static_cast<unsigned>(tc.expectedOffset));
            EXPECT_EQ(r, FeedResult::Started);
            EXPECT_EQ(collected(c), tail(p, tc.expectedOffset));
            EXPECT_TRUE(rec.sections.empty());
        }
    }
}

TEST(SectionCollector, PacketsWithoutSectionStartOrPayload) {
    SectionCollector c;
    Recorder rec;
    // A continuation while idle is not collected.
    EXPECT_EQ(feedPacket(c, makePacket(false).data(), kPat, CompletionVariant::BlockDriver, rec),
              FeedResult::Ignored);
    EXPECT_TRUE(c.idle());

    const Packet start = startPacket(0x00);
    ASSERT_EQ(feedPacket(c, start.data(), kPat, CompletionVariant::BlockDriver, rec),
              FeedResult::Started);
    // Adaptation only, and a start flag without payload: nothing changes.
    for (const Packet& p : {makePacket(false, 183, false), makePacket(true, 183, false)}) {
        EXPECT_EQ(feedPacket(c, p.data(), kPat, CompletionVariant::BlockDriver, rec),
                  FeedResult::Ignored);
        EXPECT_EQ(collected(c), tail(start, 5));
    }
    EXPECT_TRUE(rec.sections.empty());
}

TEST(SectionCollector, ContinuationAppendsFromPayloadStart) {
    SectionCollector c;
    Recorder rec;
    const Packet start = startPacket(0x00, 0, 20);
    const Packet plain = makePacket(false);
    const Packet withAf = makePacket(false, 10);
    for (const Packet* p : {&start, &plain, &withAf})
        feedPacket(c, p->data(), kPat, CompletionVariant::InitPhase, rec);
    auto expected = tail(start, 26);
    for (auto part : {tail(plain, 4), tail(withAf, 15)})
        expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(collected(c), expected);
    EXPECT_TRUE(rec.sections.empty());
}

// A section of each length is handed over in the packet that brings its last byte
// (3 + section_length), never later, with its own bytes only: the start packet holds 183 bytes
// of it, each continuation 184 (169 behind an adaptation field of 14 bytes).
TEST(SectionCollector, ASectionIsHandedOverInThePacketWhereItBecomesWhole) {
    struct Case {
        const char* name;
        int total;
        bool adaptationField;  // in the continuation packets
        std::vector<FeedResult> results;
    };
    using R = FeedResult;
    const Case cases[] = {
        {"within the start packet", 20, false, {R::Completed}},
        {"the start packet to its last byte", 183, false, {R::Completed}},
        {"one byte in the next packet", 184, false, {R::Started, R::Completed}},
        {"four packets", 600, false, {R::Started, R::Appended, R::Appended, R::Completed}},
        // 183 + 169 + 169 = 521 bytes after three packets, 79 more in the fourth.
        {"continuations behind adaptation fields",
         600,
         true,
         {R::Started, R::Appended, R::Appended, R::Completed}},
        {"the largest section",
         1024,
         false,
         {R::Started, R::Appended, R::Appended, R::Appended, R::Appended, R::Completed}},
    };
    for (auto variant : kVariants) {
        for (const Case& tc : cases) {
            SCOPED_TRACE(tc.name);
            const Bytes s = section(0x00, tc.total);
            std::vector<Packet> packets;
            const std::size_t first = std::min<std::size_t>(s.size(), 183);
            packets.push_back(carrying(true, join({{0x00}, Bytes(s.begin(), s.begin() + first)})));
            const int af = tc.adaptationField ? 14 : kNoAf;
            const std::size_t room = tc.adaptationField ? 169 : 184;
            for (std::size_t at = first; at < s.size(); at += room) {
                const std::size_t n = std::min(room, s.size() - at);
                packets.push_back(carrying(false, Bytes(s.begin() + at, s.begin() + at + n), af));
            }
            ASSERT_EQ(packets.size(), tc.results.size());
            SectionCollector c;
            Recorder rec;
            for (std::size_t i = 0; i < packets.size(); ++i) {
                EXPECT_EQ(feedPacket(c, packets[i].data(), kPat, variant, rec, 40 + i),
                          tc.results[i])
                    << "packet " << i;
                EXPECT_EQ(rec.sections.size(), i + 1 == packets.size() ? 1u : 0u);
            }
            ASSERT_EQ(rec.sections.size(), 1u);
            EXPECT_EQ(rec.sections[0], s);
            EXPECT_FALSE(rec.cutShort[0]);
            EXPECT_EQ(rec.starts[0], 40u);
            EXPECT_TRUE(c.idle());
            // The stuffing after the section's end went nowhere.
            EXPECT_EQ(feedPacket(c, makePacket(false).data(), kPat, variant, rec),
                      FeedResult::Ignored);
        }
    }
}

// After the first section of a packet, further sections may follow back to back until 0xFF
// stuffing or the packet's end: each accepted one is collected, wherever it lies.
TEST(SectionCollector, EverySectionStartOfAPacketIsWalked) {
    const Bytes pat1 = section(0x00, 12, 1, 1), pat2 = section(0x00, 30, 1, 2);
    const Bytes pmt6 = section(0x02, 40, 6, 3), pmt5 = section(0x02, 24, 5, 4);
    const Bytes long5 = section(0x02, 300, 5, 5);
    const Bytes tailOfPrevious = {0xA1, 0xA2, 0xA3, 0xA4};
    struct Case {
        const char* name;
        SectionAccept accept;
        std::vector<Packet> packets;
        std::vector<FeedResult> results;
        std::vector<Bytes> handed;
        Bytes underWay;  // what the collector holds after the last packet
    };
    using R = FeedResult;
    // Two PATs and whatever follows the stuffing after them.
    const Bytes afterStuffing = join({{0x00}, pat1, pat2, {0xFF}, section(0x00, 12, 1, 9)});
    // A section start in the last two bytes of the packet: its section_length comes next.
    const Bytes edge = section(0x00, 40, 1, 6);
    const Bytes filler = section(0x00, 181, 1, 7);
    const Case cases[] = {
        {"two PATs, then stuffing",
         kPat,
         {carrying(true, afterStuffing)},
         {R::Completed},
         {pat1, pat2},
         {}},
        {"the PMTs of several programs on one PID",
         kPmt5,
         {carrying(true, join({{0x00}, pmt6, pmt5, Bytes(long5.begin(), long5.begin() + 119)})),
          carrying(false, Bytes(long5.begin() + 119, long5.end()))},
         {R::Rejected, R::Completed},
         {pmt5, long5},
         {}},
        {"behind the tail of the previous section",
         kPmt5,
         {carrying(true, join({{4}, tailOfPrevious, pmt6, pmt5}))},
         {R::Rejected},
         {pmt5},
         {}},
        {"a start whose section_length lies in the next packet",
         kPat,
         {carrying(true, join({{0x00}, filler, Bytes(edge.begin(), edge.begin() + 2)})),
          carrying(false, Bytes(edge.begin() + 2, edge.end()))},
         {R::Completed, R::Completed},
         {filler, edge},
         {}},
        // The PMT claims 300 bytes: nothing is looked for behind its start.
        {"a section that ends beyond the packet",
         kPat,
         {carrying(true, join({{0x00},
                               pat1,
                               Bytes(long5.begin(), long5.begin() + 50),
                               section(0x00, 12, 1, 8)}))},
         {R::Rejected},
         {pat1},
         {}},
    };
    for (auto variant : kVariants) {
        for (const Case& tc : cases) {
            SCOPED_TRACE(tc.name);
            SectionCollector c;
            Recorder rec;
            for (std::size_t i = 0; i < tc.packets.size(); ++i)
                EXPECT_EQ(feedPacket(c, tc.packets[i].data(), tc.accept, variant, rec),
                          tc.results[i])
                    << "packet " << i;
            EXPECT_EQ(rec.sections, tc.handed);
            EXPECT_EQ(collected(c), tc.underWay);
        }
    }
}

// A section that is not whole when the next section starts on its PID never gets its missing
// bytes: it is handed over at once, marked cut short, and the new start is collected.
TEST(SectionCollector, ASectionNotWholeAtTheNextStartIsHandedOverCutShort) {
    const Bytes next = section(0x00, 20, 1, 3);
    struct Case {
        const char* name;
        std::vector<Packet> before;  // the section under way
        Packet start;
        FeedResult result;
        int handedBytes;
        bool cutShort;
        bool nextHanded;  // the new section (`next`) completed in the same packet
    };
    const Packet first = startPacket(0x00, 0, kNoAf, std::nullopt, 400);
    const Case cases[] = {
        {"the next PAT starts",
         {first},
         carrying(true, join({{0x00}, next})),
         FeedResult::Completed,
         183,
         true,
         true},
        {"a start of another table",
         {first},
         carrying(true, join({{0x00}, section(0x42, 20)})),
         FeedResult::Rejected,
         183,
         true,
         false},
        {"a tail too short for what is missing",
         {first, makePacket(false)},
         carrying(true, join({{10}, Bytes(10, 0xAB), next})),
         FeedResult::Completed,
         183 + 184 + 10,
         true,
         true},
        {"only the table_id had arrived",
         {startPacket(0x00, 182)},
         carrying(true, join({{0x00}, next})),
         FeedResult::Completed,
         1,
         true,
         true},
        // section_length 1023: 1026 bytes, more than the buffer holds; handed over as before,
        // when the next section starts, and not cut short.
        {"longer than the buffer",
         {startPacket(0x00, 0, kNoAf, std::nullopt, 1023), makePacket(false), makePacket(false),
          makePacket(false), makePacket(false), makePacket(false), makePacket(false)},
         carrying(true, join({{0x00}, next})),
         FeedResult::Completed,
         1024,
         false,
         true},
    };
    for (auto variant : kVariants) {
        for (const Case& tc : cases) {
            SCOPED_TRACE(tc.name);
            SectionCollector c;
            Recorder rec;
            for (const Packet& p : tc.before)
                feedPacket(c, p.data(), kPat, variant, rec, 7);
            ASSERT_TRUE(rec.sections.empty());
            EXPECT_EQ(feedPacket(c, tc.start.data(), kPat, variant, rec, 9), tc.result);
            ASSERT_EQ(rec.sections.size(), tc.nextHanded ? 2u : 1u);
            EXPECT_EQ(rec.sections[0].size(), static_cast<std::size_t>(tc.handedBytes));
            EXPECT_EQ(rec.cutShort[0], tc.cutShort);
            EXPECT_EQ(rec.starts[0], 7u);
            if (tc.nextHanded) {
                EXPECT_EQ(rec.sections[1], next);
                EXPECT_FALSE(rec.cutShort[1]);
                EXPECT_EQ(rec.starts[1], 9u);
            }
        }
    }
}

// Packed sections: the next section starts in the packet that ends the previous one, behind a
// pointer_field > 0. The bytes before the pointer target complete the section under way.
TEST(SectionCollector, TailBeforeThePointerCompletesTheSectionUnderWay) {
    struct Case {
        const char* name;
        int afLength;
        int pointer;
        int tailFrom;     // first byte after the pointer_field
        int alreadyHeld;  // bytes collected before the packed start (0: idle)
    };
    const Case cases[] = {
        {"no adaptation field", kNoAf, 20, 5, 183},
        {"with an adaptation field", 7, 3, 13, 183 + 184},
        {"idle collector: the tail belongs to nothing", kNoAf, 20, 5, 0},
    };
    for (auto variant : kVariants) {
        for (const Case& tc : cases) {
            SCOPED_TRACE(tc.name);
            SectionCollector c;
            Recorder rec;
            Bytes held;
            if (tc.alreadyHeld > 0) {
                // A section that the tail makes whole.
                const Packet first =
                    startPacket(0x00, 0, kNoAf, std::nullopt, tc.alreadyHeld + tc.pointer - 3);
                feedPacket(c, first.data(), kPat, variant, rec);
                for (Packet more = makePacket(false); c.length < tc.alreadyHeld;)
                    feedPacket(c, more.data(), kPat, variant, rec);
                ASSERT_EQ(c.length, tc.alreadyHeld);
                held = collected(c);
            }
            const Packet packed = startPacket(0x00, tc.pointer, tc.afLength);
            const int sectionAt = tc.tailFrom + tc.pointer;
            const FeedResult r = feedPacket(c, packed.data(), kPat, variant, rec);
            // Both phases start the packed section at once.
            EXPECT_EQ(collected(c), tail(packed, sectionAt));
            if (tc.alreadyHeld == 0) {
                EXPECT_EQ(r, FeedResult::Started);
                EXPECT_TRUE(rec.sections.empty());
                continue;
            }
            EXPECT_EQ(r, FeedResult::Completed);
            Bytes whole = held;
            whole.insert(whole.end(), packed.begin() + tc.tailFrom, packed.begin() + sectionAt);
            ASSERT_EQ(rec.sections.size(), 1u);
            EXPECT_EQ(rec.sections[0], whole);
            EXPECT_FALSE(rec.cutShort[0]);
        }
    }
}

// A PMT start so close to the packet's end that its program_number (section bytes 3 and 4) comes
// in the next packet is taken on trust and dropped without a word if it is another program's.
TEST(SectionCollector, AProgramNumberThatArrivesInTheNextPacket) {
    struct Case {
        const char* name;
        uint16_t program;
        int startAt;  // offset of the table_id in the start packet
        bool nextStartsBeforeTheExtension;
        FeedResult last;
        bool handed;
    };
    const Case cases[] = {
        {"ours", 5, 185, false, FeedResult::Completed, true},
        {"another program's", 6, 185, false, FeedResult::Ignored, false},
        {"only the table_id, ours", 5, 187, false, FeedResult::Completed, true},
        {"another section starts before it shows whose it is", 5, 186, true, FeedResult::Rejected,
         false},
    };
    for (auto variant : kVariants) {
        for (const Case& tc : cases) {
            SCOPED_TRACE(tc.name);
            const Bytes pmt = section(0x02, 40, tc.program, 1);
            const std::size_t inStart = static_cast<std::size_t>(188 - tc.startAt);
            // A section of another program fills the start packet up to the PMT start.
            const Bytes other = section(0x02, tc.startAt - 5, 9, 2);
            const Packet start =
                carrying(true, join({{0x00}, other, Bytes(pmt.begin(), pmt.begin() + inStart)}));
            ASSERT_EQ(start[static_cast<std::size_t>(tc.startAt)], 0x02);
            const Packet rest = tc.nextStartsBeforeTheExtension
                                    ? carrying(true, join({{static_cast<uint8_t>(1)},
                                                           {pmt[inStart]},
                                                           section(0x02, 20, 9, 3)}))
                                    : carrying(false, Bytes(pmt.begin() + inStart, pmt.end()));
            SectionCollector c;
            Recorder rec;
            EXPECT_EQ(feedPacket(c, start.data(), kPmt5, variant, rec), FeedResult::Rejected);
            EXPECT_EQ(c.length, static_cast<int>(inStart));
            EXPECT_EQ(feedPacket(c, rest.data(), kPmt5, variant, rec), tc.last);
            EXPECT_EQ(rec.sections.size(), tc.handed ? 1u : 0u);
            if (tc.handed) {
                EXPECT_EQ(rec.sections[0], pmt);
            }
            EXPECT_TRUE(c.idle());
        }
    }
}

// Without a handler the section is only marked complete and kept; the next feed drops it.
TEST(SectionCollector, WithoutAHandlerTheSectionWaitsForItsCaller) {
    const Bytes a = section(0x00, 12, 1, 1), b = section(0x00, 12, 1, 2);
    const Packet p = carrying(true, join({{0x00}, a, b}));
    SectionCollector c;
    EXPECT_EQ(feedPacketStep(c, p.data(), kPat, CompletionVariant::BlockDriver, nullptr, nullptr),
              FeedResult::Completed);
    EXPECT_TRUE(c.complete);
    EXPECT_EQ(collected(c), a);
    EXPECT_EQ(feedPacketStep(c, makePacket(false).data(), kPat, CompletionVariant::BlockDriver,
                             nullptr, nullptr),
              FeedResult::Ignored);
    EXPECT_TRUE(c.idle());
}

TEST(SectionCollector, UsableLengthAndCutShort) {
    struct Case {
        int length;
        int sectionLength;
        int usable;
        bool cutShort;
    };
    const Case cases[] = {
        {0, 0, 0, false},          {2, 0, 0, true},       {3, 0, 3, false},
        {20, 13, 16, false},       {16, 13, 16, false},   {15, 13, 0, true},
        {1024, 1021, 1024, false}, {1000, 1021, 0, true}, {1024, 1022, 0, false},
        {1024, 0xFFF, 0, false},
    };
    for (const Case& tc : cases) {
        SectionCollector c;
        c.bytes[1] = static_cast<uint8_t>(0xB0 | (tc.sectionLength >> 8));
        c.bytes[2] = static_cast<uint8_t>(tc.sectionLength);
        c.length = tc.length;
        SCOPED_TRACE(testing::Message()
                     << tc.length << " collected, section_length " << tc.sectionLength);
        EXPECT_EQ(usableSectionLength(c), tc.usable);
        EXPECT_EQ(sectionCutShort(c), tc.cutShort);
    }
}

}  // namespace
}  // namespace orv
