// SI sections that share packets: every section start of a packet is seen, a section is handled
// in the packet of its last byte, a section cut short by the next start is counted (not a CRC
// error), and the 25 ms lower limit holds between sections of one sub_table only.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/si_handlers.h"
#include "tests/tables/si_test_stream.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"
#include "tools/tsgen/stuffing_sections.h"

namespace orv::tables_test {
namespace {

constexpr uint16_t kEit = 0x12, kNit = 0x10;

// EIT present/following actual of `service`, with `events` events (30 bytes with one, each
// further event 12 more).
tsgen::Section eitPf(uint16_t service, uint8_t number, int events = 1) {
    tsgen::EitParams p;
    p.serviceId = service;
    p.numbering.sectionNumber = number;
    p.numbering.lastSectionNumber = 1;
    p.segmentLastSectionNumber = 1;
    for (int i = 0; i < events; ++i)
        p.events.push_back({static_cast<uint16_t>(i + 1), 1700000000 + 600 * i, 600, 4, false, {}});
    return tsgen::buildEit(p);
}

// A NIT actual of 229 bytes: two packets.
tsgen::Section nitActual() {
    tsgen::NitParams p;
    p.networkDescriptors = {tsgen::networkNameDescriptor(std::string(200, 'n'))};
    return tsgen::buildNit(p);
}

tsgen::Section firstBytes(tsgen::Section s, std::size_t n) {
    s.resize(n);
    return s;
}

tsgen::Section broken(tsgen::Section s) {
    s.back() ^= 0x01;
    return s;
}

// A NIT whose section_length (4000) claims far more than its 1024-byte buffer holds.
tsgen::Section oversizeNit() {
    tsgen::Section s(4003, 0x00);
    s[0] = 0x40;
    s[1] = 0xFF;
    s[2] = 0xA0;
    return s;
}

struct PackingCase {
    const char* name;
    std::vector<TimedBurst> bursts;
    std::map<int, int> expected;  // code -> count; every other error code must stay absent
    const char* detail;           // the text of the first event, when one is expected
    uint64_t nitCutShort, eitCutShort;
    int eitPfStored;  // sections in the EIT p/f actual list
};

TEST(SiPacking, SectionsThatSharePackets) {
    const auto b0 = eitPf(2, 0, 24);  // 306 bytes: two packets
    const std::vector<PackingCase> cases = {
        {"five services in one packet, present then following",
         {{kEit, 0, {eitPf(1, 0), eitPf(2, 0), eitPf(3, 0), eitPf(4, 0), eitPf(5, 0)}},
          {kEit, 1000, {eitPf(1, 1), eitPf(2, 1), eitPf(3, 1), eitPf(4, 1), eitPf(5, 1)}}},
         {},
         "",
         0,
         0,
         10},
        // EN 300 468 sets 25 ms between sections of one sub_table, whatever their number.
        {"one service 10 ms apart among others",
         {{kEit, 0, {eitPf(1, 0), eitPf(2, 0)}}, {kEit, 10, {eitPf(1, 1), eitPf(3, 0)}}},
         {{1183, 1}},
         "EIT(table_id=0x4E,EIT-P/F)出现间隔等于10.0000ms(<25ms) 第11包",
         0,
         0,
         4},
        {"one service back to back in one packet",
         {{kEit, 0, {eitPf(1, 0), eitPf(1, 1)}}},
         {{1183, 1}},
         "EIT(table_id=0x4E,EIT-P/F)出现间隔等于0.0000ms(<25ms) 第1包",
         0,
         0,
         2},
        // 173 bytes of stuffing leave 10 bytes of the section in its first packet: the service
        // is named in the next one, the interval still runs from the start.
        {"a sub_table named in the packet after its start",
         {{kEit, 0, {eitPf(1, 0)}}, {kEit, 10, {tsgen::buildStuffing(173), eitPf(1, 1)}}},
         {{1183, 1}},
         "EIT(table_id=0x4E,EIT-P/F)出现间隔等于10.0000ms(<25ms) 第12包",
         0,
         0,
         2},
        // Cut by the multiplexer, continuity counters in order: once at the end of its first
        // packet, before a start of its own, once before a start packed behind its tail. (A
        // section cut inside a packet and followed by stuffing is whole by its length and fails
        // its CRC.)
        {"EIT sections cut short",
         {{kEit, 0, {eitPf(1, 0)}},
          {kEit, 100, {firstBytes(b0, 183)}},
          {kEit, 200, {firstBytes(b0, 250), eitPf(3, 0)}},
          {kEit, 300, {b0}}},
         {},
         "",
         0,
         2,
         3},
        {"a whole EIT section with a bad CRC",
         {{kEit, 0, {eitPf(1, 0)}}, {kEit, 100, {broken(eitPf(2, 0)), eitPf(3, 0)}}},
         {{1084, 1}},
         "EIT发生CRC错误 第101包",
         0,
         0,
         2},
        {"a NIT cut short",
         {{kNit, 0, {firstBytes(nitActual(), 183)}}, {kNit, 100, {nitActual()}}},
         {},
         "",
         1,
         0,
         0},
        // Handled in the packet of its last byte: nothing after it on the PID.
        {"the tail of a section before a start that fails the screen",
         {{kEit, 0, {b0, tsgen::buildTdt(1700000000)}}},
         {{1180, 1}},
         "PID=0x0012的TS包含有的table_id不等于(0x4E...0x6F,0x72) 第2包",
         0,
         0,
         1},
        // Cut at the buffer, whatever section_length says: it fails its CRC once the buffer is
        // full (packet 6: 183 + 5 x 184 bytes).
        {"a NIT longer than its buffer",
         {{kNit, 0, {oversizeNit()}}, {kNit, 100, {nitActual()}}},
         {{1083, 1}},
         "NIT发生CRC错误 第6包",
         0,
         0,
         0},
    };
    for (const PackingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const MainPassRun run = runMainPass(timedBursts(c.bursts));
        std::map<int, int> got;
        for (int code : run.codes)
            ++got[code];
        EXPECT_EQ(got, c.expected);
        if (*c.detail != '\0' && !run.details.empty()) {
            EXPECT_EQ(run.details.front(), c.detail);
        }
        const AnalysisContext& ctx = *run.ctx;
        EXPECT_EQ(ctx.sectionsCutShort[static_cast<int>(CrcTable::Nit)], c.nitCutShort);
        EXPECT_EQ(ctx.sectionsCutShort[static_cast<int>(CrcTable::Eit)], c.eitCutShort);
        EXPECT_EQ(ctx.siStore.eitList(0x4E)->count(), c.eitPfStored);
    }
}

// The entry point the block driver calls, one packet at a time: the section is stored with the
// packet that brings its last byte, not when the next one starts.
TEST(SiPacking, SectionHandledWithItsLastByte) {
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    ctx->initDone = true;
    unsigned cc = 0;
    const std::vector<uint8_t> ts = tsgen::packetizeSections(kEit, {eitPf(7, 0, 24)}, cc);
    ASSERT_EQ(ts.size(), 2 * 188u);
    feedSiPacket(*ctx, ts.data(), kEit);
    EXPECT_EQ(ctx->siStore.eitList(0x4E)->count(), 0);
    feedSiPacket(*ctx, ts.data() + 188, kEit);
    EXPECT_EQ(ctx->siStore.eitList(0x4E)->count(), 1);
}

// A whole generated multiplex of ten services whose EIT sections come in bursts packed back to
// back: every section reaches the store and the guide, and no lower limit is broken, since the
// sections of one service's present/following sub_table are 800 ms apart.
TEST(SiPacking, DenseMultiServiceEitStream) {
    tsgen::PresetOptions options;
    options.durationMs = 9000;
    options.packedSi = true;
    const std::vector<uint8_t> ts = tsgen::generateStream(tsgen::tenProgramPreset(options).config);
    // The stream does pack: packets of the EIT PID that start several sections.
    int packed = 0;
    for (std::size_t at = 0; at + 188 <= ts.size(); at += 188) {
        const uint8_t* p = ts.data() + at;
        if (((p[1] & 0x1F) << 8 | p[2]) != kEit || !(p[1] & 0x40)) continue;
        const std::size_t first = 5u + p[4];
        if (first + 3 > 188) continue;
        const std::size_t next = first + 3 + (((p[first + 1] & 0x0F) << 8) | p[first + 2]);
        if (next < 188 && p[next] != 0xFF) ++packed;
    }
    ASSERT_GT(packed, 40);

    const MainPassRun run = runMainPass(ts, {}, true, 8.0);
    EXPECT_TRUE(run.codes.empty()) << run.details.front();
    const SiSectionStore& st = run.ctx->siStore;
    EXPECT_EQ(st.eitList(0x4E)->count(), 20);   // present and following of ten services
    EXPECT_EQ(st.eitList(0x50)->count(), 320);  // 32 segments of ten services
    EXPECT_EQ(st.eitList(0x51)->count(), 320);
    const GuideList& guide = run.ctx->guide.actual;
    ASSERT_EQ(guide.count(), 10);
    for (int i = 0; i < guide.count(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(guide.services[i].eventCount(), 192);  // 64 sections of three hourly events
        EXPECT_TRUE(guide.services[i].complete);
    }
    EXPECT_EQ(run.ctx->sectionsCutShort, (std::array<uint64_t, kCrcTableCount>{}));
}

TEST(SubTableStarts, AFullTableReplacesTheOldestStart) {
    SubTableStarts starts;
    uint64_t previous = 0;
    for (uint64_t key = 0; key < kSubTableSlots; ++key)
        EXPECT_FALSE(recordSubTableStart(starts, key, 1000 - key, previous));
    // Key 255 started longest ago (packet 745): the new sub_table takes its slot.
    EXPECT_FALSE(recordSubTableStart(starts, 999, 2000, previous));
    struct Case {
        uint64_t key;
        bool seen;
        uint64_t previous;
    } cases[] = {{999, true, 2000}, {0, true, 1000}, {254, true, 746}, {255, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        previous = 0;
        EXPECT_EQ(recordSubTableStart(starts, c.key, 3000, previous), c.seen);
        EXPECT_EQ(previous, c.previous);
    }
}

}  // namespace
}  // namespace orv::tables_test
