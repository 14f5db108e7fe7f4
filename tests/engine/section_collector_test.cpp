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
constexpr int kNoAf = -1;

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

// A start packet: the pointer_field at the payload start and a table_id (and optionally a
// table_id_extension) where it points.
Packet startPacket(uint8_t tableId, int pointer = 0, int afLength = kNoAf,
                   std::optional<uint16_t> extension = std::nullopt) {
    Packet p = makePacket(true, afLength);
    const int payload = afLength == kNoAf ? 4 : 5 + afLength;
    if (payload >= 188) return p;
    p[payload] = static_cast<uint8_t>(pointer);
    const int at = payload + 1 + pointer;
    if (at < 188) p[at] = tableId;
    if (extension && at + 4 < 188) {
        p[at + 3] = static_cast<uint8_t>(*extension >> 8);
        p[at + 4] = static_cast<uint8_t>(*extension);
    }
    return p;
}

// Records what each handler call saw and empties the collector as the table handlers do.
struct Recorder {
    std::vector<std::vector<uint8_t>> sections;
    void operator()(SectionCollector& c) {
        EXPECT_TRUE(c.complete);
        sections.emplace_back(c.bytes.begin(), c.bytes.begin() + c.length);
        c.clear();
    }
};

std::vector<uint8_t> tail(const Packet& p, int from) {
    return {p.begin() + from, p.end()};
}
std::vector<uint8_t> collected(const SectionCollector& c) {
    return {c.bytes.begin(), c.bytes.begin() + c.length};
}

constexpr SectionAccept kPat{0x00, -1};

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
        for (auto variant : {CompletionVariant::BlockDriver, CompletionVariant::InitPhase}) {
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

TEST(SectionCollector, LongSectionIsCutAt1024) {
    SectionCollector c;
    Recorder rec;
    const Packet start = startPacket(0x00);
    std::vector<uint8_t> expected = tail(start, 5);
    feedPacket(c, start.data(), kPat, CompletionVariant::BlockDriver, rec);
    for (int i = 0; i < 8; ++i) {
        Packet p = makePacket(false);
        p[4] = static_cast<uint8_t>(i);  // tell the packets apart
        EXPECT_EQ(feedPacket(c, p.data(), kPat, CompletionVariant::BlockDriver, rec),
                  FeedResult::Appended);
        const auto part = tail(p, 4);
        expected.insert(expected.end(), part.begin(), part.end());
    }
    expected.resize(kSectionBufferSize);
    EXPECT_EQ(c.length, kSectionBufferSize);
    EXPECT_EQ(collected(c), expected);

    feedPacket(c, startPacket(0x00).data(), kPat, CompletionVariant::BlockDriver, rec);
    ASSERT_EQ(rec.sections.size(), 1u);
    EXPECT_EQ(rec.sections[0], expected);
}

// Four starts of single-packet sections in a row on one PID.
TEST(SectionCollector, CompletionVariants) {
    std::vector<Packet> starts;
    for (int i = 0; i < 4; ++i) {
        Packet p = startPacket(0x00);
        p[6] = static_cast<uint8_t>(0xA0 + i);
        starts.push_back(p);
    }
    struct Case {
        CompletionVariant variant;
        std::vector<FeedResult> results;
        std::vector<int> handed;  // which starts reached the handler, in order
    };
    const Case cases[] = {
        {CompletionVariant::BlockDriver,
         {FeedResult::Started, FeedResult::Completed, FeedResult::Completed, FeedResult::Completed},
         {0, 1, 2}},
        {CompletionVariant::InitPhase,
         {FeedResult::Started, FeedResult::Completed, FeedResult::Started, FeedResult::Completed},
         {0, 2}},
    };
    for (const Case& tc : cases) {
        SectionCollector c;
        Recorder rec;
        for (std::size_t i = 0; i < starts.size(); ++i) {
            EXPECT_EQ(feedPacket(c, starts[i].data(), kPat, tc.variant, rec), tc.results[i]) << i;
            if (i == 0) {
                EXPECT_TRUE(rec.sections.empty()) << "handed over before the next start";
            }
        }
        ASSERT_EQ(rec.sections.size(), tc.handed.size());
        for (std::size_t k = 0; k < tc.handed.size(); ++k)
            EXPECT_EQ(rec.sections[k], tail(starts[tc.handed[k]], 5));
    }
}

TEST(SectionCollector, SeveralSectionsInOnePacketAreCollectedFromTheFirst) {
    Packet p = startPacket(0x00, 4);  // 4 bytes of a previous section's tail, then two sections
    const uint8_t sections[] = {0x00, 0xB0, 0x02, 0x11, 0x22, 0x02, 0xB0, 0x01, 0x33};
    std::copy(std::begin(sections), std::end(sections), p.begin() + 9);
    std::fill(p.begin() + 9 + sizeof sections, p.end(), 0xFF);
    SectionCollector c;
    Recorder rec;
    feedPacket(c, p.data(), kPat, CompletionVariant::BlockDriver, rec);
    EXPECT_EQ(collected(c), tail(p, 9));
    EXPECT_EQ(usableSectionLength(c), 5);
}

// A start the collector does not take neither completes nor starts a section; the bytes before
// its pointer target are still the tail of the section under way.
TEST(SectionCollector, NonAcceptedStartsOnlyEndTheTailOfTheSectionUnderWay) {
    constexpr SectionAccept kPmt5{0x02, 5};
    struct Case {
        Packet packet;
        SectionAccept accept;
        FeedResult expected;
        int tailFrom, tailTo;  // bytes of the packet before the pointer target
    };
    const Case cases[] = {
        {startPacket(0x02), kPat, FeedResult::Rejected, 5, 5},
        {startPacket(0x00, 0, kNoAf, 5), kPmt5, FeedResult::Rejected, 5, 5},
        {startPacket(0x02, 0, kNoAf, 6), kPmt5, FeedResult::Rejected, 5, 5},  // another program
        {startPacket(0x02, 10, 10, 0x0500), kPmt5, FeedResult::Rejected, 16, 26},
        // program_number not inside the packet: the start cannot be attributed
        {startPacket(0x02, 179, kNoAf, 5), kPmt5, FeedResult::Ignored, 5, 184},
        {startPacket(0x02, 0, 180, 5), kPmt5, FeedResult::Ignored, 186, 186},
    };
    for (auto variant : {CompletionVariant::BlockDriver, CompletionVariant::InitPhase}) {
        for (const Case& tc : cases) {
            for (bool busy : {false, true}) {
                SectionCollector c;
                Recorder rec;
                if (busy) {
                    const Packet own = startPacket(tc.accept.tableId, 0, kNoAf,
                                                   static_cast<uint16_t>(tc.accept.extension));
                    ASSERT_EQ(feedPacket(c, own.data(), tc.accept, variant, rec),
                              FeedResult::Started);
                }
                auto expected = collected(c);
                if (busy)
                    expected.insert(expected.end(), tc.packet.begin() + tc.tailFrom,
                                    tc.packet.begin() + tc.tailTo);
                EXPECT_EQ(feedPacket(c, tc.packet.data(), tc.accept, variant, rec), tc.expected);
                EXPECT_EQ(collected(c), expected);
                EXPECT_FALSE(c.complete);
                EXPECT_TRUE(rec.sections.empty());
            }
        }
    }
    SectionCollector c;
    Recorder rec;
    EXPECT_EQ(feedPacket(c, startPacket(0x02, 178, kNoAf, 5).data(), kPmt5,
                         CompletionVariant::BlockDriver, rec),
              FeedResult::Started);
    EXPECT_EQ(c.length, 5);
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
        {"with an adaptation field", 7, 3, 13, 183},
        {"tail cut at the buffer's end", kNoAf, 20, 5, kSectionBufferSize - 6},
        {"idle collector: the tail belongs to nothing", kNoAf, 20, 5, 0},
    };
    for (auto variant : {CompletionVariant::BlockDriver, CompletionVariant::InitPhase}) {
        for (const Case& tc : cases) {
            SCOPED_TRACE(tc.name);
            SectionCollector c;
            Recorder rec;
            std::vector<uint8_t> held;
            if (tc.alreadyHeld > 0) {
                const Packet first = startPacket(0x00);
                feedPacket(c, first.data(), kPat, variant, rec);
                for (Packet more = makePacket(false); c.length < tc.alreadyHeld;)
                    feedPacket(c, more.data(), kPat, variant, rec);
                c.length = tc.alreadyHeld;
                held = collected(c);
            }
            const Packet packed = startPacket(0x00, tc.pointer, tc.afLength);
            const int sectionAt = tc.tailFrom + tc.pointer;
            const FeedResult r = feedPacket(c, packed.data(), kPat, variant, rec);
            if (tc.alreadyHeld == 0) {
                EXPECT_EQ(r, FeedResult::Started);
                EXPECT_TRUE(rec.sections.empty());
                EXPECT_EQ(collected(c), tail(packed, sectionAt));
                continue;
            }
            EXPECT_EQ(r, FeedResult::Completed);
            std::vector<uint8_t> whole = held;
            whole.insert(whole.end(), packed.begin() + tc.tailFrom, packed.begin() + sectionAt);
            whole.resize(std::min<std::size_t>(whole.size(), kSectionBufferSize));
            ASSERT_EQ(rec.sections.size(), 1u);
            EXPECT_EQ(rec.sections[0], whole);
            // The block driver starts the packed section at once; the initialisation phase
            // only closes the one under way.
            if (variant == CompletionVariant::BlockDriver) {
                EXPECT_EQ(collected(c), tail(packed, sectionAt));
            } else {
                EXPECT_TRUE(c.idle());
            }
        }
    }
}

TEST(SectionCollector, UsableSectionLength) {
    struct Case {
        int length;
        int sectionLength;
        int expected;
    };
    const Case cases[] = {
        {0, 0, 0},   {2, 0, 0},          {3, 0, 3},       {20, 13, 16},     {16, 13, 16},
        {15, 13, 0}, {1024, 1021, 1024}, {1024, 1022, 0}, {1024, 0xFFF, 0},
    };
    for (const Case& tc : cases) {
        SectionCollector c;
        c.bytes[1] = static_cast<uint8_t>(0xB0 | (tc.sectionLength >> 8));
        c.bytes[2] = static_cast<uint8_t>(tc.sectionLength);
        c.length = tc.length;
        EXPECT_EQ(usableSectionLength(c), tc.expected)
            << tc.length << " collected, section_length " << tc.sectionLength;
    }
}

}  // namespace
}  // namespace orv
