// Every tsgen fault kind changes exactly the packets its documentation names, reports where it
// landed, and the command line's fault text parses into the same faults.
#include <gtest/gtest.h>

#include <functional>

#include "engine/section_crc.h"
#include "tests/tools/ts_test_util.h"
#include "tools/tsgen/fault_text.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace {

using namespace tsgen;
using tsgen_test::Bytes;
using tsgen_test::differingPackets;
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

Fault pidFault(FaultKind kind, uint64_t at, uint16_t pid, std::optional<int64_t> value = {}) {
    Fault f;
    f.kind = kind;
    f.at = at;
    f.pid = pid;
    f.value = value;
    return f;
}

// The first packet of `pid` at or after `from` for which `pred` holds.
std::size_t firstOf(const Bytes& ts, unsigned pid, std::size_t from,
                    const std::function<bool(const uint8_t*)>& pred) {
    for (std::size_t i = from; i < packetCount(ts); ++i)
        if (orv::packetPid(packetAt(ts, i)) == pid && pred(packetAt(ts, i))) return i;
    return SIZE_MAX;
}
bool any(const uint8_t*) {
    return true;
}
bool payload(const uint8_t* p) {
    return orv::hasPayload(p);
}
bool sectionStart(const uint8_t* p) {
    return orv::payloadUnitStart(p) && orv::hasPayload(p);
}

// Bytes at which two packets differ.
std::vector<std::size_t> differingBytes(const uint8_t* a, const uint8_t* b) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < 188; ++i)
        if (a[i] != b[i]) out.push_back(i);
    return out;
}

struct SinglePacketCase {
    const char* name;
    Fault fault;
    std::function<bool(const uint8_t*)> qualifies;
    std::vector<std::size_t> bytes;  // the bytes of the target that change
    std::function<void(const uint8_t* before, const uint8_t* after)> check;
};

TEST(TsgenFaults, SinglePacketFaultsChangeOnlyTheirTarget) {
    const std::vector<SinglePacketCase> cases = {
        {"sync",
         pidFault(FaultKind::SyncByte, 5000, 0x101),
         any,
         {0},
         [](const uint8_t*, const uint8_t* a) { EXPECT_EQ(a[0], 0x46); }},
        {"sync value",
         pidFault(FaultKind::SyncByte, 5000, 0x101, 0x00),
         any,
         {0},
         [](const uint8_t*, const uint8_t* a) { EXPECT_EQ(a[0], 0x00); }},
        {"tei",
         pidFault(FaultKind::TransportError, 7000, 0x202),
         any,
         {1},
         [](const uint8_t* b, const uint8_t* a) { EXPECT_EQ(a[1], b[1] | 0x80); }},
        {"scramble",
         pidFault(FaultKind::Scrambling, 9000, 0x201, 3),
         any,
         {3},
         [](const uint8_t* b, const uint8_t* a) { EXPECT_EQ(a[3], b[3] | 0xC0); }},
        {"table-id",
         pidFault(FaultKind::WrongTableId, 3000, 0x100, 0x05),
         sectionStart,
         {5},
         [](const uint8_t*, const uint8_t* a) { EXPECT_EQ(a[5], 0x05); }},
        {"crc",
         pidFault(FaultKind::CrcDamage, 3000, 0x011),
         sectionStart,
         {5 + 8},
         [](const uint8_t* b, const uint8_t* a) { EXPECT_EQ(a[13], b[13] ^ 0x01); }},
        {"crc clamped before the CRC field",
         pidFault(FaultKind::CrcDamage, 3000, 0x000, 4000),
         sectionStart,
         {5 + 3 + 0x15 - 5},  // PAT of three entries
         [](const uint8_t*, const uint8_t*) {}},
    };
    for (const SinglePacketCase& c : cases) {
        SCOPED_TRACE(c.name);
        GenerateResult r;
        const Bytes ts = generateStream(config(), {c.fault}, &r);
        const std::size_t target = firstOf(clean(), *c.fault.pid, c.fault.at, c.qualifies);
        ASSERT_NE(target, SIZE_MAX);
        EXPECT_EQ(differingPackets(clean(), ts), std::vector<std::size_t>{target});
        EXPECT_EQ(differingBytes(packetAt(clean(), target), packetAt(ts, target)), c.bytes);
        c.check(packetAt(clean(), target), packetAt(ts, target));
        ASSERT_EQ(r.applied.size(), 1u);
        EXPECT_EQ(r.applied[0].packet, target);
        EXPECT_EQ(r.applied[0].pid, *c.fault.pid);
        EXPECT_TRUE(r.missed.empty());
    }
}

TEST(TsgenFaults, CrcDamageIsCaughtByTheSectionCrc) {
    const Bytes ts = generateStream(config(), {pidFault(FaultKind::CrcDamage, 3000, 0x011)});
    int bad = 0;
    for (const auto& s : tsgen_test::sectionsOn(ts, 0x011))
        bad += orv::sectionCrc32(s.bytes.data(), s.bytes.data() + s.bytes.size()) != 0;
    EXPECT_EQ(bad, 1);
}

TEST(TsgenFaults, ExactIndexTargetsHitThatPacketOrNothing) {
    // An exact index hits whatever packet is there ...
    Fault tei;
    tei.kind = FaultKind::TransportError;
    tei.at = 1234;
    GenerateResult r;
    const Bytes ts = generateStream(config(), {tei}, &r);
    EXPECT_EQ(differingPackets(clean(), ts), std::vector<std::size_t>{1234});
    ASSERT_EQ(r.applied.size(), 1u);
    EXPECT_EQ(r.applied[0].pid, orv::packetPid(packetAt(clean(), 1234)));
    // ... unless it cannot take the fault: a PCR jitter on a packet without PCR is missed.
    std::size_t noPcr = 1234;
    while (tsgen_test::pcrOf(packetAt(clean(), noPcr)))
        ++noPcr;
    Fault jitter;
    jitter.kind = FaultKind::PcrJitter;
    jitter.at = noPcr;
    const Bytes same = generateStream(config(), {jitter}, &r);
    EXPECT_EQ(same, clean());
    EXPECT_EQ(r.missed, std::vector<std::size_t>{0});
}

TEST(TsgenFaults, CcSkipShiftsTheCounterFromTheTargetOn) {
    GenerateResult r;
    const Bytes ts = generateStream(config(), {pidFault(FaultKind::CcSkip, 4000, 0x102, 3)}, &r);
    const std::size_t target = firstOf(clean(), 0x102, 4000, payload);
    for (std::size_t i : differingPackets(clean(), ts)) {
        const uint8_t *a = packetAt(clean(), i), *b = packetAt(ts, i);
        ASSERT_EQ(orv::packetPid(a), 0x102u);
        ASSERT_GE(i, target);
        EXPECT_EQ(differingBytes(a, b), std::vector<std::size_t>{3});
        EXPECT_EQ(orv::continuityCounter(b), (orv::continuityCounter(a) + 3) % 16);
    }
    EXPECT_EQ(differingPackets(clean(), ts).front(), target);
    EXPECT_EQ(r.applied.at(0).packet, target);
}

TEST(TsgenFaults, CcRepeatSendsCountCopiesAndAbsorbsAsManyNulls) {
    for (uint32_t copies : {1u, 2u, 5u}) {
        SCOPED_TRACE(copies);
        Fault f = pidFault(FaultKind::CcRepeat, 4000, 0x101);
        f.count = copies;
        GenerateResult r;
        const Bytes ts = generateStream(config(), {f}, &r);
        const std::size_t t = firstOf(clean(), 0x101, 4000, payload);
        ASSERT_EQ(r.applied.size(), 1u);
        EXPECT_EQ(r.applied[0].packet, t);
        EXPECT_EQ(r.applied[0].other, t + copies);
        ASSERT_EQ(ts.size(), clean().size());
        // The clean stream up to t, `copies` copies of t, then the clean stream without its
        // first `copies` null packets after t.
        std::vector<std::size_t> from;
        for (std::size_t i = 0; i <= t; ++i)
            from.push_back(i);
        from.insert(from.end(), copies, t);
        uint32_t nulls = copies;
        for (std::size_t i = t + 1; from.size() < packetCount(ts); ++i) {
            if (nulls > 0 && orv::packetPid(packetAt(clean(), i)) == 0x1FFF) {
                --nulls;
                continue;
            }
            from.push_back(i);
        }
        for (std::size_t i = 0; i < packetCount(ts); ++i) {
            const uint8_t *got = packetAt(ts, i), *want = packetAt(clean(), from[i]);
            if (tsgen_test::pcrOf(want) && from[i] != i) {  // moved PCRs are re-stamped
                ASSERT_TRUE(std::equal(got, got + 6, want)) << i;
                ASSERT_TRUE(std::equal(got + 12, got + 188, want + 12)) << i;
            } else {
                ASSERT_TRUE(std::equal(got, got + 188, want)) << i;
            }
        }
    }
}

TEST(TsgenFaults, CcReorderSwapsWithTheNextPacketOfThePid) {
    GenerateResult r;
    const Bytes ts = generateStream(config(), {pidFault(FaultKind::CcReorder, 6000, 0x202)}, &r);
    const std::size_t a = firstOf(clean(), 0x202, 6000, payload);
    const std::size_t b = firstOf(clean(), 0x202, a + 1, payload);
    EXPECT_EQ(differingPackets(clean(), ts), (std::vector<std::size_t>{a, b}));
    EXPECT_TRUE(std::equal(packetAt(ts, a), packetAt(ts, a) + 188, packetAt(clean(), b)));
    EXPECT_TRUE(std::equal(packetAt(ts, b), packetAt(ts, b) + 188, packetAt(clean(), a)));
    ASSERT_EQ(r.applied.size(), 1u);
    EXPECT_EQ(r.applied[0].packet, a);
    EXPECT_EQ(r.applied[0].other, b);
}

TEST(TsgenFaults, TableGapSilencesThePidAndKeepsItsCounterRunning) {
    const uint64_t from = 2000, until = 12000;
    GenerateResult r;
    Fault gap = pidFault(FaultKind::TableGap, from, 0x000);
    gap.until = until;
    const Bytes ts = generateStream(config(), {gap}, &r);
    const std::size_t first = firstOf(clean(), 0, from, sectionStart);
    const std::size_t resume = firstOf(clean(), 0, until, sectionStart);
    std::size_t last = 0;
    for (std::size_t i : differingPackets(clean(), ts)) {
        const uint8_t* p = packetAt(ts, i);
        ASSERT_EQ(orv::packetPid(packetAt(clean(), i)), 0u);
        if (i < resume) {
            EXPECT_EQ(orv::packetPid(p), 0x1FFFu) << i;
            last = i;
        } else {
            EXPECT_EQ(differingBytes(packetAt(clean(), i), p), std::vector<std::size_t>{3});
        }
    }
    // The counter continues across the gap as if the table had simply not been sent.
    unsigned lastCc = 99;
    for (std::size_t i = 0; i < packetCount(ts); ++i) {
        const uint8_t* p = packetAt(ts, i);
        if (orv::packetPid(p) != 0) continue;
        ASSERT_TRUE(i < first || i >= resume) << i;
        if (lastCc != 99) {
            EXPECT_EQ(orv::continuityCounter(p), (lastCc + 1) % 16);
        }
        lastCc = orv::continuityCounter(p);
    }
    ASSERT_EQ(r.applied.size(), 1u);
    EXPECT_EQ(r.applied[0].packet, first);
    EXPECT_EQ(r.applied[0].other, last);
}

TEST(TsgenFaults, PcrGapRemovesEveryPcrOfTheRange) {
    for (uint16_t pid : {uint16_t{0x101}, uint16_t{0x210}}) {
        SCOPED_TRACE(pid);
        Fault gap = pidFault(FaultKind::PcrGap, 3000, pid);
        gap.until = 8000;
        const Bytes ts = generateStream(config(), {gap});
        for (std::size_t i : differingPackets(clean(), ts)) {
            ASSERT_GE(i, 3000u);
            ASSERT_LT(i, 8000u);
            ASSERT_EQ(orv::packetPid(packetAt(clean(), i)), pid);
            const uint8_t* p = packetAt(ts, i);
            EXPECT_FALSE(tsgen_test::pcrOf(p));
            // Adaptation-only PCR packets become null packets; others keep their payload.
            if (!orv::hasPayload(packetAt(clean(), i))) {
                EXPECT_EQ(orv::packetPid(p), 0x1FFFu);
            } else {
                EXPECT_TRUE(std::equal(p + 12, p + 188, packetAt(clean(), i) + 12));
            }
        }
        for (std::size_t i = 3000; i < 8000; ++i) {
            const uint8_t* p = packetAt(ts, i);
            if (orv::packetPid(p) == pid) {
                ASSERT_FALSE(tsgen_test::pcrOf(p)) << i;
            }
        }
    }
}

TEST(TsgenFaults, PcrJitterMovesTheChosenPcrs) {
    Fault j = pidFault(FaultKind::PcrJitter, 5000, 0x210, -700);
    j.count = 2;
    GenerateResult r;
    const Bytes ts = generateStream(config(), {j}, &r);
    const auto diff = differingPackets(clean(), ts);
    ASSERT_EQ(diff.size(), 2u);
    EXPECT_EQ(diff[0], firstOf(clean(), 0x210, 5000, any));
    for (std::size_t i : diff)
        EXPECT_EQ(static_cast<int64_t>(*tsgen_test::pcrOf(packetAt(ts, i))) -
                      static_cast<int64_t>(*tsgen_test::pcrOf(packetAt(clean(), i))),
                  -19);  // -700 ns = -18.9 ticks of 27 MHz
    ASSERT_EQ(r.applied.size(), 2u);
    EXPECT_EQ(r.applied[1].packet, diff[1]);
}

TEST(TsgenFaults, PcrDiscontinuityStartsANewTimeBase) {
    constexpr uint64_t kModulus = (uint64_t{1} << 33) * 300;
    for (const int64_t ms : {int64_t{2000}, int64_t{-300}}) {
        SCOPED_TRACE(ms);
        GenerateResult r;
        const Bytes ts =
            generateStream(config(), {pidFault(FaultKind::PcrDiscontinuity, 5000, 0x210, ms)}, &r);
        const std::size_t target =
            firstOf(clean(), 0x210, 5000, [](const uint8_t* p) { return !!tsgen_test::pcrOf(p); });
        ASSERT_EQ(r.applied.size(), 1u);
        EXPECT_EQ(r.applied[0].packet, target);
        const auto diff = differingPackets(clean(), ts);
        ASSERT_FALSE(diff.empty());
        EXPECT_EQ(diff.front(), target);
        std::size_t pcrs = 0;
        for (std::size_t i : diff) {
            const uint8_t *a = packetAt(clean(), i), *b = packetAt(ts, i);
            ASSERT_EQ(orv::packetPid(a), 0x210u) << i;
            EXPECT_EQ(orv::continuityCounter(b), (orv::continuityCounter(a) + 8) % 16);
            const auto before = tsgen_test::pcrOf(a), after = tsgen_test::pcrOf(b);
            ASSERT_EQ(!!before, !!after);
            if (!before) {
                EXPECT_EQ(differingBytes(a, b), std::vector<std::size_t>{3});
                continue;
            }
            ++pcrs;
            EXPECT_EQ(*after, (*before + kModulus + ms * 27'000) % kModulus);
            EXPECT_EQ((b[5] & 0x80) != 0, i == target) << "discontinuity_indicator";
            EXPECT_EQ(b[5] & 0x7F, a[5] & 0x7F);
            EXPECT_TRUE(std::equal(b + 12, b + 188, a + 12));
        }
        EXPECT_GT(pcrs, 50u);  // every later PCR of the PID moved
        // Every packet of the PID from the target on has its counter moved.
        std::size_t ofPid = 0;
        for (std::size_t i = target; i < packetCount(clean()); ++i)
            ofPid += orv::packetPid(packetAt(clean(), i)) == 0x210;
        EXPECT_EQ(diff.size(), ofPid);
    }
}

TEST(TsgenFaults, PtsGapMovesEveryLaterTimeStamp) {
    GenerateResult r;
    const Bytes ts = generateStream(config(), {pidFault(FaultKind::PtsGap, 6000, 0x101, 800)}, &r);
    const auto before = tsgen_test::pesStamps(clean(), 0x101),
               after = tsgen_test::pesStamps(ts, 0x101);
    ASSERT_EQ(before.size(), after.size());
    bool moved = false;
    for (std::size_t k = 0; k < before.size(); ++k) {
        const uint64_t shift = before[k].packet >= r.applied.at(0).packet ? 800 * 90 : 0;
        moved |= shift != 0;
        EXPECT_EQ(after[k].pts, before[k].pts + shift);
        EXPECT_EQ(after[k].dts.value_or(0), before[k].dts ? *before[k].dts + shift : 0);
    }
    EXPECT_TRUE(moved);
    for (std::size_t i : differingPackets(clean(), ts))
        EXPECT_TRUE(orv::payloadUnitStart(packetAt(ts, i)) &&
                    orv::packetPid(packetAt(ts, i)) == 0x101);
}

TEST(TsgenFaults, StrayPacketsReplaceNulls) {
    Fault s = pidFault(FaultKind::StrayPid, 7000, 0x777);
    s.count = 3;
    GenerateResult r;
    const Bytes ts = generateStream(config(), {s}, &r);
    const auto diff = differingPackets(clean(), ts);
    ASSERT_EQ(diff.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(orv::packetPid(packetAt(clean(), diff[k])), 0x1FFFu);
        EXPECT_EQ(orv::packetPid(packetAt(ts, diff[k])), 0x777u);
        EXPECT_EQ(orv::continuityCounter(packetAt(ts, diff[k])), k);
        EXPECT_EQ(r.applied.at(k).packet, diff[k]);
    }
    EXPECT_EQ(diff[0], firstOf(clean(), 0x1FFF, 7000, any));
}

TEST(TsgenFaults, BadFaultsAreRefused) {
    Fault noPid;
    noPid.kind = FaultKind::StrayPid;
    EXPECT_THROW(generateStream(config(), {noPid}), std::invalid_argument);
    Fault emptyRange = pidFault(FaultKind::TableGap, 10, 0x10);
    emptyRange.until = 10;
    EXPECT_THROW(generateStream(config(), {emptyRange}), std::invalid_argument);
    EXPECT_THROW(generateStream(config(), {pidFault(FaultKind::Scrambling, 0, 0x101, 4)}),
                 std::invalid_argument);
    EXPECT_THROW(generateStream(config(), {pidFault(FaultKind::SyncByte, 0, 0x101, 0x47)}),
                 std::invalid_argument);
    EXPECT_THROW(generateStream(config(), {pidFault(FaultKind::WrongTableId, 0, 0x0)}),
                 std::invalid_argument);
}

TEST(TsgenFaultText, ParsesTheCommandLineForm) {
    const StreamConfig& cfg = config();
    struct Case {
        const char* text;
        FaultKind kind;
        uint64_t at, until;
        std::optional<uint16_t> pid;
        std::optional<int64_t> value;
        uint32_t count;
    };
    const Case cases[] = {
        {"cc-skip@12000:pid=0x100", FaultKind::CcSkip, 12000, 0, 0x100, {}, 1},
        {"cc-skip@12000:pid=256,value=2", FaultKind::CcSkip, 12000, 0, 0x100, 2, 1},
        {"sync@0x10", FaultKind::SyncByte, 16, 0, {}, {}, 1},
        {"tei@1s:pid=0x101", FaultKind::TransportError, 5320, 0, 0x101, {}, 1},
        {"scramble@500ms:value=1", FaultKind::Scrambling, 2660, 0, {}, 1, 1},
        {"table-gap@1s-2.5s:pid=0x11", FaultKind::TableGap, 5320, 13298, 0x11, {}, 1},
        {"pcr-jitter@100:pid=0x210,value=-800,count=3", FaultKind::PcrJitter, 100, 0, 0x210, -800,
         3},
        {"table-id@7:value=0xFF", FaultKind::WrongTableId, 7, 0, {}, 0xFF, 1},
        {"pcr-discontinuity@2s:pid=0x210,value=-500", FaultKind::PcrDiscontinuity, 10639, 0, 0x210,
         -500, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Fault f = parseFaultText(c.text, cfg);
        EXPECT_EQ(f.kind, c.kind);
        EXPECT_EQ(f.at, c.at);
        EXPECT_EQ(f.until, c.until);
        EXPECT_EQ(f.pid, c.pid);
        EXPECT_EQ(f.value, c.value);
        EXPECT_EQ(f.count, c.count);
    }
    for (const char* bad : {"cc-skip", "nope@1", "cc-skip@x", "cc-skip@1-2", "table-gap@5:pid=1",
                            "table-gap@5-5:pid=1", "table-gap@5-9", "stray@1", "tei@1:pid=0x2000",
                            "tei@1:colour=3", "tei@1:pid", "scramble@1:value=4", "table-id@1",
                            "cc-skip@1:count=0", "tei@-1", "tei@1.5"})
        EXPECT_THROW(parseFaultText(bad, cfg), std::invalid_argument) << bad;
}

}  // namespace
