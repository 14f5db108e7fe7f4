// Program changes in the main pass over generated streams (the clean two-program preset, 12 s at
// 8 Mbit/s): where a new PAT or PMT is applied, what the program table holds after it, which
// records carry on and which start again, and that the rebuild itself causes no event.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/pcr_analysis.h"
#include "engine/program_discovery.h"
#include "tests/support/engine_run.h"
#include "tests/tools/ts_test_util.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

using tsgen_test::Bytes;
using tsgen_test::packetAt;
using tsgen_test::packetCount;

constexpr std::size_t kInitPackets = 40'000;

struct Logged {
    int code = 0;
    std::string detail;
    uint64_t packet = 0;  // the number the text ends with; 0 for run events
};

uint64_t quotedPacket(const std::string& detail) {
    const std::size_t at = detail.rfind("第");
    return at == std::string::npos ? 0 : std::stoull(detail.substr(at + std::string("第").size()));
}

struct PassResult {
    std::unique_ptr<AnalysisContext> ctx = std::make_unique<AnalysisContext>();
    std::vector<Logged> events;

    std::vector<Logged> of(int code) const {
        std::vector<Logged> out;
        std::copy_if(events.begin(), events.end(), std::back_inserter(out),
                     [code](const Logged& e) { return e.code == code; });
        return out;
    }
    std::vector<Logged> unreferenced(unsigned pid) const {
        char text[16];
        std::snprintf(text, sizeof text, "PID=0x%04x", pid);
        std::vector<Logged> out;
        for (const Logged& e : of(1160))
            if (e.detail.find(text) == 0) out.push_back(e);
        return out;
    }
};

// As the offline source does it: the initialisation phase on the first 40000 packets, then the
// main pass from the first packet at the stream's own rate, in blocks of 400 packets.
PassResult analyse(const Bytes& ts) {
    test::EngineRunOptions o;
    o.initPackets = kInitPackets;
    o.offline = true;
    test::EngineRun engine = test::runEngine(ts, o);
    PassResult run;
    run.ctx = std::move(engine.ctx);
    for (const test::LoggedEvent& e : engine.events)
        run.events.push_back({e.code, e.detail, quotedPacket(e.detail)});
    return run;
}

tsgen::Fault change(tsgen::FaultKind kind, uint64_t at, std::optional<uint16_t> pid,
                    int64_t value) {
    return {.kind = kind, .at = at, .pid = pid, .value = value};
}

std::size_t packetsOf(const Bytes& ts, unsigned pid, std::size_t from = 0) {
    std::size_t n = 0;
    for (std::size_t i = from; i < packetCount(ts); ++i)
        n += packetPid(packetAt(ts, i)) == pid;
    return n;
}
std::size_t pcrsOf(const Bytes& ts, unsigned pid) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < packetCount(ts); ++i)
        n += packetPid(packetAt(ts, i)) == pid && tsgen_test::pcrOf(packetAt(ts, i)).has_value();
    return n;
}

const tsgen::StreamConfig& config() {
    static const tsgen::StreamConfig cfg = tsgen::cleanPreset({8'000'000, 188, 12'000}).config;
    return cfg;
}

// The same stream without any change: what every record that carries on must end with.
const AnalysisContext& unchanged() {
    static const PassResult run = analyse(tsgen::generateStream(config()));
    return *run.ctx;
}

struct Stream {
    Bytes ts;
    uint64_t target = 0;  // the packet the generator changed first
};

TEST(ProgramChange, NewTablesAreAppliedWhereTheyAreAndTheAnalysisGoesOn) {
    const tsgen::StreamConfig& cfg = config();
    auto at = [&](uint64_t ms) { return tsgen::slotAtMs(cfg, ms); };
    using tsgen::FaultKind;
    struct Case {
        const char* name;
        std::vector<tsgen::Fault> faults;
        bool pat;
        std::vector<int> allowed;  // error codes the case may log besides 1160 before the change
        std::function<void(const PassResult&, const Stream&, const ProgramChangeRecord&)> check;
    };
    const std::vector<Case> cases = {
        {"a new PMT moves the audio, late in the file",
         {change(FaultKind::PmtChange, at(10'000), 0x102, 0x103)},
         false,
         {},
         [](const PassResult& run, const Stream& s, const ProgramChangeRecord&) {
             const ProgramEntry& p = run.ctx->programs[0];
             ASSERT_EQ(p.audioCount, 1);
             EXPECT_EQ(p.audio[0].pid, 0x103);
             // Its first packet comes after the new PMT, which took effect in its own packet.
             EXPECT_EQ(p.audio[0].cc.packetCount, packetsOf(s.ts, 0x103));
             EXPECT_TRUE(run.unreferenced(0x103).empty());
             EXPECT_TRUE(run.unreferenced(0x102).empty());
             EXPECT_EQ(run.ctx->unreferencedCount, 0);
         }},
        {"a new PMT inside the initialisation block",
         {change(FaultKind::PmtChange, at(3'000), 0x102, 0x103)},
         false,
         {},
         [](const PassResult& run, const Stream&, const ProgramChangeRecord&) {
             // The main pass starts with the first PMT: the old audio is never unreferenced, and
             // the new one is listed from the packet of the new PMT on, before its first packet.
             EXPECT_TRUE(run.unreferenced(0x102).empty());
             EXPECT_TRUE(run.unreferenced(0x103).empty());
             EXPECT_EQ(run.ctx->programs[0].audio[0].pid, 0x103);
         }},
        {"a new PMT leaves the audio out while its packets go on",
         {change(FaultKind::PmtChange, at(10'000), 0x102, 0)},
         false,
         {},
         [](const PassResult& run, const Stream& s, const ProgramChangeRecord& rec) {
             EXPECT_EQ(run.ctx->programs[0].audioCount, 0);
             EXPECT_EQ(run.ctx->programs[0].componentCount, 1);
             const auto events = run.unreferenced(0x102);
             // Every packet from the one after the change on: packet number n is index n - 1.
             EXPECT_EQ(events.size(), packetsOf(s.ts, 0x102, rec.packet));
             for (const Logged& e : events)
                 EXPECT_GT(e.packet, rec.packet);
         }},
        {"a new PMT moves the video and the PCR",
         {change(FaultKind::PmtChange, at(10'000), 0x101, 0x111)},
         false,
         {},
         [](const PassResult& run, const Stream& s, const ProgramChangeRecord&) {
             const ProgramEntry& p = run.ctx->programs[0];
             EXPECT_EQ(p.pcrPid, 0x111);
             EXPECT_EQ(p.video.pid, 0x111);
             const PcrTrack& t = run.ctx->timing.pcrTracks.at(0);
             EXPECT_EQ(t.pcrPid, 0x111);
             // A new clock: measured from its first PCR after the change, never against 0x101.
             EXPECT_GT(t.jitterSamples, 0u);
             EXPECT_LT(t.jitterSamples, pcrsOf(s.ts, 0x111));
             EXPECT_EQ(t.largestJitterNs, 0);
             EXPECT_EQ(run.ctx->distinctPcrPidCount, 2);
         }},
        {"a new PMT version with the same components",
         {change(FaultKind::PmtChange, at(10'000), 0x102, 0x102)},
         false,
         {},
         [](const PassResult& run, const Stream& s, const ProgramChangeRecord&) {
             const ProgramEntry& p = run.ctx->programs[0];
             EXPECT_EQ(p.pmtHeader.versionNumber, 1);
             // Every record carries on across the change.
             EXPECT_EQ(p.audio[0].cc.packetCount, packetsOf(s.ts, 0x102));
             EXPECT_EQ(p.video.cc.packetCount, packetsOf(s.ts, 0x101));
             EXPECT_EQ(run.ctx->timing.pcrTracks.at(0).jitterSamples,
                       unchanged().timing.pcrTracks.at(0).jitterSamples);
             EXPECT_GT(p.timing.video.buffer.ebSize, 0);
         }},
        {"PMT repetition is checked on the new version",
         {change(FaultKind::PmtChange, at(5'000), 0x102, 0x102),
          [&] {
              tsgen::Fault gap = change(FaultKind::TableGap, at(8'000), 0x100, 0);
              gap.until = at(9'000);
              return gap;
          }()},
         false,
         {1050},
         [](const PassResult& run, const Stream&, const ProgramChangeRecord& rec) {
             ASSERT_EQ(run.of(1050).size(), 1u);
             EXPECT_GT(run.of(1050)[0].packet, rec.packet);
             EXPECT_NE(run.of(1050)[0].detail.find("出现间隔等于1.1"), std::string::npos);
         }},
        {"a new PAT, late in the file",
         {change(FaultKind::PatChange, at(10'000), std::nullopt, 0)},
         true,
         {},
         [](const PassResult& run, const Stream& s, const ProgramChangeRecord&) {
             const AnalysisContext& ctx = *run.ctx;
             ASSERT_EQ(ctx.programCount(), 2);
             EXPECT_EQ(ctx.pmtFoundCount, 2);
             EXPECT_EQ(ctx.pat.header.versionNumber, 1);
             // The programs of both PATs keep everything: their PCR tracks never restarted.
             EXPECT_EQ(ctx.timing.pcrTracks.at(1).jitterSamples,
                       unchanged().timing.pcrTracks.at(1).jitterSamples);
             EXPECT_EQ(ctx.programs[1].audio[0].cc.packetCount, packetsOf(s.ts, 0x202));
         }},
        {"a new PAT leaves program 2 out while its packets go on",
         {change(FaultKind::PatChange, at(10'000), std::nullopt, 2)},
         true,
         {},
         [](const PassResult& run, const Stream&, const ProgramChangeRecord& rec) {
             const AnalysisContext& ctx = *run.ctx;
             ASSERT_EQ(ctx.programCount(), 1);
             EXPECT_EQ(ctx.programs[0].programNumber, 1);
             EXPECT_EQ(ctx.timing.pcrTracks.size(), 1u);
             EXPECT_EQ(ctx.pmtFoundCount, 1);
             EXPECT_EQ(ctx.distinctPcrPidCount, 1);
             for (unsigned pid : {0x200u, 0x201u, 0x202u, 0x210u}) {
                 const auto events = run.unreferenced(pid);
                 EXPECT_FALSE(events.empty()) << pid;
                 for (const Logged& e : events)
                     EXPECT_GT(e.packet, rec.packet);
             }
         }},
        {"PAT repetition is checked on the new version",
         {change(FaultKind::PatChange, at(5'000), std::nullopt, 0),
          [&] {
              tsgen::Fault gap = change(FaultKind::TableGap, at(8'000), 0x000, 0);
              gap.until = at(9'000);
              return gap;
          }()},
         true,
         {1030},
         [](const PassResult& run, const Stream&, const ProgramChangeRecord& rec) {
             ASSERT_EQ(run.of(1030).size(), 1u);
             EXPECT_GT(run.of(1030)[0].packet, rec.packet);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tsgen::GenerateResult generated;
        Stream s;
        s.ts = tsgen::generateStream(cfg, c.faults, &generated);
        ASSERT_TRUE(generated.missed.empty());
        s.target = generated.applied.at(0).packet;
        const PassResult run = analyse(s.ts);
        const AnalysisContext& ctx = *run.ctx;

        // One change, in the packet that carries the new version (its section is whole there):
        // the packet at index `target` has the number target + 1.
        ASSERT_EQ(ctx.programChanges.count, 1);
        const ProgramChangeRecord& rec = ctx.programChanges.records[0];
        EXPECT_EQ(rec.pat, c.pat);
        EXPECT_EQ(rec.pid, c.pat ? 0x0000 : 0x0100);
        EXPECT_EQ(rec.programNumber, c.pat ? 0 : 1);
        EXPECT_EQ(rec.version, 1);
        EXPECT_EQ(rec.packet, s.target + 1);
        EXPECT_EQ(ctx.runState, RunState::Running);
        EXPECT_EQ(ctx.packetCounter, packetCount(s.ts));

        // The event list: the run event, then 1003 once; nothing the rebuild caused.
        ASSERT_FALSE(run.events.empty());
        EXPECT_EQ(run.events[0].code, kEventOfflineStart);
        EXPECT_EQ(run.of(kEventProgramChange).size(), 1u);
        for (const Logged& e : run.events) {
            const bool expected = e.code == kEventOfflineStart || e.code == kEventProgramChange ||
                                  e.code == 1160 ||
                                  std::count(c.allowed.begin(), c.allowed.end(), e.code) > 0;
            EXPECT_TRUE(expected) << e.code << " " << e.detail;
        }
        c.check(run, s, rec);
    }
}

// A program whose PMT first comes in the main pass, in the middle of a block: its components are
// its own from that packet on, every later packet of the block included. (No table in use
// changes there, so this is a first table, not a counted change.)
TEST(ProgramChange, APmtFirstFoundInTheMainPassClaimsItsPidsAtOnce) {
    const tsgen::StreamConfig& cfg = config();
    for (const uint64_t endMs : {9'000u, 10'500u}) {
        SCOPED_TRACE(endMs);
        tsgen::Fault gap = change(tsgen::FaultKind::TableGap, 0, 0x100, 0);
        gap.until = tsgen::slotAtMs(cfg, endMs);
        tsgen::GenerateResult generated;
        const Bytes ts = tsgen::generateStream(cfg, {gap}, &generated);
        ASSERT_TRUE(generated.missed.empty());
        const PassResult run = analyse(ts);
        const ProgramEntry& p = run.ctx->programs.at(0);
        ASSERT_TRUE(p.pmtReceived);
        EXPECT_EQ(run.ctx->programChanges.count, 0);
        // Counted from the first packet: before the PMT as an unreferenced PID, after it here.
        EXPECT_EQ(p.video.cc.packetCount, packetsOf(ts, 0x101));
        ASSERT_EQ(p.audioCount, 1);
        EXPECT_EQ(p.audio[0].cc.packetCount, packetsOf(ts, 0x102));
        EXPECT_EQ(run.ctx->unreferencedCount, 0);
    }
}

}  // namespace
}  // namespace orv
