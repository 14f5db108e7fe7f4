// Section builders, descriptors, DVB time fields and the section packetizer of tsgen, checked
// against hand-computed bytes and the analyzer's own CRC routines.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "engine/section_crc.h"
#include "tests/tools/ts_test_util.h"
#include "tools/tsgen/crc32.h"
#include "tools/tsgen/dvb_time.h"
#include "tools/tsgen/packet.h"
#include "tools/tsgen/section_packetizer.h"
#include "tools/tsgen/sections.h"

namespace {

using namespace tsgen;
using tsgen_test::Bytes;

struct BuilderCase {
    const char* name;
    std::function<Section()> build;
    uint8_t tableId;
    bool hasCrc;
};

std::vector<BuilderCase> builderCases() {
    const Descriptors names = {networkNameDescriptor("Net"), serviceListDescriptor({{1, 1}})};
    EitEvent ev;
    ev.eventId = 7;
    ev.start = unixTime(2024, 3, 1, 10);
    ev.durationSeconds = 5400;
    ev.descriptors = {shortEventDescriptor("eng", "News", "Today")};
    EitParams sched;
    sched.tableId = 0x51;
    sched.events = {ev, ev};
    return {
        {"PAT",
         [] {
             return buildPat({1, {}, {{0, 0x10}, {1, 0x100}, {2, 0x200}}});
         },
         0x00, true},
        {"CAT",
         [] {
             return buildCat({{}, {caDescriptor(0x0B00, 0x1F0)}});
         },
         0x01, true},
        {"PMT",
         [] {
             return buildPmt({5,
                              {},
                              0x101,
                              {caDescriptor(0x0B00, 0x1F1)},
                              {{2, 0x101, {}}, {3, 0x102, {iso639LanguageDescriptor("chi")}}}});
         },
         0x02, true},
        {"NIT actual",
         [=] {
             return buildNit({true, 9, {}, names, {{1, 2, names}}});
         },
         0x40, true},
        {"NIT other",
         [=] {
             return buildNit({false, 9, {}, names, {}});
         },
         0x41, true},
        {"SDT actual",
         [] {
             SdtParams p;
             p.services = {{1, true, true, 4, false, {serviceDescriptor(1, "P", "S")}}};
             return buildSdt(p);
         },
         0x42, true},
        {"SDT other",
         [] {
             return buildSdt({false, 1, 1, {}, {}});
         },
         0x46, true},
        {"BAT",
         [=] {
             return buildBat({3, {}, names, {{1, 1, {}}}});
         },
         0x4A, true},
        {"EIT p/f",
         [=] {
             return buildEit({0x4E, 1, 1, 1, {}, 0, 0x4E, {ev}});
         },
         0x4E, true},
        {"EIT schedule", [=] { return buildEit(sched); }, 0x51, true},
        {"TDT", [] { return buildTdt(unixTime(2024, 3, 1)); }, 0x70, false},
        {"TOT",
         [] {
             return buildTot({unixTime(2024, 3, 1), {localTimeOffsetDescriptor({{}})}});
         },
         0x73, true},
        {"RST",
         [] {
             return buildRst({{1, 1, 1, 1, 4}, {1, 1, 2, 3, 1}});
         },
         0x71, false},
    };
}

TEST(TsgenSections, EveryBuilderGivesAWholeSectionWithAGoodCrc) {
    for (const BuilderCase& c : builderCases()) {
        SCOPED_TRACE(c.name);
        const Section s = c.build();
        ASSERT_GE(s.size(), 3u);
        EXPECT_EQ(s[0], c.tableId);
        EXPECT_EQ(s.size(), 3u + static_cast<std::size_t>(sectionLength(s)));
        if (!c.hasCrc) continue;
        EXPECT_EQ(orv::sectionCrc32(s.data(), s.data() + s.size()), 0u);
        EXPECT_EQ(orv::sectionCrc32BitSerial(s.data(), s.data() + s.size()), 0u);
        EXPECT_EQ(crc32Mpeg2(s.data(), s.size()), 0u);
        // Every single-bit flip must be caught, which also proves the CRC covers every byte.
        for (std::size_t i = 0; i < s.size(); ++i) {
            Section bad = s;
            bad[i] ^= 0x10;
            EXPECT_NE(orv::sectionCrc32(bad.data(), bad.data() + bad.size()), 0u) << i;
        }
    }
}

TEST(TsgenSections, PatAndPmtBytesMatchTheTableSyntax) {
    const Section pat = buildPat({0x1234, {3, true, 0, 1}, {{0, 0x10}, {1, 0x100}}});
    const Bytes patHead = {0x00, 0xB0, 0x11, 0x12, 0x34, 0xC7, 0x00, 0x01,
                           0x00, 0x00, 0xE0, 0x10, 0x00, 0x01, 0xE1, 0x00};
    ASSERT_EQ(pat.size(), patHead.size() + 4);
    EXPECT_TRUE(std::equal(patHead.begin(), patHead.end(), pat.begin()));

    const Section pmt =
        buildPmt({2,
                  {},
                  0x1FF,
                  {caDescriptor(0x0100, 0x55)},
                  {{0x02, 0x201, {}}, {0x03, 0x202, {{0x0A, {'e', 'n', 'g', 0}}}}}});
    const Bytes pmtHead = {0x02, 0xB0, 0x23, 0x00, 0x02, 0xC1, 0x00, 0x00,  // header
                           0xE1, 0xFF, 0xF0, 0x06,                          // PCR_PID, info length
                           0x09, 0x04, 0x01, 0x00, 0xE0, 0x55,              // CA descriptor
                           0x02, 0xE2, 0x01, 0xF0, 0x00,                    // video
                           0x03, 0xE2, 0x02, 0xF0, 0x06, 0x0A, 0x04, 'e',  'n', 'g', 0x00};
    ASSERT_EQ(pmt.size(), pmtHead.size() + 4);
    EXPECT_TRUE(std::equal(pmtHead.begin(), pmtHead.end(), pmt.begin()));
}

TEST(TsgenSections, TimesUseMjdAndBcd) {
    // The worked example of the DVB SI standard: 1993-10-13 12:45:00 is MJD 0xC079.
    const int64_t t = unixTime(1993, 10, 13, 12, 45, 0);
    EXPECT_EQ(mjdOf(t), 0xC079);
    const Section tdt = buildTdt(t);
    EXPECT_EQ(tdt, (Section{0x70, 0x70, 0x05, 0xC0, 0x79, 0x12, 0x45, 0x00}));
    EXPECT_EQ(bcdHms(5400), 0x013000u);
    EXPECT_EQ(unixTime(1970, 1, 1), 0);
    EXPECT_EQ(unixTime(2024, 3, 1, 10), 1709287200);
    EXPECT_THROW(bcdHms(100 * 3600), std::invalid_argument);

    EitEvent ev{0x0102, unixTime(2024, 2, 29, 23, 59, 59), 90 * 60 + 5, 4, false, {}};
    const Section eit = buildEit({0x4E, 1, 1, 1, {}, 0, 0x4E, {ev}});
    const uint16_t mjd = mjdOf(ev.start);
    const Bytes event = {0x01,
                         0x02,
                         static_cast<uint8_t>(mjd >> 8),
                         static_cast<uint8_t>(mjd),
                         0x23,
                         0x59,
                         0x59,
                         0x01,
                         0x30,
                         0x05,
                         0x80,
                         0x00};
    EXPECT_TRUE(std::equal(event.begin(), event.end(), eit.begin() + 14));
}

TEST(TsgenSections, OversizeFieldsThrow) {
    Descriptor big{0x80, Bytes(256, 0)};
    EXPECT_THROW(buildCat({{}, {big}}), std::length_error);
    CatParams many;
    many.descriptors.assign(20, Descriptor{0x80, Bytes(250, 0)});  // about 5 KB
    EXPECT_THROW(buildCat(many), std::length_error);
    EXPECT_THROW(buildEit({0x4D, 1, 1, 1, {}, 0, 0x4E, {}}), std::invalid_argument);
}

Section filledSection(std::size_t total, uint8_t fill) {
    Section s = buildCat({{}, {}});
    s.resize(total - 4, fill);
    s[1] = static_cast<uint8_t>(0xB0 | ((total - 3) >> 8));
    s[2] = static_cast<uint8_t>((total - 3) & 0xFF);
    const uint32_t crc = crc32Mpeg2(s.data(), s.size());
    for (int k = 3; k >= 0; --k)
        s.push_back(static_cast<uint8_t>(crc >> (8 * k)));
    return s;
}

struct PacketShape {
    bool pusi;
    int pointer;  // -1: no pointer_field
    unsigned sectionBytes;
};

TEST(TsgenPacketizer, PointerFieldsContinuationAndStuffing) {
    struct Case {
        const char* name;
        std::vector<std::size_t> sizes;
        bool pack;
        std::vector<PacketShape> shapes;
    };
    const std::vector<Case> cases = {
        {"one small section", {20}, false, {{true, 0, 20}}},
        {"183 bytes fill a packet", {183}, false, {{true, 0, 183}}},
        {"184 bytes spill one byte", {184}, false, {{true, 0, 183}, {false, -1, 1}}},
        {"400 bytes", {400}, false, {{true, 0, 183}, {false, -1, 184}, {false, -1, 33}}},
        {"unpacked pair", {100, 50}, false, {{true, 0, 100}, {true, 0, 50}}},
        {"packed pair", {100, 50}, true, {{true, 0, 150}}},
        {"packed after a tail", {200, 30}, true, {{true, 0, 183}, {true, 17, 47}}},
        {"unpacked after a tail",
         {200, 30},
         false,
         {{true, 0, 183}, {false, -1, 17}, {true, 0, 30}}},
        {"no room for a packed header",
         {363, 30},
         true,
         {{true, 0, 183}, {false, -1, 180}, {true, 0, 30}}},
        {"packed: second start needs 8 bytes", {176, 30}, true, {{true, 0, 176}, {true, 0, 30}}},
        {"packed: exactly 8 bytes of room", {175, 30}, true, {{true, 0, 183}, {false, -1, 22}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Section> sections;
        for (std::size_t i = 0; i < c.sizes.size(); ++i)
            sections.push_back(filledSection(c.sizes[i], static_cast<uint8_t>(0x10 + i)));
        unsigned cc = 14;
        const Bytes ts = packetizeSections(0x123, sections, cc, c.pack);
        ASSERT_EQ(ts.size(), c.shapes.size() * 188);
        EXPECT_EQ(cc, (14 + c.shapes.size()) % 16);
        for (std::size_t i = 0; i < c.shapes.size(); ++i) {
            SCOPED_TRACE(i);
            const uint8_t* p = ts.data() + i * 188;
            EXPECT_EQ(p[0], 0x47);
            EXPECT_EQ(orv::packetPid(p), 0x123u);
            EXPECT_EQ(orv::continuityCounter(p), (14 + i) % 16);
            EXPECT_EQ(orv::adaptationFieldControl(p), 1u);
            EXPECT_EQ(orv::payloadUnitStart(p), c.shapes[i].pusi);
            std::size_t at = 4;
            if (c.shapes[i].pointer >= 0) {
                EXPECT_EQ(p[at++], c.shapes[i].pointer);
            }
            at += c.shapes[i].sectionBytes;
            for (; at < 188; ++at)
                ASSERT_EQ(p[at], 0xFF) << at;
        }
        const auto found = tsgen_test::sectionsOn(ts, 0x123);
        ASSERT_EQ(found.size(), sections.size());
        for (std::size_t i = 0; i < sections.size(); ++i)
            EXPECT_EQ(found[i].bytes, sections[i]);
    }
}

// A continuous PID: a tail that leaves room for a section start waits for the next section.
TEST(TsgenPacketizer, ContinuousPidHoldsATailForTheNextSection) {
    struct Step {
        std::size_t push;  // section size pushed before the packet (0: none)
        bool ready;        // a packet is due after the push
        PacketShape shape;
    };
    const std::vector<Step> steps = {
        {300, true, {true, 0, 183}},
        {0, false, {}},                 // 117 bytes wait
        {300, true, {true, 117, 183}},  // the tail, then 66 bytes of the next section
        {0, true, {false, -1, 184}},
        {0, false, {}},              // 50 bytes wait
        {20, true, {true, 50, 70}},  // a small section ends in its start packet: not held
        {363, true, {true, 0, 183}},
        {0, true, {false, -1, 180}},  // a tail of 180 bytes leaves no room: sent with stuffing
        {0, false, {}},
    };
    SectionPacketizer pk(0x123, false, true);
    std::vector<Section> pushed;
    Bytes ts;
    unsigned cc = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        const Step& st = steps[i];
        if (st.push > 0) {
            pushed.push_back(filledSection(st.push, static_cast<uint8_t>(0x20 + i)));
            pk.push(pushed.back());
        }
        EXPECT_EQ(!pk.empty(), st.ready);
        uint8_t p[188];
        ASSERT_EQ(pk.nextPacket(p, cc), st.ready);
        if (!st.ready) continue;
        cc = (cc + 1) & 0x0F;
        EXPECT_EQ(orv::payloadUnitStart(p), st.shape.pusi);
        std::size_t at = 4;
        if (st.shape.pointer >= 0) {
            EXPECT_EQ(p[at++], st.shape.pointer);
        }
        at += st.shape.sectionBytes;
        for (; at < 188; ++at)
            ASSERT_EQ(p[at], 0xFF) << at;
        ts.insert(ts.end(), p, p + 188);
    }
    const auto found = tsgen_test::sectionsOn(ts, 0x123);
    ASSERT_EQ(found.size(), pushed.size());
    for (std::size_t i = 0; i < pushed.size(); ++i)
        EXPECT_EQ(found[i].bytes, pushed[i]);
}

TEST(TsgenPacketizer, RandomSectionsSurviveTheRoundTrip) {
    std::mt19937 rng(7);
    for (bool pack : {false, true}) {
        std::vector<Section> sections;
        for (int i = 0; i < 200; ++i)
            sections.push_back(filledSection(8 + rng() % 1100, static_cast<uint8_t>(rng() % 0xFE)));
        unsigned cc = 0;
        const Bytes ts = packetizeSections(0x40, sections, cc, pack);
        const auto found = tsgen_test::sectionsOn(ts, 0x40);
        ASSERT_EQ(found.size(), sections.size());
        for (std::size_t i = 0; i < sections.size(); ++i)
            EXPECT_EQ(found[i].bytes, sections[i]);
    }
}

}  // namespace
