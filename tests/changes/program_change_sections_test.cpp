// Program changes from hand-made PAT and PMT sequences, one packet per millisecond: sections
// announced for later, the restart path of a live source, and a program table that grows and
// shrinks under a capture request.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/program_discovery.h"
#include "tests/tables/si_test_stream.h"

namespace orv::tables_test {
namespace {

tsgen::Section pat(std::vector<tsgen::PatEntry> programs, uint8_t version, bool current = true) {
    tsgen::PatParams p;
    p.numbering.version = version;
    p.numbering.currentNext = current;
    p.programs = std::move(programs);
    return tsgen::buildPat(p);
}

tsgen::Section pmt(uint16_t program, uint8_t version, uint16_t audio, bool current = true) {
    tsgen::PmtParams p;
    p.programNumber = program;
    p.numbering.version = version;
    p.numbering.currentNext = current;
    const auto base = static_cast<uint16_t>(program << 8);
    p.pcrPid = static_cast<uint16_t>(base + 1);
    p.streams = {{0x02, static_cast<uint16_t>(base + 1), {}}, {0x03, audio, {}}};
    return tsgen::buildPmt(p);
}

// `section` on `pid` every 100 ms from `from` up to (not including) `until`.
void every100ms(std::vector<TimedSection>& out, uint16_t pid, uint64_t from, uint64_t until,
                const tsgen::Section& section) {
    for (uint64_t t = from; t < until; t += 100)
        out.push_back({pid, t, section});
}

std::vector<uint8_t> stream(std::vector<TimedSection> sections) {
    std::stable_sort(sections.begin(), sections.end(),
                     [](const TimedSection& a, const TimedSection& b) { return a.ms < b.ms; });
    return timedStream(sections);
}

struct Pass {
    std::unique_ptr<AnalysisContext> ctx = std::make_unique<AnalysisContext>();
    std::vector<int> codes;
};

// The initialisation phase over the first 500 packets (before any change), then the main pass
// over the whole stream as one block.
Pass mainPass(const std::vector<uint8_t>& ts, AnalysisMode mode,
              const std::function<void(AnalysisContext&)>& setup = {}) {
    constexpr std::size_t kInitBytes = 500 * 188;
    Pass pass;
    AnalysisContext& ctx = *pass.ctx;
    resetAll(ctx);
    enableAllMonitoring(ctx);
    ctx.analysisMode = mode;
    initBlock(ctx, ts.data(), std::min(ts.size(), kInitBytes));
    finishInit(ctx);
    if (setup) setup(ctx);
    ctx.streamBitrate.current = kOnePacketPerMs;
    beginRun(ctx, kEventOfflineStart);
    analyseBlock(ctx, ts.data(), ts.size());
    const int n = closeForDrain(ctx.log);
    for (int i = 0; i < n; ++i)
        pass.codes.push_back(ctx.log.records[i].code);
    return pass;
}

int count(const std::vector<int>& codes, int code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

TEST(ProgramChangeSections, NextVersionsWaitUntilTheyAreCurrent) {
    // The next PAT and PMT are announced (current_next_indicator 0) between the current ones
    // for a second; then they become current. Announced ones are neither taken as the first
    // tables nor applied as changes.
    const auto patNow = pat({{1, 0x100}}, 0), patNext = pat({{1, 0x100}}, 1, false);
    const auto pmtNow = pmt(1, 0, 0x102), pmtNext = pmt(1, 1, 0x103, false);
    std::vector<TimedSection> s;
    every100ms(s, 0x000, 0, 1000, patNow);
    for (uint64_t t = 50; t < 1000; t += 200)
        s.push_back({0x000, t, patNext});
    every100ms(s, 0x000, 1000, 1400, pat({{1, 0x100}}, 1));
    every100ms(s, 0x100, 1, 1000, pmtNow);
    for (uint64_t t = 51; t < 1000; t += 200)
        s.push_back({0x100, t, pmtNext});
    every100ms(s, 0x100, 1001, 1400, pmt(1, 1, 0x103));
    const Pass pass = mainPass(stream(s), AnalysisMode::Offline);
    const AnalysisContext& ctx = *pass.ctx;
    ASSERT_TRUE(ctx.programs.at(0).pmtReceived);
    ASSERT_EQ(ctx.programChanges.count, 2);
    EXPECT_TRUE(ctx.programChanges.records[0].pat);
    // Each new version is applied in the packet that carries it: 1000 ms and 1001 ms, packet
    // numbers 1001 and 1002.
    EXPECT_EQ(ctx.programChanges.records[0].packet, 1001u);
    EXPECT_FALSE(ctx.programChanges.records[1].pat);
    EXPECT_EQ(ctx.programChanges.records[1].packet, 1002u);
    EXPECT_EQ(ctx.programs.at(0).audio[0].pid, 0x103);
    EXPECT_EQ(pass.codes,
              (std::vector<int>{kEventOfflineStart, kEventProgramChange, kEventProgramChange}));
}

TEST(ProgramChangeSections, OnlineANewPatRestartsTheRunAndANewPmtIsApplied) {
    const auto twoPrograms = pat({{1, 0x100}, {2, 0x200}}, 0);
    struct Case {
        const char* name;
        std::vector<TimedSection> sections;
        RunState runState;
        uint64_t packets;  // examined by the main pass
        int changes;
    };
    std::vector<TimedSection> newPat, newPmt;
    every100ms(newPat, 0x000, 0, 500, twoPrograms);
    every100ms(newPat, 0x000, 500, 1000, pat({{1, 0x100}}, 1));
    every100ms(newPat, 0x100, 1, 1000, pmt(1, 0, 0x102));
    every100ms(newPmt, 0x000, 0, 1000, twoPrograms);
    every100ms(newPmt, 0x100, 1, 500, pmt(1, 0, 0x102));
    every100ms(newPmt, 0x100, 501, 1000, pmt(1, 1, 0x103));
    const Case cases[] = {
        // The PAT of 500 ms is judged in its own packet (number 501): the walk ends there, the
        // program table stays as it was, and the restarted run will log 1003.
        {"new PAT", newPat, RunState::ProgramChange, 501, 0},
        {"new PMT", newPmt, RunState::Running, 902, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Pass pass = mainPass(stream(c.sections), AnalysisMode::Online);
        const AnalysisContext& ctx = *pass.ctx;
        EXPECT_EQ(ctx.runState, c.runState);
        EXPECT_EQ(ctx.packetCounter, c.packets);
        EXPECT_EQ(ctx.programChanges.count, c.changes);
        EXPECT_EQ(count(pass.codes, kEventProgramChange), c.changes);
        EXPECT_EQ(ctx.programCount(), 2);
        EXPECT_EQ(ctx.pat.header.versionNumber, 0);
    }
}

TEST(ProgramChangeSections, TheProgramTableGrowsAndShrinksUnderItsReaders) {
    // PAT {1, 2} until 500 ms, then {2, 3, 4}; program 3's PMT starts once that PAT is applied.
    std::vector<TimedSection> s;
    every100ms(s, 0x000, 0, 500, pat({{1, 0x100}, {2, 0x200}}, 0));
    every100ms(s, 0x000, 500, 1200, pat({{2, 0x200}, {3, 0x300}, {4, 0x400}}, 1));
    every100ms(s, 0x100, 1, 1200, pmt(1, 0, 0x102));
    every100ms(s, 0x200, 2, 1200, pmt(2, 0, 0x202));
    every100ms(s, 0x300, 603, 1200, pmt(3, 0, 0x302));
    const std::vector<uint8_t> ts = stream(s);
    struct Case {
        int capturedBefore;  // index of the program a capture request names
        int capturedAfter;
    };
    for (const Case c : {Case{0, -1}, Case{1, 0}, Case{-1, -1}}) {
        SCOPED_TRACE(c.capturedBefore);
        const Pass pass = mainPass(ts, AnalysisMode::Offline, [&](AnalysisContext& ctx) {
            ctx.capture.programIndex = c.capturedBefore;
        });
        const AnalysisContext& ctx = *pass.ctx;
        EXPECT_EQ(ctx.capture.programIndex, c.capturedAfter);
        ASSERT_EQ(ctx.programCount(), 3);
        ASSERT_EQ(ctx.timing.pcrTracks.size(), 3u);
        // Program 2 kept its PMT; program 3's was found in the main pass; program 4 has none.
        EXPECT_EQ(ctx.programs[0].programNumber, 2);
        EXPECT_TRUE(ctx.programs[0].pmtReceived);
        EXPECT_EQ(ctx.programs[0].pmtCc.packetCount, 12u);
        EXPECT_EQ(ctx.programs[1].programNumber, 3);
        EXPECT_TRUE(ctx.programs[1].pmtReceived);
        EXPECT_EQ(ctx.timing.pcrTracks[1].pcrPid, 0x301);
        EXPECT_FALSE(ctx.programs[2].pmtReceived);
        EXPECT_EQ(ctx.pmtFoundCount, 2);
        EXPECT_EQ(ctx.distinctPcrPidCount, 2);
        EXPECT_EQ(ctx.programChanges.count, 1);
        // Program 1's PMT PID goes on unreferenced from the change on: its packets of 501, 601,
        // ... 1101 ms.
        EXPECT_EQ(count(pass.codes, 1160), 7);
        EXPECT_EQ(count(pass.codes, kEventProgramChange), 1);
    }
}

}  // namespace
}  // namespace orv::tables_test
