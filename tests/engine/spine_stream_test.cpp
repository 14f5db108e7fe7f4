// Whole generated streams through the spine: program discovery on the first 40000 packets, then
// the block driver in blocks of 400 packets. A clean stream gives no event; each injected fault
// gives exactly the events it must.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/packet_header.h"
#include "engine/program_discovery.h"
#include "tests/support/engine_run.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

using SpineRun = test::EngineRun;

SpineRun runSpine(const std::vector<uint8_t>& ts, int packetLength) {
    test::EngineRunOptions o;
    o.packetLength = packetLength;
    return test::runEngine(ts, o);
}

std::vector<uint8_t> cleanStream(unsigned packetSize = 188) {
    tsgen::PresetOptions opt;
    opt.packetSize = packetSize;
    const tsgen::Preset p = tsgen::cleanPreset(opt);
    return tsgen::generateStream(p.config, {});
}

// Output index of the first payload packet of `pid` with continuity counter `cc` at or after
// `from`, in a 188-byte stream.
uint64_t findPayloadPacket(const std::vector<uint8_t>& ts, unsigned pid, unsigned cc,
                           uint64_t from) {
    for (uint64_t i = from; (i + 1) * 188 <= ts.size(); ++i) {
        const uint8_t* p = ts.data() + i * 188;
        if (packetPid(p) == pid && hasPayload(p) && continuityCounter(p) == cc) return i;
    }
    return ts.size();
}

TEST(SpineStream, CleanTwoProgramStreamGivesNoEvent) {
    for (unsigned size : {188u, 204u}) {
        SCOPED_TRACE(size);
        const SpineRun run = runSpine(cleanStream(size), static_cast<int>(size));
        EXPECT_EQ(run.ctx->programCount(), 2);
        EXPECT_EQ(run.ctx->pmtFoundCount, 2);
        EXPECT_TRUE(run.codes.empty()) << run.details.front();
        EXPECT_EQ(run.ctx->unreferencedCount, 0);
        EXPECT_GT(run.ctx->nullPacketCount, 0u);
        EXPECT_GT(run.ctx->programs[1].pcrCc.packetCount, 0u);  // PCR on a PID of its own
    }
}

tsgen::Fault fault(tsgen::FaultKind kind, uint64_t at, std::optional<uint16_t> pid,
                   std::optional<int64_t> value = std::nullopt, uint32_t count = 1) {
    return tsgen::Fault{.kind = kind, .at = at, .pid = pid, .value = value, .count = count};
}

tsgen::Fault range(tsgen::FaultKind kind, uint64_t at, uint64_t until, uint16_t pid) {
    tsgen::Fault f = fault(kind, at, pid);
    f.until = until;
    return f;
}

struct FaultCase {
    const char* name;
    tsgen::Fault fault;
    std::vector<int> expected;
};

TEST(SpineStream, EachInjectedFaultGivesExactlyItsEvents) {
    using tsgen::FaultKind;
    const std::vector<uint8_t> clean = cleanStream();
    const uint64_t from = 45000;  // well after the discovery block
    auto at = [&](unsigned pid, unsigned cc) { return findPayloadPacket(clean, pid, cc, from); };

    const std::vector<FaultCase> cases = {
        {"lost packet", fault(FaultKind::CcSkip, at(0x101, 5), 0x101, 1), {1042}},
        {"loss across the wrap", fault(FaultKind::CcSkip, at(0x101, 15), 0x101, 2), {1042}},
        {"skip by 14 reads as one step back",
         fault(FaultKind::CcSkip, at(0x101, 5), 0x101, 14),
         {1040}},
        {"packet sent twice: legal", fault(FaultKind::CcRepeat, from, 0x202), {}},
        {"packet sent three times",
         fault(FaultKind::CcRepeat, from, 0x202, std::nullopt, 2),
         {1041}},
        {"packet sent four times",
         fault(FaultKind::CcRepeat, from, 0x202, std::nullopt, 3),
         {1041, 1041}},
        {"reordered pair 4,6,5,7",
         fault(FaultKind::CcReorder, at(0x201, 5), 0x201),
         {1042, 1040, 1042}},
        {"transport error", fault(FaultKind::TransportError, from, 0x102), {1070}},
        {"scrambled without CAT", fault(FaultKind::Scrambling, from, 0x201), {1110}},
        {"scrambled PAT", fault(FaultKind::Scrambling, from, 0x0), {1110, 1032}},
        {"PAT table_id", fault(FaultKind::WrongTableId, from, 0x0, 2), {1031}},
        {"PAT CRC", fault(FaultKind::CrcDamage, from, 0x0), {1081}},
        {"PMT CRC", fault(FaultKind::CrcDamage, from, 0x200), {1082}},
        {"PID in no table",
         fault(FaultKind::StrayPid, from, 0x777, std::nullopt, 3),
         {1160, 1160, 1160}},
        // Faults of timing and repetition leave every packet-level check quiet: a left-out
        // table carries on with its counter, and PCRs and time stamps are not packet headers.
        // Each is reported by its own check alone.
        {"PAT left out for a second", range(FaultKind::TableGap, from, from + 5300, 0x0), {1030}},
        // Consecutive PCRs more than 100 ms apart are also a PCR discontinuity.
        {"PCR gap", range(FaultKind::PcrGap, from, from + 2000, 0x210), {1090, 1091}},
        // Offline, each PCR interval is timed by the rate between the same two PCRs, so a PCR
        // moved by 5 us shows no jitter: PCR jitter is measured online against the card's clock.
        {"PCR jitter", fault(FaultKind::PcrJitter, from, 0x101, 5000, 10), {}},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LT(c.fault.at, clean.size() / 188);
        tsgen::GenerateResult applied;
        const tsgen::Preset p = tsgen::cleanPreset();
        const std::vector<uint8_t> ts = tsgen::generateStream(p.config, {c.fault}, &applied);
        ASSERT_FALSE(applied.applied.empty());
        const SpineRun run = runSpine(ts, 188);
        EXPECT_EQ(run.codes, c.expected);
    }
}

TEST(SpineStream, FaultTextsAndCounters) {
    using tsgen::FaultKind;
    const tsgen::Preset p = tsgen::cleanPreset();
    tsgen::GenerateResult applied;
    const std::vector<uint8_t> ts =
        tsgen::generateStream(p.config, {fault(FaultKind::CrcDamage, 45000, 0x200)}, &applied);
    const SpineRun run = runSpine(ts, 188);
    ASSERT_EQ(run.codes, std::vector<int>{1082});
    // The damaged section lies in one packet and is judged there: index i, packet number i + 1.
    ASSERT_EQ(applied.applied.size(), 1u);
    EXPECT_EQ(run.details[0], "PMT(节目0002,PMT_PID:0x0200)发生CRC错误 第" +
                                  std::to_string(applied.applied[0].packet + 1) + "包");
    const KindCounters& k = run.ctx->log.kindCount;
    EXPECT_EQ(k.total(Tr290ErrorKind::Crc), 1);
    EXPECT_EQ(k.crc(CrcTable::Pmt), 1);
    EXPECT_EQ(k.crc(CrcTable::Pat), 0);
}

// A packet sent twice is legal, and its copy carries nothing new: a section or PES packet is
// assembled once. Sent three times, the third arrival is a duplicate (1041) and is not used
// either.
TEST(SpineStream, RepeatedPacketsAreUsedOnce) {
    tsgen::PresetOptions opt;
    opt.pmtDataStreams = 40;  // PMTs of three packets
    const tsgen::Preset p = tsgen::cleanPreset(opt);
    const std::vector<uint8_t> clean = tsgen::generateStream(p.config, {});
    auto first = [&](unsigned pid, bool start, uint64_t from = 45000) {
        for (uint64_t i = from; i < clean.size() / 188; ++i) {
            const uint8_t* pkt = clean.data() + i * 188;
            if (packetPid(pkt) == pid && payloadUnitStart(pkt) == start) return i;
        }
        return uint64_t{0};
    };
    struct Case {
        const char* name;
        uint64_t at;
        uint32_t copies;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"PMT continuation sent twice", first(0x100, false), 1, {}},
        {"PMT continuation sent three times", first(0x100, false), 2, {1041}},
        {"PAT sent twice", first(0x0, true), 1, {}},
        {"NIT section start sent twice", first(0x10, true, 30000), 1, {}},
        {"SDT section start sent three times", first(0x11, true), 2, {1041}},
        {"video PES start sent twice", first(0x201, true), 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.at, 0u);
        tsgen::Fault f = fault(tsgen::FaultKind::CcRepeat, c.at, std::nullopt);
        f.count = c.copies;
        tsgen::GenerateResult applied;
        const std::vector<uint8_t> ts = tsgen::generateStream(p.config, {f}, &applied);
        ASSERT_EQ(applied.applied.size(), 1u);
        const SpineRun run = runSpine(ts, 188);
        EXPECT_EQ(run.codes, c.expected) << (run.details.empty() ? "" : run.details.back());
    }
}

TEST(SpineStream, DamagedSyncByteCostsOnlyItsPacket) {
    // A null packet early in a block: the rest of the block is analysed as usual, so nothing but
    // the sync byte error is reported.
    const std::vector<uint8_t> clean = cleanStream();
    uint64_t target = 0;
    for (uint64_t i = 45000; i < clean.size() / 188; ++i) {
        if (i % 400 >= 5 && i % 400 < 50 && packetPid(clean.data() + i * 188) == kPidNull) {
            target = i;
            break;
        }
    }
    ASSERT_NE(target, 0u);
    const tsgen::Preset p = tsgen::cleanPreset();
    const std::vector<uint8_t> ts =
        tsgen::generateStream(p.config, {fault(tsgen::FaultKind::SyncByte, target, std::nullopt)});
    const SpineRun run = runSpine(ts, 188);
    EXPECT_EQ(run.codes, std::vector<int>{1020}) << run.details.back();
    EXPECT_EQ(run.ctx->packetCounter, clean.size() / 188 - 1);
    EXPECT_EQ(run.details[0], "传送流同步字节不等于0x47 第" + std::to_string(target) + "包");
}

// PMTs of 40 components (466 bytes, three packets each; two such PMTs every 100 ms are as much
// PSI as the system buffer takes at 8 Mbit/s). Packed, a repetition starts in the packet that
// ends the one before, behind a pointer_field > 0, wherever that leaves room for its header.
TEST(SpineStream, LargeAndPackedPmtsAreFoundAndClean) {
    for (bool packed : {false, true}) {
        SCOPED_TRACE(packed ? "packed" : "each section in packets of its own");
        tsgen::PresetOptions opt;
        opt.packedPsi = packed;
        opt.pmtDataStreams = 40;
        const tsgen::Preset p = tsgen::cleanPreset(opt);
        const std::vector<uint8_t> ts = tsgen::generateStream(p.config, {});
        int packedStarts = 0;
        for (std::size_t i = 0; i < ts.size() / 188; ++i) {
            const uint8_t* pkt = ts.data() + i * 188;
            if (packetPid(pkt) == 0x100 && payloadUnitStart(pkt) && pkt[4] > 0) ++packedStarts;
        }
        if (packed) {
            EXPECT_GT(packedStarts, 80);
        } else {
            EXPECT_EQ(packedStarts, 0);
        }
        const SpineRun run = runSpine(ts, 188);
        EXPECT_EQ(run.ctx->pmtFoundCount, 2);
        EXPECT_TRUE(run.codes.empty()) << run.details.front();
        EXPECT_EQ(run.ctx->programs[0].video.pid, 0x101);
        EXPECT_EQ(run.ctx->programs[1].audio[0].pid, 0x202);
        EXPECT_EQ(run.ctx->unreferencedCount, 0);
        // Every later PMT was timed: none was lost to a CRC error.
        EXPECT_NEAR(run.ctx->programs[0].pmtInterval.max, 0.1, 0.01);
    }
}

}  // namespace
}  // namespace orv
