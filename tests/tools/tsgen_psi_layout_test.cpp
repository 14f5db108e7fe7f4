// tsgen's PSI layouts for the section collection tests: several programs' PMTs back to back on
// one PID, a table change of the second section of a packet, and a section cut short.
#include <gtest/gtest.h>

#include "tests/tools/ts_test_util.h"
#include "tools/tsgen/fault_text.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"
#include "tools/tsgen/table_change.h"

namespace {

using namespace tsgen;
using tsgen_test::Bytes;
using tsgen_test::packetAt;
using tsgen_test::packetCount;

// Each PMT start packet on the shared PID holds program 1's PMT at the pointer target and
// program 2's right behind it; a pmt-change of program 2's audio rewrites that second section.
TEST(TsgenPsiLayout, SharedPmtPidCarriesThePmtsBackToBack) {
    PresetOptions opt;
    opt.durationMs = 1000;
    opt.sharedPmtPid = true;
    const Preset p = cleanPreset(opt);
    ASSERT_EQ(p.config.programs[1].pmtPid, 0x100);
    Fault change;
    change.kind = FaultKind::PmtChange;
    change.at = 2000;
    change.pid = 0x202;
    change.value = 0x203;
    GenerateResult r;
    const Bytes ts = generateStream(p.config, {change}, &r);
    ASSERT_TRUE(r.missed.empty());
    const Section pmt1 = pmtSectionFor(p.config.programs[0]);
    const Section pmt2 = pmtSectionFor(p.config.programs[1]);
    std::size_t starts = 0;
    for (std::size_t i = 0; i < packetCount(ts); ++i) {
        const uint8_t* pkt = packetAt(ts, i);
        ASSERT_NE(orv::packetPid(pkt), 0x200u);
        if (orv::packetPid(pkt) != 0x100) continue;
        ASSERT_TRUE(orv::payloadUnitStart(pkt)) << i;
        ++starts;
        const std::vector<SectionInPacket> in = wholeSectionsIn(pkt);
        ASSERT_EQ(in.size(), 2u) << i;
        EXPECT_EQ(in[0].at, 5u);
        EXPECT_EQ(in[1].at, 5 + pmt1.size());
        const Bytes first(pkt + in[0].at, pkt + in[0].at + in[0].size);
        const Bytes second(pkt + in[1].at, pkt + in[1].at + in[1].size);
        EXPECT_EQ(first, pmt1) << i;
        if (i < r.applied[0].packet) {
            EXPECT_EQ(second, pmt2) << i;
        } else {
            ProgramConfig moved = p.config.programs[1];
            moved.audios[0].pid = 0x203;
            EXPECT_EQ(second, pmtSectionFor(moved, 1)) << i;
        }
    }
    EXPECT_EQ(starts, 10u);  // every 100 ms
}

// section-cut drops one continuation packet of the PID and keeps its counters going, so the
// section it belonged to arrives without it and nothing else changes.
TEST(TsgenPsiLayout, SectionCutLeavesOutOneContinuation) {
    PresetOptions opt;
    opt.durationMs = 1000;
    opt.pmtDataStreams = 40;  // 466-byte PMTs: a start and two continuations
    const StreamConfig cfg = cleanPreset(opt).config;
    const Bytes clean = generateStream(cfg);
    const Fault cut = parseFaultText("section-cut@2000:pid=0x100", cfg);
    ASSERT_EQ(cut.kind, FaultKind::SectionCut);
    GenerateResult r;
    const Bytes ts = generateStream(cfg, {cut}, &r);
    ASSERT_EQ(r.applied.size(), 1u);
    const std::size_t target = r.applied[0].packet;
    const uint8_t* before = packetAt(clean, target);
    EXPECT_EQ(orv::packetPid(before), 0x100u);
    EXPECT_FALSE(orv::payloadUnitStart(before));
    EXPECT_EQ(orv::packetPid(packetAt(ts, target)), 0x1FFFu);
    unsigned lastCc = 99;
    for (std::size_t i = 0; i < packetCount(ts); ++i) {
        const uint8_t* p = packetAt(ts, i);
        if (i != target) {
            // Only the counters of later packets of the PID differ (byte 3).
            for (std::size_t b = 0; b < 188; ++b) {
                if (b != 3) {
                    ASSERT_EQ(p[b], packetAt(clean, i)[b]) << i << " " << b;
                }
            }
        }
        if (orv::packetPid(p) != 0x100) continue;
        if (lastCc != 99) {
            EXPECT_EQ(orv::continuityCounter(p), (lastCc + 1) % 16) << i;
        }
        lastCc = orv::continuityCounter(p);
    }
    // The section the packet belonged to is found short of 184 bytes; all others are whole.
    const auto found = tsgen_test::sectionsOn(ts, 0x100);
    const auto whole = tsgen_test::sectionsOn(clean, 0x100);
    EXPECT_EQ(found.size() + 1, whole.size());
}

}  // namespace
