// Repetition, table_id and CRC checks of the SI tables, through the block driver over streams
// whose sections start at exact times.
#include <gtest/gtest.h>

#include <map>

#include "tests/tables/si_test_stream.h"
#include "tools/tsgen/descriptors.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"
#include "tools/tsgen/stuffing_sections.h"

namespace orv::tables_test {
namespace {

tsgen::Section nit(bool actual, uint16_t networkId = 1) {
    tsgen::NitParams p;
    p.actual = actual;
    p.networkId = networkId;
    p.networkDescriptors = {tsgen::networkNameDescriptor("net")};
    p.transportStreams = {{7, 9, {}}};
    return tsgen::buildNit(p);
}

tsgen::Section sdt(bool actual, uint8_t sectionNumber = 0) {
    tsgen::SdtParams p;
    p.actual = actual;
    p.numbering.sectionNumber = sectionNumber;
    p.numbering.lastSectionNumber = 1;
    p.services = {{0x101, false, false, 4, false, {tsgen::serviceDescriptor(1, "p", "s")}}};
    return tsgen::buildSdt(p);
}

tsgen::Section bat() {
    tsgen::BatParams p;
    p.bouquetId = 3;
    return tsgen::buildBat(p);
}

tsgen::Section eit(uint8_t tableId, uint8_t sectionNumber) {
    tsgen::EitParams p;
    p.tableId = tableId;
    p.numbering.sectionNumber = sectionNumber;
    p.numbering.lastSectionNumber = 1;
    p.lastTableId = tableId;
    p.events = {{1, 1700000000, 600, 4, false, {}}};
    return tsgen::buildEit(p);
}

tsgen::Section tot() {
    return tsgen::buildTot({1700000000, {}});
}

// A stuffing section (table_id 0x72) of 20 bytes.
tsgen::Section stuffing() {
    return tsgen::buildStuffing(20);
}

tsgen::Section broken(tsgen::Section s) {
    s.back() ^= 0x01;
    return s;
}

// Sections of one table at the given times.
std::vector<TimedSection> every(uint16_t pid, const tsgen::Section& s,
                                std::initializer_list<uint64_t> times) {
    std::vector<TimedSection> out;
    for (uint64_t t : times)
        out.push_back({pid, t, s});
    return out;
}

struct RepetitionCase {
    const char* name;
    std::vector<TimedSection> sections;
    std::map<int, int> expected;  // code -> count; every other error code must stay absent
    const char* detail;           // the text of the first event, when one is expected
    std::function<void(AnalysisContext&)> setup = nullptr;
};

std::vector<TimedSection> concat(std::vector<TimedSection> a, const std::vector<TimedSection>& b) {
    a.insert(a.end(), b.begin(), b.end());
    std::sort(a.begin(), a.end(),
              [](const TimedSection& x, const TimedSection& y) { return x.ms < y.ms; });
    return a;
}

TEST(SiRepetition, IntervalAndCrcEvents) {
    const auto tdt = tsgen::buildTdt(1700000000);
    const auto rst = tsgen::buildRst({{}});
    const std::vector<RepetitionCase> cases = {
        // Intervals run from section start to section start, the first one from the start of
        // the first section stored.
        {"NIT actual every 12 s",
         every(0x10, nit(true), {0, 12000, 24000, 36000}),
         {{1121, 3}},
         "NIT(table_id=0x40)出现间隔等于12.0000s(>10s) 第12001包"},
        {"NIT actual every 10 s is fine", every(0x10, nit(true), {0, 10000, 20000, 30000}), {}, ""},
        {"NIT actual 10 ms apart",
         every(0x10, nit(true), {0, 10, 20}),
         {{1122, 2}},
         "NIT表(table_id=0x40)出现间隔等于10.0000ms(<25ms) 第11包"},
        {"NIT other at 11 s",
         every(0x10, nit(false), {0, 11000, 22000}),
         {{1123, 2}},
         "NIT(table_id=0x41)出现间隔等于11.0000s(>10s) 第11001包"},
        {"NIT other 10 ms apart has no lower limit", every(0x10, nit(false), {0, 10, 20}), {}, ""},
        {"TDT every 30.005 s", every(0x14, tdt, {0, 30005, 60010, 90015}), {}, ""},
        {"TDT every 30.02 s",
         every(0x14, tdt, {0, 30020, 60040, 90060}),
         {{1201, 3}},
         "TDT(table_id=70)出现间隔等于30.0200s(>30s) 第30021包"},
        {"TDT 10 ms apart",
         every(0x14, tdt, {0, 10, 20}),
         {{1202, 2}},
         "TDT(table_id=70)出现间隔等于10.0000ms(<25ms) 第11包"},
        {"RST 10 ms apart",
         every(0x13, rst, {0, 10, 20}),
         {{1191, 2}},
         "RST表(table_id=0x71)出现间隔等于10.0000ms(<25ms) 第11包"},
        {"EIT p/f 3 s apart after section 0",
         every(0x12, eit(0x4E, 0), {0, 3000, 6000}),
         {{1181, 2}},
         "EIT(table_id=0x4E,EIT-P)出现间隔等于3.0000s(>2s) 第3001包"},
        {"EIT p/f 3 s apart after section 1",
         concat(every(0x12, eit(0x4E, 0), {0, 4000}), every(0x12, eit(0x4E, 1), {1000})),
         {{1182, 1}},
         "EIT(table_id=0x4E,EIT-F)出现间隔等于3.0000s(>2s) 第4001包"},
        {"EIT p/f other 11 s apart", every(0x12, eit(0x4F, 0), {0, 11000, 22000}), {{1184, 2}}, ""},
        {"EIT p/f 10 ms apart", every(0x12, eit(0x4E, 0), {0, 10, 20}), {{1183, 2}}, ""},
        {"EIT schedule has no limits",
         every(0x12, eit(0x50, 0), {0, 10, 20, 30000, 60000}),
         {},
         ""},
        {"SDT actual every 3 s", every(0x11, sdt(true), {0, 3000, 6000}), {{1171, 2}}, ""},
        {"SDT actual 10 ms apart", every(0x11, sdt(true), {0, 10, 20}), {{1172, 2}}, ""},
        {"SDT other every 11 s", every(0x11, sdt(false), {0, 11000, 22000}), {{1173, 2}}, ""},
        {"BAT has no limits", every(0x11, bat(), {0, 10, 20, 30000}), {}, ""},
        {"Interval switch off",
         every(0x10, nit(true), {0, 12000, 24000}),
         {},
         "",
         [](AnalysisContext& c) {
             c.monitorEnabled[kindIndex(Tr290ErrorKind::NitActualInterval)] = 0;
         }},
        // The TDT limits have no switch; the table_id screen of PID 0x0014 has one.
        {"TDT errors off: no table_id event, interval events still",
         concat(every(0x14, tdt, {0, 31000, 62000}), every(0x14, eit(0x50, 0), {100})),
         {{1201, 2}},
         "",
         [](AnalysisContext& c) { c.monitorEnabled[kindIndex(Tr290ErrorKind::Tdt)] = 0; }},
        {"TDT errors on: table_id event",
         concat(every(0x14, tdt, {0, 31000, 62000}), every(0x14, eit(0x50, 0), {100})),
         {{1200, 1}, {1201, 2}},
         "PID=0x0014的TS包含有的table_id不等于(0x70,0x72,0x73) 第101包"},
        {"wrong table_ids on each SI PID",
         concat(
             concat(every(0x10, sdt(true), {0}), every(0x11, nit(true), {1})),
             concat(concat(every(0x12, tdt, {2}), every(0x13, tdt, {3})), every(0x14, rst, {4}))),
         {{1120, 1}, {1170, 1}, {1180, 1}, {1190, 1}, {1200, 1}},
         ""},
        // A section is handled in the packet that brings its last byte: the bad TOT at 2 s.
        {"TOT with a bad CRC before any good TOT",
         concat(every(0x14, broken(tot()), {0, 2000}), every(0x14, tot(), {1000, 3000})),
         {{1087, 1}},
         "TOT发生CRC错误 第2001包"},
        {"NIT with a bad CRC",
         concat(every(0x10, broken(nit(true)), {0}), every(0x10, nit(true), {100})),
         {{1083, 1}},
         ""},
        {"EIT with a bad CRC",
         concat(every(0x12, broken(eit(0x4E, 0)), {0}), every(0x12, eit(0x4E, 0), {100})),
         {{1084, 1}},
         ""},
        // SDT and BAT CRC events only once that table is held.
        {"SDT with a bad CRC first, then after a good one",
         concat(every(0x11, broken(sdt(true)), {0, 200}), every(0x11, sdt(true), {100, 300})),
         {{1086, 1}},
         "SDT发生CRC错误 第201包"},
        {"BAT with a bad CRC first, then after a good one",
         concat(every(0x11, broken(bat()), {0, 200}), every(0x11, bat(), {100, 300})),
         {{1085, 1}},
         ""},
        // A stuffing section completes the one under way and is itself no table.
        {"stuffing sections",
         concat(every(0x10, nit(true), {0}), every(0x10, stuffing(), {10, 20})),
         {},
         ""},
        // A section a handler drops does not hide the start after it: a NIT every 2 s is 2 s
        // whether stuffing follows it or not (here all but the one at 12 s have some).
        {"NIT every 2 s with stuffing behind it",
         concat(every(0x10, nit(true), {0, 2000, 4000, 6000, 8000, 10000, 12000, 14000}),
                every(0x10, stuffing(), {100, 2100, 4100, 6100, 8100, 10100, 14100})),
         {},
         ""},
        {"NIT every 12 s with stuffing behind it",
         concat(every(0x10, nit(true), {0, 12000}), every(0x10, stuffing(), {100, 12100})),
         {{1121, 1}},
         "NIT(table_id=0x40)出现间隔等于12.0000s(>10s) 第12001包"},
        {"a bad NIT between good ones is still a start",
         concat(every(0x10, nit(true), {0, 12000, 18000}), every(0x10, broken(nit(true)), {6000})),
         {{1083, 1}},
         ""},
        // Stuffing is legal on every SI PID that carries tables of several kinds.
        {"stuffing on the SDT/BAT PID",
         concat(every(0x11, sdt(true), {0, 1000, 2000}), every(0x11, stuffing(), {500, 1500})),
         {},
         ""},
    };
    for (const RepetitionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const MainPassRun run = runMainPass(timedStream(c.sections), c.setup);
        std::map<int, int> got;
        for (int code : run.codes)
            ++got[code];
        EXPECT_EQ(got, c.expected);
        if (*c.detail != '\0' && !run.details.empty()) {
            EXPECT_EQ(run.details.front(), c.detail);
        }
    }
}

TEST(SiRepetition, StatisticsAndCounters) {
    const auto rst = tsgen::buildRst({{}});
    const MainPassRun run = runMainPass(timedStream(every(0x13, rst, {0, 10, 50, 1050})));
    const RstRecord& r = run.ctx->siStore.rst;
    ASSERT_TRUE(r.present);
    EXPECT_DOUBLE_EQ(r.repetition.current, 1.0);
    EXPECT_DOUBLE_EQ(r.repetition.longest, 1.0);
    EXPECT_DOUBLE_EQ(r.repetition.shortest, 0.01);
    EXPECT_EQ(run.count(1191), 1);  // 10 ms; 40 ms and 1 s are fine
    EXPECT_EQ(run.ctx->log.kindCount.at(Tr290ErrorKind::Rst, sub::kRstTooShort), 1);

    const MainPassRun shortRun = runMainPass(timedStream(every(0x13, rst, {0, 10, 20})));
    EXPECT_EQ(shortRun.ctx->log.kindCount.at(Tr290ErrorKind::Rst, sub::kRstTooShort), 2);

    // The NIT statistics live with the NIT actual kind; the first interval runs from the start
    // of the first section.
    const MainPassRun nitRun =
        runMainPass(timedStream(every(0x10, nit(true), {0, 5000, 7000, 8000})));
    const RepetitionStats& nr = nitRun.ctx->siStore.list(SiKind::NitActual).repetition;
    EXPECT_DOUBLE_EQ(nr.current, 1.0);
    EXPECT_DOUBLE_EQ(nr.longest, 5.0);
    EXPECT_DOUBLE_EQ(nr.shortest, 1.0);
    EXPECT_EQ(nr.lastSeen, 8001u);
}

// The intervals of every kind are those between section starts, whatever the sections in
// between: a NIT with stuffing behind it, a TDT with a TOT between two of its sections.
TEST(SiRepetition, IntervalsRunFromStartToStart) {
    const auto tdt = tsgen::buildTdt(1700000000);
    const MainPassRun timeRun = runMainPass(timedStream(
        concat(every(0x14, tdt, {0, 2000, 4000, 6000}), every(0x14, tot(), {1000, 3000, 5000}))));
    const RepetitionStats& t = timeRun.ctx->siStore.tdt.repetition;
    EXPECT_DOUBLE_EQ(t.shortest, 2.0);
    EXPECT_DOUBLE_EQ(t.longest, 2.0);
    const RepetitionStats& o = timeRun.ctx->siStore.tot.repetition;
    EXPECT_DOUBLE_EQ(o.shortest, 2.0);
    EXPECT_DOUBLE_EQ(o.longest, 2.0);

    const MainPassRun nitRun = runMainPass(timedStream(
        concat(every(0x10, nit(true), {0, 2000, 4000}), every(0x10, stuffing(), {100, 2100}))));
    const RepetitionStats& n = nitRun.ctx->siStore.list(SiKind::NitActual).repetition;
    EXPECT_DOUBLE_EQ(n.current, 2.0);
    EXPECT_DOUBLE_EQ(n.shortest, 2.0);
    EXPECT_DOUBLE_EQ(n.longest, 2.0);
    EXPECT_TRUE(nitRun.codes.empty());

    // A first NIT with a bad CRC: the interval starts with the first good one.
    const MainPassRun badFirst = runMainPass(timedStream(
        concat(every(0x10, broken(nit(true)), {0}), every(0x10, nit(true), {3000, 5000, 5500}))));
    const RepetitionStats& b = badFirst.ctx->siStore.list(SiKind::NitActual).repetition;
    EXPECT_DOUBLE_EQ(b.longest, 2.0);
    EXPECT_DOUBLE_EQ(b.shortest, 0.5);
}

// A whole generated multiplex with stuffing sections behind its NIT and SDT: no event, and the
// tables repeat at the intervals they are sent with.
TEST(SiRepetition, GeneratedStreamWithStuffing) {
    tsgen::PresetOptions options;
    options.durationMs = 12000;
    options.siStuffing = true;
    const std::vector<uint8_t> ts = tsgen::generateStream(tsgen::cleanPreset(options).config);
    int stuffingStarts = 0;
    for (std::size_t at = 0; at + 188 <= ts.size(); at += 188) {
        const uint8_t* p = ts.data() + at;
        const unsigned pid = (p[1] & 0x1F) << 8 | p[2];
        if ((pid == 0x10 || pid == 0x11) && (p[1] & 0x40) && (p[3] & 0x30) == 0x10 &&
            5 + p[4] < 188 && p[5 + p[4]] == 0x72)
            ++stuffingStarts;
    }
    EXPECT_GE(stuffingStarts, 12 + 6);  // 12 s: SDT every second, NIT every two

    const MainPassRun run = runMainPass(ts, {}, true, 8.0);
    EXPECT_TRUE(run.codes.empty()) << run.details.front();
    const SiSectionStore& st = run.ctx->siStore;
    struct Expected {
        const char* name;
        const RepetitionStats& stats;
        double seconds;
    };
    for (const Expected& e :
         {Expected{"NIT", st.list(SiKind::NitActual).repetition, 2.0},
          Expected{"SDT", st.list(SiKind::SdtActual).repetition, 1.0},
          Expected{"TDT", st.tdt.repetition, 2.0}, Expected{"TOT", st.tot.repetition, 4.0}}) {
        SCOPED_TRACE(e.name);
        // A section may wait a slot or two behind a PCR: 1 ms is ample at 8 Mbit/s.
        EXPECT_NEAR(e.stats.shortest, e.seconds, 0.001);
        EXPECT_NEAR(e.stats.longest, e.seconds, 0.001);
    }
}

TEST(SiRepetition, NoBitrateNoInterval) {
    // Without a measured stream bitrate there is no time base: no interval, no event.
    const auto rst = tsgen::buildRst({{}});
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    ctx->initDone = true;
    beginRun(*ctx, kEventOfflineStart);
    const auto ts = timedStream(every(0x13, rst, {0, 10, 20, 30}));
    analyseBlock(*ctx, ts.data(), ts.size());
    EXPECT_EQ(ctx->log.kindCount.at(Tr290ErrorKind::Rst, sub::kRstTooShort), 0);
    EXPECT_TRUE(ctx->siStore.rst.present);
    EXPECT_EQ(ctx->siStore.rst.repetition.longest, 0.0);
}

}  // namespace
}  // namespace orv::tables_test
