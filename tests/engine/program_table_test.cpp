#include "engine/program_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/program_discovery.h"
#include "engine/section_crc.h"

namespace orv {
namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

// Sets section_length from the size and appends the CRC_32.
Bytes sealed(Bytes s) {
    const std::size_t sectionLength = s.size() + 4 - 3;
    s[1] = static_cast<uint8_t>((s[1] & 0xF0) | (sectionLength >> 8));
    s[2] = static_cast<uint8_t>(sectionLength);
    const uint32_t crc = sectionCrc32(s.data(), s.data() + s.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<uint8_t>(crc >> shift));
    return s;
}

Bytes longHeader(uint8_t tableId, unsigned extension, unsigned version) {
    Bytes s{tableId, 0xB0, 0x00};
    put16(s, extension);
    s.push_back(static_cast<uint8_t>(0xC1 | (version << 1)));
    s.push_back(0x00);
    s.push_back(0x00);
    return s;
}

Bytes patSection(unsigned tsid, const std::vector<std::pair<unsigned, unsigned>>& entries,
                 unsigned version = 0) {
    Bytes s = longHeader(0x00, tsid, version);
    for (auto [number, pid] : entries) {
        put16(s, number);
        put16(s, 0xE000 | pid);
    }
    return sealed(s);
}

Bytes caDescriptor(unsigned systemId, unsigned pid) {
    Bytes d{0x09, 0x04};
    put16(d, systemId);
    put16(d, 0xE000 | pid);
    return d;
}

struct Es {
    uint8_t type;
    unsigned pid;
    Bytes descriptors = {};
};

Bytes pmtSection(unsigned program, unsigned pcrPid, const Bytes& info, const std::vector<Es>& es) {
    Bytes s = longHeader(0x02, program, 3);
    put16(s, 0xE000 | pcrPid);
    put16(s, 0xF000 | info.size());
    s.insert(s.end(), info.begin(), info.end());
    for (const Es& e : es) {
        s.push_back(e.type);
        put16(s, 0xE000 | e.pid);
        put16(s, 0xF000 | e.descriptors.size());
        s.insert(s.end(), e.descriptors.begin(), e.descriptors.end());
    }
    return sealed(s);
}

SectionBytes view(const Bytes& s) {
    return SectionBytes(s.data(), s.size());
}

std::unique_ptr<AnalysisContext> newContext() {
    return std::make_unique<AnalysisContext>();
}

TEST(ProgramTable, PatHeaderProgramsAndTable) {
    const Bytes pat = patSection(0x0438, {{0, 0x10}, {0x2261, 0x64}, {0x2262, 0xC8}}, 12);
    auto ctx = newContext();
    const PatReadResult r = readPat(view(pat), ctx->pat);
    ASSERT_TRUE(r.ok);
    const PsiHeader& h = ctx->pat.header;
    EXPECT_EQ(h.tableId, 0x00);
    EXPECT_EQ(h.sectionSyntaxIndicator, 1);
    EXPECT_EQ(h.sectionLength, pat.size() - 3);
    EXPECT_EQ(h.tableIdExtension, 0x0438);
    EXPECT_EQ(h.versionNumber, 12);
    EXPECT_EQ(h.currentNextIndicator, 1);
    const auto n = pat.size();
    EXPECT_EQ(h.crc32, (uint32_t(pat[n - 4]) << 24) | (uint32_t(pat[n - 3]) << 16) |
                           (uint32_t(pat[n - 2]) << 8) | pat[n - 1]);
    EXPECT_EQ(ctx->pat.networkPid, 0x10);
    ASSERT_EQ(ctx->pat.programCount, 2);

    ctx->programs.resize(7);  // a stale table is replaced
    createProgramTable(*ctx);
    ASSERT_EQ(ctx->programs.size(), 2u);
    EXPECT_EQ(ctx->programs[0].programNumber, 0x2261);
    EXPECT_EQ(ctx->programs[0].pmtPid, 0x64);
    EXPECT_EQ(ctx->programs[1].programNumber, 0x2262);
    EXPECT_EQ(ctx->programs[1].pmtPid, 0xC8);
    EXPECT_FALSE(ctx->programs[1].pmtReceived);
}

TEST(ProgramTable, PatLimitsAndOddEntries) {
    std::vector<std::pair<unsigned, unsigned>> entries;
    for (unsigned i = 1; i <= 51; ++i)
        entries.push_back({i, 0x100 + i});
    entries.push_back({7, 0x1FF});  // listed again
    entries.push_back({0, 0x12});   // network PID after the dropped entries
    Bytes pat = patSection(1, entries);
    auto ctx = newContext();
    const PatReadResult r = readPat(view(pat), ctx->pat);
    EXPECT_EQ(r.listed, 52);
    EXPECT_EQ(r.dropped, 1);
    EXPECT_EQ(r.duplicates, 1);
    ASSERT_EQ(ctx->pat.programCount, kMaxPrograms);
    EXPECT_EQ(ctx->pat.programs[49].programNumber, 50);
    EXPECT_EQ(ctx->pat.programs[6].pmtPid, 0x107);
    EXPECT_EQ(ctx->pat.networkPid, 0x12);
    createProgramTable(*ctx);
    EXPECT_EQ(ctx->programs.size(), static_cast<std::size_t>(kMaxPrograms));

    // A trailing part entry before the CRC field is not read; a short section is refused whole.
    Bytes odd = longHeader(0x00, 1, 0);
    for (uint8_t b : {0x00, 0x05, 0xE1, 0x00, 0x00, 0x06})
        odd.push_back(b);
    odd = sealed(odd);
    ASSERT_TRUE(readPat(view(odd), ctx->pat).ok);
    EXPECT_EQ(ctx->pat.programCount, 1);
    const Bytes tooShort(pat.begin(), pat.begin() + 11);
    const PsiHeader before = ctx->pat.header;
    EXPECT_FALSE(readPat(view(tooShort), ctx->pat).ok);
    EXPECT_EQ(ctx->pat.header.sectionLength, before.sectionLength);
}

// A broadcast PMT: registration and private descriptors, MPEG-2 video, a private stream and
// MPEG-2 audio.
TEST(ProgramTable, BroadcastPmt) {
    const Bytes pmt{0x02, 0xb0, 0x34, 0x00, 0x01, 0xc1, 0x00, 0x00, 0xf0, 0x01, 0xf0,
                    0x0c, 0x05, 0x04, 0x48, 0x44, 0x4d, 0x56, 0x88, 0x04, 0x0f, 0xff,
                    0xfc, 0xfc, 0x02, 0xf0, 0x11, 0xf0, 0x00, 0x86, 0xf1, 0x00, 0xf0,
                    0x06, 0x0a, 0x04, 0x65, 0x6e, 0x67, 0x00, 0x04, 0xf1, 0x01, 0xf0,
                    0x06, 0x0a, 0x04, 0x65, 0x6e, 0x67, 0x00, 0xd4, 0x53, 0x6c, 0x26};
    ASSERT_EQ(sectionCrc32(pmt.data(), pmt.data() + pmt.size()), 0u);
    ProgramEntry p;
    const PmtReadResult r = readPmt(view(pmt), p);
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.truncated);
    EXPECT_EQ(p.pmtHeader.tableIdExtension, 1);
    EXPECT_EQ(p.pmtHeader.sectionLength, 0x34);
    EXPECT_EQ(p.pcrPid, 0x1001);
    EXPECT_EQ(p.componentCount, 3);
    EXPECT_TRUE(p.video.present);
    EXPECT_EQ(p.video.streamType, 2);
    EXPECT_EQ(p.video.pid, 0x1011);
    ASSERT_EQ(p.audioCount, 1);
    EXPECT_EQ(p.audio[0].pid, 0x1101);
    ASSERT_EQ(p.other[11].count, 1);
    EXPECT_EQ(p.other[11].pids[0].pid, 0x1100);
    EXPECT_EQ(p.caCount, 0);
}

TEST(ProgramTable, PmtComponentClassesAndLimits) {
    std::vector<Es> es = {{2, 0x30},    {0, 0x31},    {0x1B, 0x32}, {5, 0x33}, {14, 0x34},
                          {0x0F, 0x35}, {0x7F, 0x36}, {0xFF, 0x37}, {1, 0x38}};
    for (unsigned i = 0; i < 11; ++i)
        es.push_back({static_cast<uint8_t>(3 + i % 2), 0x40 + i});
    for (unsigned i = 0; i < 7; ++i)
        es.push_back({6, 0x60 + i});
    for (unsigned i = 0; i < 7; ++i)
        es.push_back({0x80, 0x70 + i});
    const Bytes pmt = pmtSection(9, 0x38, {}, es);
    ASSERT_LT(pmt.size(), 1024u);
    ProgramEntry p;
    const PmtReadResult r = readPmt(view(pmt), p);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.droppedComponents, 4);
    EXPECT_EQ(p.video.pid, 0x38);  // the last video entry wins
    EXPECT_EQ(p.video.streamType, 1);
    EXPECT_EQ(p.audioCount, kMaxAudioComponents);
    EXPECT_EQ(p.audio[9].pid, 0x49);
    EXPECT_EQ(p.audio[9].streamType, 4);
    struct ListCount {
        int list;
        int count;
    };
    for (auto [list, count] : {ListCount{0, 1}, ListCount{1, 6}, ListCount{9, 1}, ListCount{10, 3},
                               ListCount{11, 6}, ListCount{2, 0}})
        EXPECT_EQ(p.other[list].count, count) << "list " << list;
    EXPECT_EQ(p.other[10].pids[0].pid, 0x32);
    EXPECT_EQ(p.other[1].pids[5].pid, 0x65);
    // Two video entries, six other types before the audio, 10 audio, 6 of type 6 and 5 more user
    // private; stream_type 0 is not counted, nor is anything dropped.
    EXPECT_EQ(p.componentCount, 2 + 6 + 10 + 6 + 5);
}

TEST(ProgramTable, PmtCaList) {
    Bytes info;
    for (unsigned i = 0; i < 9; ++i) {
        const auto d = caDescriptor(0x0B00, 0x200 + i);
        info.insert(info.end(), d.begin(), d.end());
    }
    for (const auto& d : {caDescriptor(0x0B00, 0x200), caDescriptor(0x0100, 0x200)})
        info.insert(info.end(), d.begin(), d.end());  // a repeated pair, a new system
    info.insert(info.end(), {0x11, 0x01, 0xFF});      // not a CA descriptor
    const Bytes esCa = caDescriptor(0x0500, 0x300);   // the eleventh pair
    const Bytes stdDescriptor{0x11, 0x01, 0xFF};
    Bytes esDescriptors = esCa;
    esDescriptors.insert(esDescriptors.end(), stdDescriptor.begin(), stdDescriptor.end());
    const Bytes pmt = pmtSection(1, 0x100, info, {{2, 0x100, esDescriptors}});
    ProgramEntry p;
    const PmtReadResult r = readPmt(view(pmt), p);
    ASSERT_EQ(p.caCount, kMaxCaEntries);
    EXPECT_EQ(r.droppedCa, 1);
    EXPECT_EQ(p.ca[9].caSystemId, 0x0100);
    EXPECT_EQ(p.ca[9].caPid.pid, 0x200);
    EXPECT_EQ(p.ca[8].caPid.pid, 0x208);
    EXPECT_TRUE(r.stdDescriptor);
    EXPECT_TRUE(r.leakValid);
    EXPECT_TRUE(p.video.present);
}

// Length fields that run past the section end their loop; what lies wholly inside is kept.
TEST(ProgramTable, PmtLengthsRunningPastTheSection) {
    const Bytes ca = caDescriptor(0x0B00, 0x222);
    const std::vector<Es> es = {{2, 0x100}, {3, 0x101, caDescriptor(0x0B00, 0x333)}, {4, 0x102}};
    const Bytes good = pmtSection(1, 0x100, ca, es);
    // Offsets: program_info_length at 10, first ES entry at 18, second at 23, third at 34.
    struct Case {
        const char* what;
        std::size_t at;
        uint8_t hi, lo;
        int components;
        int ca;
    };
    const Case cases[] = {
        {"program_info_length", 10, 0xFF, 0xFF, 0, 1},
        {"first ES_info_length", 21, 0xF3, 0xFF, 0, 1},
        {"second ES_info_length", 26, 0xF0, 0x20, 1, 1},
        {"third ES_info_length", 37, 0xF0, 0x01, 2, 2},
        {"CA descriptor_length in ES_info", 28, 0x09, 0x07, 3, 1},
        {"CA descriptor_length in program_info", 12, 0x09, 0x0F, 3, 1},
    };
    for (const Case& tc : cases) {
        Bytes s = good;
        s[tc.at] = tc.hi;
        s[tc.at + 1] = tc.lo;
        ProgramEntry p;
        const PmtReadResult r = readPmt(view(s), p);
        EXPECT_TRUE(r.ok) << tc.what;
        EXPECT_TRUE(r.truncated) << tc.what;
        EXPECT_EQ(p.componentCount, tc.components) << tc.what;
        EXPECT_EQ(p.caCount, tc.ca) << tc.what;
    }
    // Given fewer bytes than section_length says: only those are read.
    for (std::size_t size : {std::size_t{0}, std::size_t{15}, std::size_t{16}, std::size_t{27}}) {
        const Bytes cut(good.begin(), good.begin() + static_cast<long>(size));
        ProgramEntry p;
        EXPECT_EQ(readPmt(view(cut), p).ok, size >= 16) << size;
        EXPECT_LE(p.componentCount, 1);
    }
}

TEST(ProgramTable, DistinctPcrPids) {
    auto ctx = newContext();
    ctx->programs.resize(5);
    const uint16_t pcr[] = {0x100, 0x200, 0x100, 0, 0x300};
    for (int i = 0; i < 5; ++i)
        ctx->programs[i].pcrPid = pcr[i];
    EXPECT_EQ(countDistinctPcrPids(*ctx), 3);
    EXPECT_EQ(ctx->distinctPcrPidCount, 3);
}

// Cuts a run of sections into packets of one PID: pointer_field 0 in the first, stuffing after.
void appendPackets(Bytes& block, unsigned pid, const Bytes& sections, std::size_t packetLength,
                   unsigned& cc) {
    std::size_t pos = 0;
    bool first = true;
    do {
        Bytes p(packetLength, 0x5A);  // the tail of a 204-byte packet must never be read
        std::fill_n(p.begin(), 188, 0xFF);
        p[0] = 0x47;
        p[1] = static_cast<uint8_t>((first ? 0x40 : 0x00) | (pid >> 8));
        p[2] = static_cast<uint8_t>(pid);
        p[3] = static_cast<uint8_t>(0x10 | (cc++ & 0x0F));
        std::size_t at = 4;
        if (first) p[at++] = 0x00;
        const std::size_t n = std::min(188 - at, sections.size() - pos);
        std::copy_n(sections.begin() + static_cast<long>(pos), n,
                    p.begin() + static_cast<long>(at));
        pos += n;
        first = false;
        block.insert(block.end(), p.begin(), p.end());
    } while (pos < sections.size());
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& b : parts)
        out.insert(out.end(), b.begin(), b.end());
    return out;
}

TEST(ProgramDiscovery, FindsPatAndPmtsInBothPacketLengths) {
    const Bytes pat = patSection(1, {{0, 0x10}, {1, 0x100}, {2, 0x200}, {3, 0x100}});
    std::vector<Es> many;  // a PMT spanning two packets
    for (unsigned i = 0; i < 30; ++i)
        many.push_back({0x06, 0x300 + i, {0x0A, 0x04, 1, 2, 3, 0}});
    const Bytes pmt1 = pmtSection(1, 0x101, {}, {{2, 0x101}, {3, 0x102}});
    const Bytes pmt2 = pmtSection(2, 0x201, {}, many);
    const Bytes pmt3 = pmtSection(3, 0x301, {}, {{4, 0x302}});
    Bytes pmt2Bad = pmt2;
    pmt2Bad[20] ^= 0x01;
    ASSERT_GT(pmt2.size(), 188u);

    for (std::size_t packetLength : {std::size_t{188}, std::size_t{204}}) {
        SCOPED_TRACE(packetLength);
        auto ctx = newContext();
        ctx->packetLength = static_cast<int>(packetLength);
        Bytes block;
        unsigned cc0 = 0, cc1 = 0, cc2 = 0;
        // Programs 1 and 3 share PID 0x100 with both sections behind one pointer_field. Program
        // 2's first PMT is damaged: the start after it only closes it, the next start is used.
        appendPackets(block, 0x200, pmt2, packetLength, cc2);  // before the PAT: not collected
        for (int round = 0; round < 2; ++round)
            appendPackets(block, 0x000, pat, packetLength, cc0);
        for (int round = 0; round < 2; ++round)
            appendPackets(block, 0x100, concat({pmt1, pmt3}), packetLength, cc1);
        for (const Bytes* s : std::initializer_list<const Bytes*>{&pmt2Bad, &pmt2, &pmt2, &pmt2})
            appendPackets(block, 0x200, *s, packetLength, cc2);
        block.push_back(0x47);  // a trailing part packet
        EXPECT_EQ(initBlock(*ctx, block.data(), block.size()), 1u);

        ASSERT_TRUE(ctx->pat.patFound);
        EXPECT_EQ(ctx->pat.networkPid, 0x10);
        ASSERT_EQ(ctx->programs.size(), 3u);
        EXPECT_EQ(ctx->pmtFoundCount, 3);
        for (const ProgramEntry& p : ctx->programs)
            EXPECT_TRUE(p.pmtReceived) << p.programNumber;
        EXPECT_EQ(ctx->programs[0].pcrPid, 0x101);
        EXPECT_EQ(ctx->programs[0].componentCount, 2);
        EXPECT_EQ(ctx->programs[1].componentCount, 6);
        EXPECT_EQ(ctx->programs[2].audio[0].pid, 0x302);
        // The first buffers keep the first valid sections.
        EXPECT_TRUE(std::equal(pmt3.begin(), pmt3.end(), ctx->programs[2].firstPmt.bytes.begin()));
    }
}

TEST(ProgramDiscovery, DamagedPatIsSkippedAndProgramZeroOnlyGivesNoPrograms) {
    const Bytes onlyNetwork = patSection(1, {{0, 0x10}});
    Bytes damaged = patSection(1, {{1, 0x100}});
    damaged[9] ^= 0x40;
    auto ctx = newContext();
    Bytes block;
    unsigned cc = 0;
    for (const Bytes* s :
         std::initializer_list<const Bytes*>{&damaged, &damaged, &onlyNetwork, &onlyNetwork})
        appendPackets(block, 0x000, *s, 188, cc);
    initBlock(*ctx, block.data(), block.size());
    EXPECT_TRUE(ctx->pat.patFound);
    EXPECT_TRUE(ctx->programs.empty());
    EXPECT_EQ(ctx->pmtFoundCount, 0);
}

}  // namespace
}  // namespace orv
