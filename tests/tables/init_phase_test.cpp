// The initialisation phase and the PAT/CAT/PMT analyses in both their forms.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/program_discovery.h"
#include "engine/psi_handlers.h"
#include "tests/tables/si_test_stream.h"
#include "tools/tsgen/descriptors.h"

namespace orv::tables_test {
namespace {

tsgen::Section pat(std::vector<tsgen::PatEntry> programs, uint8_t version = 0) {
    tsgen::PatParams p;
    p.numbering.version = version;
    p.programs = std::move(programs);
    return tsgen::buildPat(p);
}

tsgen::Section pmt(uint16_t program, uint8_t version = 0, uint16_t video = 0x101,
                   uint16_t audio = 0x102) {
    tsgen::PmtParams p;
    p.programNumber = program;
    p.numbering.version = version;
    p.pcrPid = video;
    p.programInfo = {tsgen::caDescriptor(0x4AE0, 0x0500 + program)};
    p.streams = {
        {0x02, video, {}}, {0x04, audio, {}}, {0x06, static_cast<uint16_t>(audio + 1), {}}};
    return tsgen::buildPmt(p);
}

tsgen::Section cat() {
    tsgen::CatParams p;
    p.descriptors = {tsgen::caDescriptor(0x4AE0, 0x0600), tsgen::caDescriptor(0x0B00, 0x0601)};
    return tsgen::buildCat(p);
}

// Packets of one section per call, or several sections packed behind one pointer_field.
struct PacketList {
    std::vector<uint8_t> bytes;
    std::map<uint16_t, unsigned> cc;
    PacketList& add(uint16_t pid, const std::vector<tsgen::Section>& sections, bool pack = false) {
        const auto p = tsgen::packetizeSections(pid, sections, cc[pid], pack);
        bytes.insert(bytes.end(), p.begin(), p.end());
        return *this;
    }
    PacketList& nulls(int n) {
        for (int i = 0; i < n; ++i) {
            bytes.resize(bytes.size() + 188);
            putNullPacket(bytes.data() + bytes.size() - 188);
        }
        return *this;
    }
};

std::unique_ptr<AnalysisContext> afterInit(const std::vector<uint8_t>& ts,
                                           InitHooks* hooks = nullptr,
                                           AnalysisMode mode = AnalysisMode::Offline) {
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    ctx->analysisMode = mode;
    ctx->initHooks = hooks;
    initBlock(*ctx, ts.data(), ts.size());
    return ctx;
}

TEST(InitPhase, ProgramTables) {
    struct Case {
        const char* name;
        std::vector<uint8_t> ts;
        int programs;
        int pmtsFound;
        RunState runState;
    };
    const auto twoPrograms = pat({{1, 0x100}, {2, 0x100}});
    std::vector<tsgen::PatEntry> many;
    for (uint16_t n = 1; n <= 60; ++n)
        many.push_back({n, static_cast<uint16_t>(0x100 + n)});
    const Case cases[] = {
        // Both PMTs are packed behind one pointer_field: program 2's section is found behind
        // program 1's in the same packet.
        {"two PMTs sharing packets on one PID",
         PacketList{}
             .add(0, {twoPrograms})
             .add(0, {twoPrograms})
             .add(0x100, {pmt(1), pmt(2, 0, 0x201, 0x202)}, true)
             .add(0x100, {pmt(1), pmt(2, 0, 0x201, 0x202)}, true)
             .bytes,
         2, 2, RunState::Running},
        {"a PAT listing only program 0",
         PacketList{}.add(0, {pat({{0, 0x10}})}).add(0, {pat({{0, 0x10}})}).bytes, 0, 0,
         RunState::Running},
        {"a damaged first PAT is dropped",
         [&] {
             auto bad = twoPrograms;
             bad[9] ^= 0x40;
             return PacketList{}
                 .add(0, {bad})
                 .add(0, {twoPrograms})
                 .add(0, {twoPrograms})
                 .add(0, {twoPrograms})
                 .bytes;
         }(),
         2, 0, RunState::Running},
        // The third PAT has another CRC_32. The phase keeps the first PAT and walks on to the
        // PMTs: the main pass, which starts again from the first packet, meets the change where
        // it is.
        {"a new PAT version during the phase",
         PacketList{}
             .add(0, {twoPrograms})
             .add(0, {twoPrograms})
             .add(0, {pat({{1, 0x100}, {2, 0x100}}, 1)})
             .add(0, {pat({{1, 0x100}, {2, 0x100}}, 1)})
             .add(0x100, {pmt(1)})
             .add(0x100, {pmt(1)})
             .bytes,
         2, 1, RunState::Running},
        {"more programs than the table holds",
         PacketList{}.add(0, {pat(many)}).add(0, {pat(many)}).bytes, kMaxPrograms, 0,
         RunState::Running},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto ctx = afterInit(c.ts);
        EXPECT_TRUE(ctx->pat.patFound);
        EXPECT_EQ(ctx->programCount(), c.programs);
        EXPECT_EQ(ctx->pmtFoundCount, c.pmtsFound);
        EXPECT_EQ(ctx->runState, c.runState);
    }

    auto ctx = afterInit(cases[0].ts);
    ASSERT_EQ(ctx->programCount(), 2);
    const ProgramEntry& p2 = ctx->programs[1];
    EXPECT_TRUE(p2.pmtReceived);
    EXPECT_EQ(p2.programNumber, 2);
    EXPECT_EQ(p2.video.pid, 0x201);
    EXPECT_EQ(p2.audio[0].pid, 0x202);
    EXPECT_EQ(p2.other[1].pids[0].pid, 0x203);  // stream_type 6
    EXPECT_EQ(p2.ca[0].caPid.pid, 0x502);
    EXPECT_TRUE(ctx->tablesChangedSummary);
    EXPECT_TRUE(ctx->tablesChangedTree);
    finishInit(*ctx);
    EXPECT_TRUE(ctx->initDone);
    EXPECT_EQ(ctx->distinctPcrPidCount, 2);
    EXPECT_TRUE(ctx->programs[0].firstPmt.idle());
    EXPECT_EQ(ctx->initPids.count, 2);  // PIDs 0x0000 and 0x0100
}

// A PMT of 2 + n components, each data component with an ISO 639 descriptor: 12 + 10 + 11 n + 4
// bytes, so 90 of them make 1016 bytes (six packets).
tsgen::Section largePmt(uint16_t program, unsigned dataStreams, uint16_t firstPid = 0x101) {
    tsgen::PmtParams p;
    p.programNumber = program;
    p.pcrPid = firstPid;
    p.streams = {{0x02, firstPid, {}}, {0x04, static_cast<uint16_t>(firstPid + 1), {}}};
    for (unsigned k = 0; k < dataStreams; ++k)
        p.streams.push_back({0x06,
                             static_cast<uint16_t>(firstPid + 0x40 + k),
                             {tsgen::iso639LanguageDescriptor("eng")}});
    return tsgen::buildPmt(p);
}

// PMTs that span packets, sent in packets of their own or packed: the next section starts in
// the packet that ends the previous one, behind a pointer_field > 0.
TEST(InitPhase, LargePmtsAreFoundPackedOrNot) {
    const auto big = largePmt(1, 90);
    ASSERT_EQ(big.size(), 1016u);
    const auto one = pat({{1, 0x100}});
    const auto two = pat({{1, 0x100}, {2, 0x100}});
    const auto second = largePmt(2, 40, 0x201);  // 466 bytes
    struct Case {
        const char* name;
        std::vector<uint8_t> ts;
        int pmtsFound;
    };
    const Case cases[] = {
        {"in packets of their own",
         PacketList{}.add(0, {one}).add(0, {one}).add(0x100, {big}).add(0x100, {big}).bytes, 1},
        {"packed", PacketList{}.add(0, {one}).add(0, {one}).add(0x100, {big, big, big}, true).bytes,
         1},
        // Two programs on one PMT PID, each section ending where the other's starts.
        {"two programs packed on one PID",
         PacketList{}
             .add(0, {two})
             .add(0, {two})
             .add(0x100, {big, second, big, second, big}, true)
             .bytes,
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto ctx = afterInit(c.ts);
        ASSERT_EQ(ctx->pmtFoundCount, c.pmtsFound);
        const ProgramEntry& p1 = ctx->programs[0];
        EXPECT_EQ(p1.pmtHeader.sectionLength, 1013);
        EXPECT_EQ(p1.video.pid, 0x101);
        EXPECT_EQ(p1.audio[0].pid, 0x102);
        EXPECT_EQ(p1.other[0x06 - 5].pids[5].pid, 0x146);  // the list holds six
        if (c.pmtsFound == 2) {
            EXPECT_EQ(ctx->programs[1].video.pid, 0x201);
            EXPECT_EQ(ctx->programs[1].pmtHeader.sectionLength, 463);
        }
    }
}

TEST(InitPhase, CatIsReadOnceAndCheckedAfter) {
    const auto ts = PacketList{}
                        .add(0, {pat({{1, 0x100}})})
                        .add(1, {cat()})
                        .add(0x100, {pmt(1)})
                        .add(0, {pat({{1, 0x100}})})
                        .add(1, {cat()})
                        .add(0x100, {pmt(1)})
                        .bytes;
    auto ctx = afterInit(ts);
    ASSERT_TRUE(ctx->cat.catPresent);
    ASSERT_EQ(ctx->cat.emmCount, 2);
    EXPECT_EQ(ctx->cat.emm[1].caSystemId, 0x0B00);
    EXPECT_EQ(ctx->cat.emm[1].caPid.pid, 0x0601);
    // After the phase a damaged CAT is a CRC error.
    auto bad = cat();
    bad.back() ^= 1;
    const auto later = PacketList{}.add(1, {cat()}).add(1, {bad}).add(1, {cat()}).bytes;
    const MainPassRun run =
        runMainPass(later, [&](AnalysisContext& c) { initBlock(c, ts.data(), ts.size()); });
    EXPECT_EQ(run.count(1080), 1);
    EXPECT_EQ(run.ctx->cat.emmCount, 2);
}

// PAT, CAT and PMT repetition in the main pass, one packet per millisecond.
TEST(InitPhase, PatAndPmtIntervals) {
    auto timed = [](std::vector<std::pair<uint64_t, tsgen::Section>> pats,
                    std::vector<std::pair<uint64_t, tsgen::Section>> pmts) {
        std::vector<TimedSection> all;
        for (auto& [t, s] : pats)
            all.push_back({0, t, s});
        for (auto& [t, s] : pmts)
            all.push_back({0x100, t, s});
        std::sort(all.begin(), all.end(),
                  [](const TimedSection& a, const TimedSection& b) { return a.ms < b.ms; });
        return timedStream(all);
    };
    const auto p = pat({{1, 0x100}});
    auto series = [](const tsgen::Section& s, std::initializer_list<uint64_t> times) {
        std::vector<std::pair<uint64_t, tsgen::Section>> out;
        for (uint64_t t : times)
            out.push_back({t, s});
        return out;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> ts;
        int pat1030, pmt1050;
        const char* firstDetail;
    };
    // Each section lies in one packet, so it completes in the packet where it starts: the
    // section placed at t ms is packet number t + 1, and every interval between two of them is
    // measured, the first one included.
    const Case cases[] = {
        {"PAT every 600 ms",
         timed(series(p, {0, 600, 1200, 1800}), series(pmt(1), {1, 401, 801, 1201, 1601})), 3, 0,
         "PAT(table_id=0x00)出现间隔等于0.6000s(>0.5s) 第601包"},
        {"PMT every 700 ms",
         timed(series(p, {0, 400, 800, 1200, 1600, 2000}), series(pmt(1), {1, 701, 1401, 2101})), 0,
         3, "PMT(节目0001,PMT_PID:0x0100)出现间隔等于0.7000s(>0.5s) 第702包"},
        // The first PMT has version 0; the later sections of version 1 are a program change:
        // applied in the packet of the one of 700 ms, and timed from then on like any other
        // PMT: 0.29 s after the PMT of 410 ms, then 1 s apart (1700, 2700, 3700 ms).
        {"a later PMT with a new version",
         timed(series(p, {0, 400, 800, 1200, 1600, 2000, 2400, 2800, 3200, 3600, 4000}),
               [&] {
                   auto v = series(pmt(1), {401, 410});
                   for (uint64_t t : {700, 1700, 2700, 3700})
                       v.push_back({t, pmt(1, 1)});
                   return v;
               }()),
         0, 3, "PMT(节目0001,PMT_PID:0x0100)出现间隔等于1.0000s(>0.5s) 第1701包"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MainPassRun run = runMainPass(c.ts, {}, true);
        ASSERT_EQ(run.ctx->pmtFoundCount, 1);
        EXPECT_EQ(run.count(1030), c.pat1030);
        EXPECT_EQ(run.count(1050), c.pmt1050);
        EXPECT_EQ(run.codes.size(), static_cast<std::size_t>(c.pat1030 + c.pmt1050));
        if (!run.codes.empty()) {
            EXPECT_EQ(run.details.front(), c.firstDetail);
        }
    }
    const MainPassRun v1 = runMainPass(cases[2].ts, {}, true);
    EXPECT_EQ(v1.ctx->programs[0].pmtHeader.versionNumber, 1);
    ASSERT_EQ(v1.ctx->programChanges.count, 1);
    EXPECT_EQ(v1.ctx->programChanges.records[0].packet, 701u);
    // From section start to section start: 401 ms to 410 ms is the shortest, 1 s the longest.
    EXPECT_DOUBLE_EQ(v1.ctx->programs[0].pmtInterval.max, 1.0);
    EXPECT_DOUBLE_EQ(v1.ctx->programs[0].pmtInterval.min, 0.009);
    const MainPassRun pats = runMainPass(cases[0].ts, {}, true);
    EXPECT_DOUBLE_EQ(pats.ctx->pat.interval.max, 0.6);
    EXPECT_DOUBLE_EQ(pats.ctx->pat.interval.min, 0.6);
}

TEST(InitPhase, LaterPatWithNewCrcIsAProgramChange) {
    const auto v0 = pat({{1, 0x100}});
    const auto v1 = pat({{1, 0x100}}, 1);
    const auto init =
        PacketList{}.add(0, {v0}).add(0x100, {pmt(1)}).add(0, {v0}).add(0x100, {pmt(1)}).bytes;
    const auto main =
        PacketList{}.add(0, {v0}).nulls(1).add(0, {v1}).nulls(1).add(0, {v1}).nulls(5).bytes;
    struct Case {
        AnalysisMode mode;
        RunState runState;
        uint64_t packets;  // walked
        int changes;       // applied in place
        uint8_t version;   // of the PAT in use after the block
    };
    // The new PAT is whole in its own packet, the third. Offline it is applied there and the walk
    // goes on; online the live source restarts the run, and the packets after it are not walked.
    for (const Case c : {Case{AnalysisMode::Offline, RunState::Running, 10, 1, 1},
                         Case{AnalysisMode::Online, RunState::ProgramChange, 3, 0, 0}}) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        auto ctx = afterInit(init, nullptr, c.mode);
        finishInit(*ctx);
        ctx->streamBitrate.current = kOnePacketPerMs;
        beginRun(*ctx, kEventOfflineStart);
        EXPECT_EQ(analyseBlock(*ctx, main.data(), main.size()), 0u);
        EXPECT_EQ(ctx->runState, c.runState);
        EXPECT_EQ(ctx->packetCounter, c.packets);
        EXPECT_EQ(ctx->programChanges.count, c.changes);
        EXPECT_EQ(ctx->pat.header.versionNumber, c.version);
        EXPECT_EQ(ctx->log.records[1].code, c.changes > 0 ? kEventProgramChange : 0);
    }
}

// A section whose middle packet a multiplexer left out: the counters go on without a gap.
std::vector<uint8_t> cutShort(uint16_t pid, const tsgen::Section& section, unsigned& cc) {
    const unsigned first = cc;
    std::vector<uint8_t> packets = tsgen::packetizeSections(pid, {section}, cc);
    EXPECT_GE(packets.size(), 3u * 188);
    packets.erase(packets.begin() + 188, packets.begin() + 2 * 188);
    for (std::size_t i = 0; i * 188 < packets.size(); ++i)
        packets[i * 188 + 3] = static_cast<uint8_t>(0x10 | ((first + i) & 0x0F));
    cc = (first + static_cast<unsigned>(packets.size() / 188)) & 0x0F;
    return packets;
}

// A PAT, CAT or PMT that the next section start finds unfinished cannot be checked: no CRC event,
// one section cut short for its table (by the main pass; the initialisation phase sees the same
// packets first). One longer than the buffer (section_length 1023) is no PSI section: a CRC error.
TEST(InitPhase, SectionsCutShortAreCountedNotCrcErrors) {
    std::vector<tsgen::PatEntry> many;
    for (uint16_t n = 1; n <= 100; ++n)  // 8 + 400 + 4 bytes: three packets
        many.push_back({n, static_cast<uint16_t>(n == 1 ? 0x100 : 0x1000 + n)});
    const auto bigPat = pat(many);
    tsgen::CatParams cp;
    for (uint16_t k = 0; k < 70; ++k)  // 12 + 70 x 6 bytes: three packets
        cp.descriptors.push_back(tsgen::caDescriptor(0x0B00, static_cast<uint16_t>(0x600 + k)));
    const auto bigCat = tsgen::buildCat(cp);
    const auto bigPmt = largePmt(1, 40);  // 466 bytes
    tsgen::Section overlong(1026, 0x5A);
    overlong[0] = 0x00;
    overlong[1] = 0xB3;  // section_length 1023
    overlong[2] = 0xFF;
    struct Case {
        const char* name;
        uint16_t pid;
        tsgen::Section section;
        bool cut;  // else sent whole (the overlong one)
        CrcTable table;
        int crcEvent;  // 0: none
    };
    const Case cases[] = {
        {"PAT", 0x000, bigPat, true, CrcTable::Pat, 0},
        {"CAT", 0x001, bigCat, true, CrcTable::Cat, 0},
        {"PMT", 0x100, bigPmt, true, CrcTable::Pmt, 0},
        {"PAT longer than the buffer", 0x000, overlong, false, CrcTable::Pat, 1081},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PacketList ts;
        for (int round = 0; round < 2; ++round)
            ts.add(0, {bigPat}).add(1, {bigCat}).add(0x100, {bigPmt});
        if (c.cut) {
            const auto packets = cutShort(c.pid, c.section, ts.cc[c.pid]);
            ts.bytes.insert(ts.bytes.end(), packets.begin(), packets.end());
        } else {
            ts.add(c.pid, {c.section});
        }
        ts.add(0, {bigPat}).add(1, {bigCat}).add(0x100, {bigPmt});
        // So much PSI in so few packets overflows the system buffers: not looked at here.
        const MainPassRun run = runMainPass(
            ts.bytes,
            [](AnalysisContext& ctx) { ctx.monitorEnabled[kindIndex(Tr290ErrorKind::Buffer)] = 0; },
            true);
        ASSERT_EQ(run.ctx->pmtFoundCount, 1);
        ASSERT_TRUE(run.ctx->cat.catPresent);
        for (int t = 0; t < kCrcTableCount; ++t) {
            const bool counted = c.cut && t == static_cast<int>(c.table);
            EXPECT_EQ(run.ctx->sectionsCutShort[static_cast<std::size_t>(t)], counted ? 1u : 0u)
                << t;
        }
        EXPECT_EQ(run.ctx->programs[0].pmtCutShort, c.cut && c.table == CrcTable::Pmt ? 1u : 0u);
        EXPECT_EQ(run.codes, c.crcEvent == 0 ? std::vector<int>{} : std::vector<int>{c.crcEvent});
        // The repetitions on either side are still timed.
        EXPECT_GT(run.ctx->pat.interval.max, 0.0);
        EXPECT_GT(run.ctx->cat.interval.max, 0.0);
        EXPECT_GT(run.ctx->programs[0].pmtInterval.max, 0.0);
    }
}

struct RecordingHooks : InitHooks {
    std::vector<std::pair<InitTimer, int>> timers;
    std::vector<std::pair<int, std::string>> lines;
    std::vector<std::string> pids;
    void armTimer(InitTimer t, int ms) override { timers.push_back({t, ms}); }
    void setDialogLine(int id, std::string_view text) override {
        lines.push_back({id, std::string(text)});
    }
    void addDialogPid(std::string_view text) override { pids.emplace_back(text); }
    double readCardBitrate() override { return 38.5; }
};

TEST(InitPhase, OnlineHooks) {
    const auto twoPrograms = pat({{1, 0x100}, {2, 0x200}});
    const auto ts = PacketList{}
                        .add(0, {twoPrograms})
                        .add(0x100, {pmt(1)})
                        .add(0x200, {pmt(2, 0, 0x201, 0x202)})
                        .nulls(1)
                        .add(0, {twoPrograms})
                        .add(0x100, {pmt(1)})
                        .add(0x200, {pmt(2, 0, 0x201, 0x202)})
                        .add(0x100, {pmt(1)})
                        .add(0x200, {pmt(2, 0, 0x201, 0x202)})
                        .bytes;
    RecordingHooks hooks;
    auto ctx = afterInit(ts, &hooks, AnalysisMode::Online);
    EXPECT_EQ(hooks.pids, (std::vector<std::string>{"0x0000", "0x0100", "0x0200", "0x1fff"}));
    // The first valid PMT of the run arms the end of the phase, once.
    EXPECT_EQ(hooks.timers, (std::vector<std::pair<InitTimer, int>>{{InitTimer::EndOfInit, 1500}}));
    const std::vector<std::pair<int, std::string>> phaseLines = {
        {1003, "PAT分析................. OK!"},
        {1004, "查找PMT......."},
        {1004, "查找PMT..........."},
        {1004, "查找PMT..........."},
    };
    EXPECT_EQ(hooks.lines, phaseLines);
    finishInit(*ctx);
    EXPECT_TRUE(ctx->initDone);
    EXPECT_EQ(hooks.timers.back(), std::make_pair(InitTimer::RunStart, 5000));
    EXPECT_EQ(hooks.lines.back(),
              std::make_pair(1005, std::string("正在初始化.............请稍侯!")));
    EXPECT_EQ(hooks.lines[4], std::make_pair(1004, std::string("PMT分析................. OK!")));
    EXPECT_DOUBLE_EQ(ctx->streamBitrate.current, 38.5);
    EXPECT_DOUBLE_EQ(ctx->streamBitrate.mean, 38.5);

    // The card could not be initialised: only the bitrate timer, which stops the analysis.
    RecordingHooks failed;
    auto broken = afterInit({}, &failed, AnalysisMode::Online);
    broken->runState = RunState::InterfaceFailure;
    finishInit(*broken);
    EXPECT_FALSE(broken->initDone);
    EXPECT_EQ(failed.timers,
              (std::vector<std::pair<InitTimer, int>>{{InitTimer::BitrateTick, 100}}));
    EXPECT_TRUE(failed.lines.empty());

    // Offline there are no timers.
    RecordingHooks offline;
    auto off = afterInit(ts, &offline, AnalysisMode::Offline);
    finishInit(*off);
    EXPECT_TRUE(offline.timers.empty());
    EXPECT_EQ(off->pmtFoundCount, 2);
}

}  // namespace
}  // namespace orv::tables_test
