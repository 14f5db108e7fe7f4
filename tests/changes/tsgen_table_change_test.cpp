// The program-change faults of tsgen: from their target on, the PAT or PMT goes out as its next
// version (checked byte for byte against sections written out by hand), a moved stream follows
// on its new PID, and nothing else of the clean stream changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/section_crc.h"
#include "tests/tools/ts_test_util.h"
#include "tools/tsgen/fault_text.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace {

using namespace tsgen;
using tsgen_test::Bytes;
using tsgen_test::packetAt;
using tsgen_test::packetCount;

const StreamConfig& config() {
    static const StreamConfig cfg = cleanPreset(PresetOptions{8'000'000, 188, 3000}).config;
    return cfg;
}
const Bytes& clean() {
    static const Bytes ts = generateStream(config());
    return ts;
}

Fault change(FaultKind kind, uint64_t at, std::optional<uint16_t> pid, int64_t value) {
    return {.kind = kind, .at = at, .pid = pid, .value = value};
}

// The clean stream's tables as written out by hand (without their CRC_32):
// PAT: transport_stream_id 1, network PID 0x0010, program 1 on 0x0100, program 2 on 0x0200;
// PMT of program 1: PCR_PID 0x0101, MPEG-2 video 0x0101, MPEG-1 audio 0x0102 with an ISO 639
// language descriptor "eng" (audio_type 0). Byte 5 is 0xC1 for version 0, 0xC3 for version 1.
const Bytes kPatV1 = {0x00, 0xB0, 0x15, 0x00, 0x01, 0xC3, 0x00, 0x00, 0x00, 0x00,
                      0xE0, 0x10, 0x00, 0x01, 0xE1, 0x00, 0x00, 0x02, 0xE2, 0x00};
const Bytes kPatV1WithoutProgram2 = {0x00, 0xB0, 0x11, 0x00, 0x01, 0xC3, 0x00, 0x00,
                                     0x00, 0x00, 0xE0, 0x10, 0x00, 0x01, 0xE1, 0x00};
const Bytes kPmtV1AudioMoved = {0x02, 0xB0, 0x1D, 0x00, 0x01, 0xC3, 0x00, 0x00, 0xE1, 0x01,
                                0xF0, 0x00, 0x02, 0xE1, 0x01, 0xF0, 0x00, 0x03, 0xE1, 0x03,
                                0xF0, 0x06, 0x0A, 0x04, 'e',  'n',  'g',  0x00};
const Bytes kPmtV1AudioLeftOut = {0x02, 0xB0, 0x12, 0x00, 0x01, 0xC3, 0x00, 0x00, 0xE1,
                                  0x01, 0xF0, 0x00, 0x02, 0xE1, 0x01, 0xF0, 0x00};
const Bytes kPmtV1VideoMoved = {0x02, 0xB0, 0x1D, 0x00, 0x01, 0xC3, 0x00, 0x00, 0xE1, 0x11,
                                0xF0, 0x00, 0x02, 0xE1, 0x11, 0xF0, 0x00, 0x03, 0xE1, 0x02,
                                0xF0, 0x06, 0x0A, 0x04, 'e',  'n',  'g',  0x00};
const Bytes kPmtV1Same = {0x02, 0xB0, 0x1D, 0x00, 0x01, 0xC3, 0x00, 0x00, 0xE1, 0x01,
                          0xF0, 0x00, 0x02, 0xE1, 0x01, 0xF0, 0x00, 0x03, 0xE1, 0x02,
                          0xF0, 0x06, 0x0A, 0x04, 'e',  'n',  'g',  0x00};

TEST(TsgenTableChange, TablesGoOutAsTheirNextVersionFromTheTargetOn) {
    struct Case {
        const char* name;
        Fault fault;
        uint16_t tablePid;
        Bytes section;           // every section of tablePid from the target on, without CRC_32
        uint16_t movedFrom = 0;  // a stream whose packets go to movedTo from the target on
        uint16_t movedTo = 0;
    };
    const Case cases[] = {
        {"pat-change", change(FaultKind::PatChange, 5000, std::nullopt, 0), 0x0000, kPatV1},
        {"pat-change without program 2", change(FaultKind::PatChange, 5000, std::nullopt, 2),
         0x0000, kPatV1WithoutProgram2},
        {"pmt-change moving the audio", change(FaultKind::PmtChange, 5000, 0x102, 0x103), 0x0100,
         kPmtV1AudioMoved, 0x102, 0x103},
        {"pmt-change leaving the audio out", change(FaultKind::PmtChange, 5000, 0x102, 0), 0x0100,
         kPmtV1AudioLeftOut},
        {"pmt-change moving the video and its PCR",
         change(FaultKind::PmtChange, 5000, 0x101, 0x111), 0x0100, kPmtV1VideoMoved, 0x101, 0x111},
        {"pmt-change of the version only", change(FaultKind::PmtChange, 5000, 0x102, 0x102), 0x0100,
         kPmtV1Same},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GenerateResult r;
        const Bytes ts = generateStream(config(), {c.fault}, &r);
        ASSERT_EQ(ts.size(), clean().size());
        ASSERT_EQ(r.applied.size(), 1u);
        const std::size_t target = r.applied[0].packet;
        EXPECT_EQ(r.applied[0].pid, c.tablePid);
        EXPECT_TRUE(r.missed.empty());

        // The target is the first section of the table at or after `at`.
        const auto before = tsgen_test::sectionsOn(clean(), c.tablePid);
        const auto firstAfter = std::find_if(before.begin(), before.end(),
                                             [&](const auto& s) { return s.packet >= c.fault.at; });
        ASSERT_NE(firstAfter, before.end());
        EXPECT_EQ(target, firstAfter->packet);

        const auto after = tsgen_test::sectionsOn(ts, c.tablePid);
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            const Bytes& s = after[i].bytes;
            if (after[i].packet < target) {
                EXPECT_EQ(s, before[i].bytes);
                continue;
            }
            ASSERT_EQ(s.size(), c.section.size() + 4) << after[i].packet;
            EXPECT_TRUE(std::equal(c.section.begin(), c.section.end(), s.begin()));
            EXPECT_EQ(orv::sectionCrc32(s.data(), s.data() + s.size()), 0u);
        }
        EXPECT_EQ(r.applied[0].other, after.back().packet);

        // Every other packet is the clean one, but for a moved stream's PID.
        for (std::size_t i = 0; i < packetCount(ts); ++i) {
            const uint8_t *a = packetAt(clean(), i), *b = packetAt(ts, i);
            const unsigned pid = orv::packetPid(a);
            if (pid == c.tablePid) continue;
            if (c.movedFrom != 0 && pid == c.movedFrom && i > target) {
                ASSERT_EQ(orv::packetPid(b), c.movedTo) << i;
                ASSERT_TRUE(std::equal(a + 3, a + 188, b + 3)) << i;
                ASSERT_EQ(a[1] & 0xE0, b[1] & 0xE0) << i;
                continue;
            }
            ASSERT_TRUE(std::equal(a, a + 188, b)) << i;
        }
    }
}

TEST(TsgenTableChange, FaultTextAndLimits) {
    const StreamConfig& cfg = config();
    const Fault pat = parseFaultText("pat-change@2s:value=2", cfg);
    EXPECT_EQ(pat.kind, FaultKind::PatChange);
    EXPECT_EQ(pat.at, slotAtMs(cfg, 2000));
    EXPECT_EQ(pat.value, 2);
    const Fault pmt = parseFaultText("pmt-change@300ms:pid=0x102,value=0x103", cfg);
    EXPECT_EQ(pmt.kind, FaultKind::PmtChange);
    EXPECT_EQ(pmt.pid, 0x102);
    EXPECT_EQ(pmt.value, 0x103);
    for (const char* bad : {"pmt-change@1s", "pmt-change@1s:pid=0x102,value=0x1FFF",
                            "pat-change@1s:value=0x10000", "pat-change@1s-2s"})
        EXPECT_THROW(parseFaultText(bad, cfg), std::invalid_argument) << bad;

    // A PMT that does not list the PID is never changed: the fault stays missed.
    GenerateResult r;
    const Bytes same = generateStream(cfg, {change(FaultKind::PmtChange, 100, 0x777, 0)}, &r);
    EXPECT_EQ(same, clean());
    EXPECT_EQ(r.missed, std::vector<std::size_t>{0});
}

}  // namespace
