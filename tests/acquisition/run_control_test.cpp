// The online run end to end on the manual clock: a generated stream flows from a fake live source
// through the acquisition thread into the engine, the run control's timers drive the phases, and
// the results page with the error log writer stands in for the front end. Minutes of virtual
// time run in milliseconds; what the thread does between two of its waits happens at one instant.
#include "acquisition/run_control.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "platform/manual_timer_service.h"
#include "platform/message.h"
#include "platform/text_codec.h"
#include "shell/live/results_front_end.h"
#include "tests/acquisition/fake_live_source.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test::FakeLiveSource;
using test::FakeScript;

constexpr TimerService::TimerId timerId(RunTimer t) {
    return static_cast<TimerService::TimerId>(t);
}

int countedEvents(const AnalysisContext& ctx) {
    int n = 0;
    for (int k = 0; k < kKindCount; ++k)
        n += ctx.log.kindCount.total(static_cast<Tr290ErrorKind>(k));
    return n;
}

// The results page and the error log, with what the run asked of them.
class RecordingFrontEnd final : public ResultsFrontEnd {
  public:
    explicit RecordingFrontEnd(ResultsPage& page) : ResultsFrontEnd(page), page_(page) {}
    int refreshResults(AnalysisContext& ctx) override {
        const int next = ResultsFrontEnd::refreshResults(ctx);
        return refreshCycle ? next : 0;
    }
    void saveEvents(AnalysisContext& ctx) override {
        ++saves;
        if (atSave) atSave();
        countedAtSave = countedEvents(ctx);
        packetsAtSave = ctx.packetCounter;
        ResultsFrontEnd::saveEvents(ctx);
    }
    void resetResults(AnalysisContext& ctx) override {
        ++resets;
        ResultsFrontEnd::resetResults(ctx);
    }
    void runEnded() override { ++ended; }

    // Type texts of the rows the page holds now.
    std::vector<std::string> rowTypes() const {
        std::vector<std::string> out;
        for (const EventRow& r : page_.eventRows())
            out.push_back(r.type);
        return out;
    }

    bool refreshCycle = true;
    std::function<void()> atSave;
    int saves = 0;
    int resets = 0;
    int ended = 0;
    int countedAtSave = 0;
    std::uint64_t packetsAtSave = 0;

  private:
    ResultsPage& page_;
};

struct LogRow {
    std::string type;
    std::string detail;
};

// The error log as rows: number TAB time TAB type TAB [TAB] detail CR LF, in CP936.
std::vector<LogRow> readErrorLog(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string text = cp936ToUtf8(bytes).text;
    std::vector<LogRow> rows;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        std::vector<std::string> fields;
        for (std::size_t from = 0;;) {
            const std::size_t tab = line.find('\t', from);
            fields.push_back(line.substr(from, tab - from));
            if (tab == std::string::npos) break;
            from = tab + 1;
        }
        if (fields.size() >= 4) rows.push_back({fields[2], fields.back()});
        at = end + 2;
    }
    return rows;
}

std::size_t errorRows(const std::vector<LogRow>& rows) {
    return static_cast<std::size_t>(
        std::count_if(rows.begin(), rows.end(), [](const LogRow& r) { return !r.detail.empty(); }));
}

// Packets the initialisation phase walked (its PID list counts each) and packets handed to it.
std::pair<std::uint64_t, std::uint64_t> initPhasePackets(const RunControl& rc) {
    const std::uint64_t handed = rc.status().counts.groupsInitPhase * kLiveGroupPackets;
    const std::uint64_t walked = rc.withContext([](const AnalysisContext& ctx) {
        return std::accumulate(ctx.initPids.counts.begin(),
                               ctx.initPids.counts.begin() + ctx.initPids.count, std::uint64_t{0});
    });
    return {walked, handed};
}

std::vector<std::uint8_t> cleanStream(unsigned packetSize, std::uint64_t ms,
                                      const std::vector<tsgen::Fault>& faults = {},
                                      tsgen::GenerateResult* applied = nullptr) {
    return tsgen::generateStream(tsgen::cleanPreset({8'000'000, packetSize, ms}).config, faults,
                                 applied);
}

tsgen::Fault fault(tsgen::FaultKind kind, std::uint64_t at, std::optional<std::uint16_t> pid,
                   std::optional<std::int64_t> value) {
    return tsgen::Fault{.kind = kind, .at = at, .pid = pid, .value = value};
}

// One run's world: the manual clock, the context, the results page with the error log in a
// folder of its own, the fake source and the run control.
class Rig {
  public:
    Rig() {
        dir_ = fs::temp_directory_path() /
               ("orv-run-" + std::to_string(::getpid()) + "-" + std::to_string(serial_++));
        fs::create_directories(dir_);
        enableAllMonitoring(ctx());
        ctx().logSettings.errorLogPath = logPath().string();
    }
    ~Rig() {
        if (rc) rc->stop();
        rc.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    AnalysisContext& ctx() { return *ctx_; }
    fs::path logPath() const { return dir_ / "error.log"; }

    // Starts a run on the script, the thread waiting on the manual clock.
    void start(FakeScript script) {
        source = std::make_unique<FakeLiveSource>(&clock, std::move(script));
        rc = std::make_unique<RunControl>(ctx(), clock, frontEnd, clock);
        rc->start(*source);
    }
    RunStatus status() const { return rc->status(); }
    milliseconds now() const { return clock.now(); }

    // Moves on in steps of `step` until `done` holds (true) or `limit` has passed (false).
    template <class Pred>
    bool advanceUntil(Pred done, milliseconds limit, milliseconds step = milliseconds(100)) {
        const milliseconds end = now() + limit;
        while (!done()) {
            if (now() >= end) return false;
            clock.advance(std::min(step, end - now()));
        }
        return true;
    }
    // Moves on to the instant the timer fires (it has then fired); false when it is not armed.
    bool advanceToTimer(RunTimer t) {
        const std::optional<milliseconds> due = clock.dueIn(timerId(t));
        if (!due) return false;
        clock.advance(*due);
        return true;
    }
    // From the start on to the end of the initialisation phase, 1.5 s after the first PMT.
    bool runToEndOfInit() {
        if (!advanceUntil([&] { return clock.isArmed(timerId(RunTimer::EndOfInit)); },
                          milliseconds(5000), milliseconds(10)))
            return false;
        EXPECT_EQ(clock.dueIn(timerId(RunTimer::EndOfInit)), milliseconds(1500));
        return advanceToTimer(RunTimer::EndOfInit) && status().initDone;
    }

    ManualTimerService clock;
    ResultsPage page;
    RecordingFrontEnd frontEnd{page};
    std::unique_ptr<FakeLiveSource> source;
    std::unique_ptr<RunControl> rc;

  private:
    static inline int serial_ = 0;
    fs::path dir_;
    std::unique_ptr<AnalysisContext> ctx_ = std::make_unique<AnalysisContext>();
};

// A clean stream, 188 and 204-byte packets: the phase ends 1.5 s after the first PMT, the run
// start event 1000 comes 5 s later, the dialog closes 5 s after that, and every group that arrives
// after the phase has ended is analysed, for minutes.
TEST(RunControl, NormalRunStartsFiveSecondsAfterThePhaseAndAnalysesEveryBlock) {
    for (const unsigned packetSize : {188u, 204u}) {
        SCOPED_TRACE(packetSize);
        Rig rig;
        FakeScript script;
        script.stream = cleanStream(packetSize, 12'000);
        script.packetLength = static_cast<int>(packetSize);
        rig.start(script);

        RunStatus s = rig.status();
        EXPECT_EQ(s.windowTitle, "码流分析仪-在线分析");
        EXPECT_EQ(s.analysisMode, AnalysisMode::Online);
        EXPECT_TRUE(s.dialog.open);
        EXPECT_EQ(s.dialog.line(kDialogLinePat), "分析PAT.......");

        ASSERT_TRUE(rig.runToEndOfInit());
        const std::uint64_t groupsBeforeMainPass = rig.source->groupsDelivered();
        s = rig.status();
        EXPECT_EQ(s.packetLength, static_cast<int>(packetSize));
        EXPECT_EQ(s.programCount, 2);
        EXPECT_EQ(s.dialog.line(kDialogLinePat), "PAT分析................. OK!");
        EXPECT_EQ(s.dialog.line(kDialogLinePmt), "PMT分析................. OK!");
        EXPECT_EQ(s.dialog.line(kDialogLineStatus), "正在初始化.............请稍侯!");
        for (const char* pid : {"0x0000", "0x0100", "0x0101", "0x0102", "0x0200", "0x0210"})
            EXPECT_NE(std::find(s.dialog.pids.begin(), s.dialog.pids.end(), pid),
                      s.dialog.pids.end())
                << pid;
        EXPECT_EQ(s.bitrate.current, 8.0);
        const auto [walked, handed] = initPhasePackets(*rig.rc);
        EXPECT_EQ(walked, handed);
        EXPECT_GT(handed, 0u);

        rig.clock.advance(milliseconds(4999));
        EXPECT_EQ(rig.status().lastRunEvent.code, 0);
        EXPECT_GE(rig.status().pendingEvents, kMaxEvents);  // the log is still closed
        rig.clock.advance(milliseconds(1));
        EXPECT_EQ(rig.status().lastRunEvent.code, kEventRunStart);
        EXPECT_EQ(rig.frontEnd.rowTypes(), std::vector<std::string>{"开始读入数据!"});

        rig.clock.advance(milliseconds(4999));
        EXPECT_TRUE(rig.status().dialog.open);
        rig.clock.advance(milliseconds(1));
        EXPECT_FALSE(rig.status().dialog.open);
        EXPECT_EQ(rig.clock.dueIn(timerId(RunTimer::Bitrate)), milliseconds(1000));
        EXPECT_EQ(rig.clock.dueIn(timerId(RunTimer::PeriodicSave)), milliseconds(30 * 60'000));

        // Two minutes on: the stream (160 s of groups) has not looped yet.
        rig.clock.advance(milliseconds(120'000));
        s = rig.status();
        EXPECT_EQ(s.runState, RunState::Running);
        EXPECT_EQ(s.restarts, 0);
        EXPECT_EQ(s.bitrate.current, 8.0);
        EXPECT_EQ(s.bitrate.mean, 8.0);
        const std::uint64_t analysed = rig.source->groupsDelivered() - groupsBeforeMainPass;
        EXPECT_GT(analysed, 1000u);
        EXPECT_EQ(s.packetCounter, analysed * kLiveGroupPackets);
        EXPECT_EQ(rig.frontEnd.rowTypes(), std::vector<std::string>{"开始读入数据!"});

        rig.rc->stop();
        s = rig.status();
        EXPECT_EQ(s.windowTitle, "码流分析仪-停止分析");
        EXPECT_FALSE(s.active);
        EXPECT_EQ(s.analysisMode, AnalysisMode::Idle);
        EXPECT_EQ(rig.source->closes(), 1);
        EXPECT_EQ(rig.frontEnd.saves, 1);
        EXPECT_EQ(rig.frontEnd.ended, 1);
        EXPECT_TRUE(rig.page.eventRows().empty());
        const std::vector<LogRow> log = readErrorLog(rig.logPath());
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front().type, "开始读入数据!");
        EXPECT_EQ(errorRows(log), 0u);
        // Nothing fires after the stop.
        rig.clock.advance(milliseconds(60'000));
        EXPECT_EQ(rig.source->opens(), 1);
        EXPECT_EQ(rig.frontEnd.saves, 1);
    }
}

// No data for 5 s once the phase has ended: runState 1, the bitrate reads 0 and nothing is
// analysed; data again: the run restarts and its start event is 1002. The restarted run keeps the
// monitoring switches and the save settings.
TEST(RunControl, InterruptionStopsAnalysisThenRestartsWith1002KeepingTheSettings) {
    Rig rig;
    rig.ctx().monitorEnabled[kindIndex(Tr290ErrorKind::Continuity)] = 0;
    rig.ctx().monitorEnabled[kindIndex(Tr290ErrorKind::PcrJitter)] = 0;
    rig.ctx().logSettings.saveIntervalMinutes = 7;
    const auto switches = rig.ctx().monitorEnabled;
    FakeScript script;
    script.stream = cleanStream(188, 12'000);
    script.pauses = {{milliseconds(30'000), milliseconds(8'000)}};
    rig.start(script);

    rig.clock.advance(milliseconds(30'000));
    ASSERT_EQ(rig.status().lastRunEvent.code, kEventRunStart);
    const milliseconds lastData = rig.source->lastArrival();
    EXPECT_EQ(lastData, milliseconds(29'900));
    rig.clock.advance(lastData + milliseconds(4999) - rig.now());
    EXPECT_EQ(rig.status().runState, RunState::Running);
    rig.clock.advance(milliseconds(1));
    EXPECT_EQ(rig.status().runState, RunState::Interrupted);
    const std::uint64_t packetsAtInterruption = rig.status().packetCounter;

    // The next bitrate tick reads 0 and looks again 2 s later, until the data is back at 38 s.
    ASSERT_TRUE(rig.advanceToTimer(RunTimer::Bitrate));
    EXPECT_EQ(rig.status().bitrate.current, 0.0);
    EXPECT_EQ(rig.clock.dueIn(timerId(RunTimer::Bitrate)), milliseconds(2000));
    for (int tick = 0; tick < 5 && rig.frontEnd.saves == 0; ++tick) {
        EXPECT_EQ(rig.status().runState, RunState::Interrupted);
        EXPECT_EQ(rig.status().interruptSeen, rig.now() >= milliseconds(38'000));
        ASSERT_TRUE(rig.advanceToTimer(RunTimer::Bitrate));
    }
    // That tick stopped the run (the groups read since were not analysed); it starts again
    // 100 ms later.
    ASSERT_EQ(rig.frontEnd.saves, 1);
    EXPECT_GE(rig.now(), milliseconds(38'000));
    EXPECT_EQ(rig.frontEnd.packetsAtSave, packetsAtInterruption);
    EXPECT_TRUE(rig.status().restartPending);
    EXPECT_EQ(rig.clock.dueIn(timerId(RunTimer::RestartStart)), milliseconds(100));
    ASSERT_TRUE(rig.advanceToTimer(RunTimer::RestartStart));
    EXPECT_EQ(rig.status().analysisMode, AnalysisMode::Online);
    EXPECT_EQ(rig.status().restarts, 1);
    EXPECT_EQ(rig.status().runState, RunState::Running);

    ASSERT_TRUE(rig.runToEndOfInit());
    ASSERT_TRUE(rig.advanceToTimer(RunTimer::RunStart));
    EXPECT_EQ(rig.status().lastRunEvent.code, kEventInterrupted);
    EXPECT_EQ(rig.frontEnd.rowTypes(), std::vector<std::string>{"传送流中断事件发生!"});
    EXPECT_EQ(rig.status().runState, RunState::Running);
    EXPECT_EQ(rig.ctx().monitorEnabled, switches);
    ASSERT_TRUE(rig.advanceToTimer(RunTimer::CloseInit));
    EXPECT_EQ(rig.clock.dueIn(timerId(RunTimer::PeriodicSave)), milliseconds(7 * 60'000));

    // The first run's list went to the error log at the restart.
    const std::vector<LogRow> log = readErrorLog(rig.logPath());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().type, "开始读入数据!");
    rig.clock.advance(milliseconds(10'000));
    EXPECT_EQ(rig.status().restarts, 1);
    EXPECT_GT(rig.status().packetCounter, 0u);
}

// A new PAT in the stream: runState 2, the next bitrate tick restarts the run, and the restarted
// run, which finds its programs at once (the cause of the restart must not cut its walks short
// at the PAT), starts with 1003.
TEST(RunControl, ProgramChangeRestartsWith1003) {
    Rig rig;
    // The PMTs go out right behind the PAT, in the same packets' neighbourhood, as many
    // multiplexers send them.
    tsgen::StreamConfig cfg = tsgen::cleanPreset({8'000'000, 188, 12'000}).config;
    for (tsgen::TableSource& t : cfg.tables)
        if (t.pid == 0x0100 || t.pid == 0x0200) t.offsetMs = 0;
    tsgen::GenerateResult applied;
    FakeScript script;
    script.stream = tsgen::generateStream(
        cfg, {fault(tsgen::FaultKind::PatChange, 10'000, std::nullopt, 0)}, &applied);
    ASSERT_EQ(applied.applied.size(), 1u);
    rig.start(script);

    ASSERT_TRUE(rig.advanceUntil([&] { return rig.status().runState == RunState::ProgramChange; },
                                 milliseconds(40'000), milliseconds(10)));
    // The group holding the new PAT has just arrived.
    const std::uint64_t changeGroup = applied.applied[0].packet / kLiveGroupPackets;
    EXPECT_EQ(rig.now(), milliseconds(100) * static_cast<std::int64_t>(changeGroup + 1));
    EXPECT_EQ(rig.status().lastRunEvent.code, kEventRunStart);

    ASSERT_TRUE(rig.advanceToTimer(RunTimer::Bitrate));
    EXPECT_EQ(rig.frontEnd.saves, 1);
    ASSERT_TRUE(rig.advanceToTimer(RunTimer::RestartStart));
    EXPECT_EQ(rig.status().restarts, 1);
    // 1 s before the first read, then the PAT and a PMT within their 1.33 s repetition.
    const milliseconds restartedAt = rig.now();
    ASSERT_TRUE(rig.runToEndOfInit());
    EXPECT_LE(rig.now() - restartedAt, milliseconds(1000 + 1400 + 1500));
    EXPECT_EQ(rig.status().programCount, 2);
    const auto [walked, handed] = initPhasePackets(*rig.rc);
    EXPECT_EQ(walked, handed);
    ASSERT_TRUE(rig.advanceToTimer(RunTimer::RunStart));
    EXPECT_EQ(rig.status().lastRunEvent.code, kEventProgramChange);
    EXPECT_EQ(rig.frontEnd.rowTypes(), std::vector<std::string>{"传送流节目改变事件发生!"});
    EXPECT_EQ(rig.status().runState, RunState::Running);

    // The new PAT is the one in use now: no further restart.
    rig.clock.advance(milliseconds(30'000));
    EXPECT_EQ(rig.status().restarts, 1);
    EXPECT_EQ(rig.status().runState, RunState::Running);
}

// The input cannot be set up: the source's message, runState 3, and at the progress timer's first
// tick (200 ms) the dialog closes and the run stops with runState 0, without a block read.
TEST(RunControl, FailedOpenStopsWithinTwoHundredMillisecondsWithoutReading) {
    Rig rig;
    std::vector<std::string> messages;
    const ScopedMessageHook hook([&](std::string_view t) { messages.emplace_back(t); });
    FakeScript script;
    script.stream = cleanStream(188, 1'000);
    script.failOpen = true;
    rig.start(script);

    rig.clock.advance(milliseconds(199));
    RunStatus s = rig.status();
    EXPECT_EQ(messages, std::vector<std::string>{"初始化接口失败!"});
    EXPECT_EQ(s.runState, RunState::InterfaceFailure);
    EXPECT_TRUE(s.dialog.open);
    EXPECT_TRUE(s.active);

    rig.clock.advance(milliseconds(1));
    s = rig.status();
    EXPECT_FALSE(s.dialog.open);
    EXPECT_FALSE(s.active);
    EXPECT_FALSE(s.restartPending);
    EXPECT_TRUE(s.interfaceFailed);
    EXPECT_EQ(s.runState, RunState::Running);
    EXPECT_EQ(s.analysisMode, AnalysisMode::Idle);
    EXPECT_EQ(s.windowTitle, "码流分析仪-停止分析");
    EXPECT_EQ(rig.frontEnd.ended, 1);
    EXPECT_TRUE(rig.rc->waitUntilEnded(milliseconds(0)));

    rig.clock.advance(milliseconds(30'000));
    EXPECT_EQ(rig.source->opens(), 1);
    EXPECT_EQ(rig.source->reads(), 0u);
    EXPECT_EQ(messages.size(), 1u);
}

// The periodic save (every minute here) writes the events of the list and those still pending:
// with the page's refresh cycle or without it, every event logged before the save is in the file
// with its packet number. Switched off, nothing is written until the stop, which writes it all.
TEST(RunControl, PeriodicSaveWritesThePendingEvents) {
    // Lost packets on 0x0101 at about 50 s, 75 s and 100 s of the flow.
    tsgen::GenerateResult applied;
    const std::vector<std::uint8_t> stream =
        cleanStream(188, 12'000,
                    {fault(tsgen::FaultKind::CcSkip, 20'000, 0x0101, 1),
                     fault(tsgen::FaultKind::CcSkip, 30'000, 0x0101, 1),
                     fault(tsgen::FaultKind::CcSkip, 40'000, 0x0101, 1)},
                    &applied);
    ASSERT_EQ(applied.applied.size(), 3u);
    struct Case {
        bool saveOn;
        bool refreshCycle;
    };
    for (const Case c : {Case{true, true}, Case{true, false}, Case{false, true}}) {
        SCOPED_TRACE(testing::Message() << "save " << c.saveOn << " refresh " << c.refreshCycle);
        Rig rig;
        rig.ctx().logSettings.saveLogEnabled = c.saveOn;
        rig.ctx().logSettings.saveIntervalMinutes = 1;
        rig.frontEnd.refreshCycle = c.refreshCycle;
        FakeScript script;
        script.stream = stream;
        rig.start(script);
        ASSERT_TRUE(rig.runToEndOfInit());
        // The block driver numbers packets from 1 at the first group it sees; a continuity
        // verdict quotes the number of the packet it is about.
        const std::uint64_t firstPacket = rig.source->nextGroup() * kLiveGroupPackets;
        std::vector<std::string> expected;
        for (const tsgen::AppliedFault& f : applied.applied)
            expected.push_back("PID=0x0101的TS包出现丢包 第" +
                               std::to_string(f.packet - firstPacket + 1) + "包");
        ASSERT_TRUE(rig.advanceToTimer(RunTimer::RunStart));
        ASSERT_TRUE(rig.advanceToTimer(RunTimer::CloseInit));
        ASSERT_LT(rig.now() + milliseconds(60'000), milliseconds(75'000));

        rig.clock.advance(milliseconds(60'000));
        std::vector<LogRow> log = readErrorLog(rig.logPath());
        if (c.saveOn) {
            ASSERT_EQ(log.size(), 2u);
            EXPECT_EQ(log[0].type, "开始读入数据!");
            EXPECT_EQ(log[1].type, "连续计数错误");
            EXPECT_EQ(log[1].detail, expected[0]);
        } else {
            EXPECT_TRUE(log.empty());
        }
        EXPECT_EQ(rig.clock.dueIn(timerId(RunTimer::PeriodicSave)), milliseconds(60'000));

        rig.clock.advance(milliseconds(60'000));
        rig.rc->stop();
        log = readErrorLog(rig.logPath());
        std::vector<std::string> details;
        for (const LogRow& r : log)
            if (!r.detail.empty()) details.push_back(r.detail);
        EXPECT_EQ(details, expected);
        EXPECT_EQ(static_cast<int>(details.size()), rig.frontEnd.countedAtSave);
        // Each save after the first starts with the run's cause and "保存事件!".
        const int saves = c.saveOn ? 3 : 1;
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [](const LogRow& r) { return r.type == "保存事件!"; }),
                  saves - 1);
    }
}

// A wait that returns at once: the thread never waits, as at full speed.
class NoWaits final : public WaitClock {
  public:
    bool waitFor(const std::atomic<bool>& flag, milliseconds) override { return flag.load(); }
    void notify() override {}
};

// A stop while data keeps arriving (the thread never waits for data): the thread ends by itself
// and every event counted is in the error log.
TEST(RunControl, StopDuringDataFlowEndsTheThreadAndLosesNothing) {
    NoWaits noWaits;
    FakeScript script;
    // One second looped: each seam is a continuity, PCR and time stamp fault on every PID.
    script.stream = cleanStream(188, 1'000);
    FakeLiveSource source(nullptr, script);
    Rig rig;  // stops the run before the source and the waits go
    rig.rc = std::make_unique<RunControl>(rig.ctx(), rig.clock, rig.frontEnd, noWaits);
    rig.rc->start(source);

    // The timers run on the manual clock while the thread reads at full speed.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    const std::uint64_t threeSeams = 3 * script.stream.size() / 188;
    for (;;) {
        const RunStatus s = rig.status();
        if (s.lastRunEvent.code == kEventRunStart && s.packetCounter > threeSeams) break;
        ASSERT_LT(std::chrono::steady_clock::now(), limit) << "the run did not get going";
        rig.clock.advance(milliseconds(100));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // The list is saved once the thread has ended: nothing is read, so nothing is logged, after it.
    std::uint64_t readsAtSave = 0;
    rig.frontEnd.atSave = [&] { readsAtSave = source.reads(); };
    auto stopping = std::async(std::launch::async, [&] { rig.rc->stop(); });
    if (stopping.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        ADD_FAILURE() << "the acquisition thread did not end";
        std::abort();
    }
    EXPECT_FALSE(rig.status().active);
    EXPECT_EQ(rig.frontEnd.saves, 1);
    EXPECT_GT(rig.frontEnd.countedAtSave, 0);
    EXPECT_EQ(static_cast<int>(errorRows(readErrorLog(rig.logPath()))), rig.frontEnd.countedAtSave);
    EXPECT_EQ(source.closes(), 1);
    EXPECT_EQ(source.reads(), readsAtSave);
    rig.rc.reset();
}

}  // namespace
}  // namespace orv
