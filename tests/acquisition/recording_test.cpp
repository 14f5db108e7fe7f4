// Stream recording: the packet writer's walk (filters, re-synchronisation, whole packets only),
// the PID entries, the recorder's limits, stop and failures over a stand-in feed, and a full disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "acquisition/packet_filter.h"
#include "acquisition/pid_list.h"
#include "acquisition/recorder.h"
#include "platform/message.h"
#include "tests/acquisition/record_test_support.h"

namespace orv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::vector<std::uint16_t> kCycle{0x0000, 0x0100, 0x0101, 0x1FFF};

// The indices of the packets in `bytes` (whole packets of 188 from offset 0).
std::vector<std::uint32_t> indices(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint32_t> out;
    for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188)
        out.push_back(indexOf(bytes.data() + at));
    return out;
}

// The first `count` indices of the cycle stream whose PID is in `kept`.
std::vector<std::uint32_t> expectedIndices(const std::set<std::uint16_t>& kept, std::size_t count) {
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; out.size() < count; ++i)
        if (kept.count(kCycle[i % kCycle.size()])) out.push_back(i);
    return out;
}

// ---------------------------------------------------------------------------------------------

struct WalkRow {
    const char* name;
    std::size_t garbageBefore;  // bytes without sync before the first packet
    int brokenPacket;           // packet whose sync byte is damaged; -1 none
    std::size_t tailBytes;      // bytes of a seventh packet at the end
    FilterMode mode;
    std::vector<std::uint16_t> pids;
    std::size_t maxPackets;  // 0: no limit
    std::vector<std::uint32_t> kept;
};

class PacketWalk : public ::testing::TestWithParam<WalkRow> {};

TEST_P(PacketWalk, KeepsWholePacketsOfTheChosenPidsAndFindsTheSyncAgain) {
    const WalkRow& row = GetParam();
    std::vector<std::uint8_t> data(row.garbageBefore, 0x11);
    const std::vector<std::uint8_t> packets = pidCycleStream(7, kCycle);
    data.insert(data.end(), packets.begin(), packets.begin() + 6 * 188 + row.tailBytes);
    if (row.brokenPacket >= 0) data[row.garbageBefore + row.brokenPacket * 188] = 0x00;

    std::vector<std::uint8_t> out;
    const PidFilter filter(row.mode, row.pids);
    const std::size_t kept = filterPackets(
        data, 188, filter,
        [&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); },
        row.maxPackets == 0 ? static_cast<std::size_t>(-1) : row.maxPackets * 188);
    EXPECT_EQ(kept, out.size());
    ASSERT_EQ(out.size() % 188, 0u);
    EXPECT_EQ(indices(out), row.kept);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PacketWalk,
    ::testing::Values(
        WalkRow{"all", 0, -1, 0, FilterMode::All, {}, 0, {0, 1, 2, 3, 4, 5}},
        WalkRow{"only", 0, -1, 0, FilterMode::Only, {0x100, 0x101}, 0, {1, 2, 5}},
        WalkRow{"exclude", 0, -1, 0, FilterMode::Exclude, {0x100, 0x101}, 0, {0, 3, 4}},
        WalkRow{"garbage_first", 17, -1, 0, FilterMode::Only, {0x0, 0x1FFF}, 0, {0, 3, 4}},
        WalkRow{"broken_sync", 0, 2, 0, FilterMode::Exclude, {0x1FFF}, 0, {0, 1, 4, 5}},
        WalkRow{"partial_tail", 0, -1, 100, FilterMode::Only, {0x100, 0x101}, 0, {1, 2, 5}},
        WalkRow{"byte_limit", 0, -1, 0, FilterMode::Only, {0x100, 0x101}, 2, {1, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

TEST(PidEntries, AreReadAsTheDialogReadsThemAndTheCommandLineListIsChecked) {
    struct Entry {
        const char* text;
        std::optional<std::uint16_t> value;
    };
    for (const Entry& e : std::vector<Entry>{{"1fff", 0x1FFF},
                                             {"0x1FFF", 0x1FFF},
                                             {"0X100", 0x100},
                                             {"2000", std::nullopt},
                                             {"ffff", std::nullopt},
                                             {"", std::nullopt},
                                             {"0x", std::nullopt},
                                             {"zz", std::nullopt},
                                             {"23456", std::nullopt},  // 0x2345: too large
                                             {"01001", 0x100}}) {      // the first four digits
        EXPECT_EQ(pidEntryValue(e.text), e.value) << e.text;
    }
    PidListModel list;
    EXPECT_TRUE(list.add("1fff"));
    EXPECT_FALSE(list.add("0x1FFF"));  // the same line
    EXPECT_FALSE(list.add("2000"));
    EXPECT_EQ(list.lines, std::vector<std::string>{"0x1fff"});
    for (unsigned pid = 0; list.lines.size() < kMaxRecordPids; ++pid)
        list.add(std::to_string(pid));
    EXPECT_FALSE(list.add("0x1ffe"));  // the fifty-first
    list.remove(0);
    list.remove(99);
    EXPECT_EQ(list.pids().size(), kMaxRecordPids - 1);

    struct Cli {
        const char* text;
        std::vector<std::uint16_t> pids;
        bool error;
    };
    for (const Cli& c : std::vector<Cli>{{"0x100,0x101", {0x100, 0x101}, false},
                                         {"256, 0x1fff,256", {0x100, 0x1FFF}, false},
                                         {"0", {0}, false},
                                         {"0x2000", {}, true},
                                         {"8192", {}, true},
                                         {"0x100,,0x101", {}, true},
                                         {"abc", {}, true},
                                         {"", {}, true}}) {
        const PidListParse parsed = parsePidList(c.text);
        EXPECT_EQ(parsed.pids, c.pids) << c.text;
        EXPECT_EQ(!parsed.error.empty(), c.error) << c.text;
    }
}

// ---------------------------------------------------------------------------------------------

class RecorderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orv-record-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    RecordStatus record(FakeFeed& feed, RecordSettings settings) {
        if (settings.path.empty()) settings.path = (dir_ / "out.ts").string();
        Recorder recorder(feed);
        EXPECT_EQ(recorder.start(settings), std::nullopt);
        EXPECT_TRUE(recorder.waitUntilEnded(10s));
        return recorder.status();
    }

    fs::path dir_;
    std::vector<std::string> messages_;
    ScopedReasonedMessageHook hook_{
        [this](std::string_view text, std::string_view) { messages_.emplace_back(text); }};
};

struct LimitRow {
    const char* name;
    RecordMode mode;
    FilterMode filter;
    std::vector<std::uint16_t> pids;
    std::size_t offset;  // the feed starts this many bytes into the stream
    std::set<std::uint16_t> kept;
};

class RecordLimits : public RecorderTest, public ::testing::WithParamInterface<LimitRow> {};

// 1 MB holds 5319 whole packets (999 972 bytes): the file ends at the last whole packet, and with
// a filter it is the filtered stream without a gap, whatever the reads' boundaries.
TEST_P(RecordLimits, OneMegabyteIsTheChosenPacketsInOrderUpToTheLastWholeOne) {
    const LimitRow& row = GetParam();
    FakeFeed feed(pidCycleStream(40000, kCycle), 2000 * 188);
    feed.offset = row.offset;
    RecordSettings settings;
    settings.recordMode = row.mode;
    settings.filterMode = row.filter;
    settings.pids = row.pids;
    settings.limitMode = LimitMode::Size;
    settings.limit = 1;
    const RecordStatus s = record(feed, settings);
    EXPECT_EQ(s.endedBy, RecordEnd::Limit);
    const std::vector<std::uint8_t> file = readFile(dir_ / "out.ts");
    ASSERT_EQ(file.size(), 999'972u);
    EXPECT_EQ(s.bytes, 999'972u);
    EXPECT_EQ(indices(file), expectedIndices(row.kept, 5319));
    EXPECT_TRUE(messages_.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RecordLimits,
    ::testing::Values(
        LimitRow{
            "whole", RecordMode::Synchronised, FilterMode::All, {}, 0, {0x0, 0x100, 0x101, 0x1FFF}},
        LimitRow{
            "only", RecordMode::Synchronised, FilterMode::Only, {0x100, 0x101}, 0, {0x100, 0x101}},
        LimitRow{"exclude",
                 RecordMode::Synchronised,
                 FilterMode::Exclude,
                 {0x0, 0x1FFF},
                 0,
                 {0x100, 0x101}},
        // Raw blocks do not start at a packet: the filter finds the packets in them.
        LimitRow{
            "raw_only", RecordMode::Raw, FilterMode::Only, {0x100, 0x101}, 17, {0x100, 0x101}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecorderTest, StopKeepsEverythingReceivedAndTheTimeLimitEndsTheRecording) {
    // Three reads, then nothing: the stop ends it with the three reads in the file.
    FakeFeed feed(pidCycleStream(40000, kCycle), 2000 * 188);
    feed.reads = 3;
    RecordSettings settings;
    settings.limit = 0;
    settings.path = (dir_ / "out.ts").string();
    {
        Recorder recorder(feed);
        ASSERT_EQ(recorder.start(settings), std::nullopt);
        for (int i = 0; i < 200 && recorder.status().bytes < 3 * 2000 * 188u; ++i)
            std::this_thread::sleep_for(10ms);
        recorder.stop();
        const RecordStatus s = recorder.status();
        EXPECT_EQ(s.state, RecordState::Ended);
        EXPECT_EQ(s.endedBy, RecordEnd::Stopped);
        EXPECT_EQ(s.packets, 6000u);
    }
    const std::vector<std::uint8_t> file = readFile(settings.path);
    std::vector<std::uint32_t> all(6000);
    std::iota(all.begin(), all.end(), 0u);
    EXPECT_EQ(indices(file), all);

    // A read every 100 ms and a limit of one second.
    FakeFeed slow(pidCycleStream(4000, kCycle), 40 * 188);
    slow.pauseBetweenReads = 100ms;
    settings.limitMode = LimitMode::Time;
    settings.limit = 1;
    const auto before = std::chrono::steady_clock::now();
    const RecordStatus s = record(slow, settings);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    EXPECT_EQ(s.endedBy, RecordEnd::Limit);
    EXPECT_GE(s.seconds, 1.0);
    EXPECT_LT(took, 2.0);
    EXPECT_EQ(recordPercent(s, settings), 100);
}

TEST_F(RecorderTest, TheInitialisationListsWhatTheInputHolds) {
    struct Row {
        long initResult;
        std::size_t blocks;
        RecordMode mode;
        std::vector<std::string> lines;
    };
    const std::vector<Row> rows{
        {-4, 0, RecordMode::Synchronised, {"初始化失败！"}},
        {0, 10, RecordMode::Synchronised, {"初始化成功！", "正在分析传送流......"}},
        {0, 11, RecordMode::Raw, {"初始化成功！", "正在分析传送流......", "不同步方式录制!"}},
        {0,
         11,
         RecordMode::Synchronised,
         {"初始化成功！", "正在分析传送流......", "0x0000", "0x0100", "0x0101", "0x1fff"}},
    };
    for (const Row& row : rows) {
        RecordSample sample;
        sample.initResult = row.initResult;
        sample.blocks = row.blocks;
        sample.data = pidCycleStream(row.blocks * 40, kCycle);
        sample.mbps = 38.015;
        const RecordInit init = describeSample(sample, row.mode);
        EXPECT_EQ(init.lines, row.lines);
        const bool listed = row.lines.size() > 3;
        EXPECT_EQ(init.bitrateText, listed ? "38.015000" : "");
        EXPECT_EQ(init.packetLengthText, listed ? "188" : "");
    }

    // Too little data: the recording does not start and says why; no file is written.
    FakeFeed feed(pidCycleStream(4000, kCycle), 2000 * 188);
    feed.sampleBlocks = 5;
    RecordSettings settings;
    const RecordStatus s = record(feed, settings);
    EXPECT_EQ(s.endedBy, RecordEnd::InputFailed);
    EXPECT_EQ(messages_, std::vector<std::string>{"请检查传送流的输入是否正确!"});
    EXPECT_FALSE(fs::exists(dir_ / "out.ts"));
}

TEST_F(RecorderTest, AStartThatCannotRecordSaysWhyAndTouchesNothing) {
    FakeFeed feed(pidCycleStream(4000, kCycle), 2000 * 188);
    Recorder recorder(feed);
    RecordSettings settings;
    EXPECT_TRUE(recorder.start(settings).has_value());  // no path
    settings.path = (dir_ / "out.ts").string();
    settings.filterMode = FilterMode::Only;
    EXPECT_TRUE(recorder.start(settings).has_value());  // no PID to keep
    settings.filterMode = FilterMode::All;
    feed.card = true;
    {
        const std::optional<CardClaim> scan = CardClaim::take(CardUser::QamScan);
        ASSERT_TRUE(scan.has_value());
        const std::optional<std::string> refused = recorder.start(settings);
        ASSERT_TRUE(refused.has_value());
        EXPECT_NE(refused->find("QAM scan"), std::string::npos) << *refused;
        EXPECT_EQ(messages_, std::vector<std::string>{*refused});
    }
    EXPECT_EQ(feed.initialised, 0);
    EXPECT_FALSE(fs::exists(settings.path));

    // A file that cannot be created.
    messages_.clear();
    settings.path = (dir_ / "missing" / "out.ts").string();
    ASSERT_EQ(recorder.start(settings), std::nullopt);
    ASSERT_TRUE(recorder.waitUntilEnded(5s));
    EXPECT_EQ(recorder.status().endedBy, RecordEnd::CreateFailed);
    EXPECT_EQ(messages_, std::vector<std::string>{"创建文件失败!请修改保存文件名或路径!"});
    // The claim was given back when the recording ended.
    EXPECT_EQ(CardClaim::holder(), CardUser::None);
}

// A full disk, made with the file size limit: the file keeps the whole packets that reached it
// (200 000 bytes hold 1063 of them), is closed, and the failure is reported.
TEST_F(RecorderTest, AFullDiskLeavesTheWholePacketsWrittenBeforeIt) {
    FakeFeed feed(pidCycleStream(40000, kCycle), 2000 * 188);
    RecordSettings settings;
    settings.limit = 0;
    settings.path = (dir_ / "out.ts").string();
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 200'000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    RecordStatus s;
    {
        Recorder recorder(feed);
        ASSERT_EQ(recorder.start(settings), std::nullopt);
        recorder.waitUntilEnded(10s);
        s = recorder.status();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(s.endedBy, RecordEnd::WriteFailed);
    EXPECT_EQ(s.message, "写入文件" + settings.path + "时出错。");
    EXPECT_EQ(messages_, std::vector<std::string>{s.message});
    const std::vector<std::uint8_t> file = readFile(settings.path);
    ASSERT_EQ(file.size(), 1063u * 188);
    EXPECT_EQ(s.bytes, file.size());
    EXPECT_EQ(s.packets, 1063u);
    std::vector<std::uint32_t> all(1063);
    std::iota(all.begin(), all.end(), 0u);
    EXPECT_EQ(indices(file), all);
}

}  // namespace
}  // namespace orv::test
