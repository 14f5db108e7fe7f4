// `orv01 record`, `orv01 scan` and `orv01 signal` as a user runs them: the program in a child
// process on a simulated card or box (ORV_SIM_DEVICE) or on a UDP stream a thread of the test
// plays over loopback. Recordings hold whole packets of the chosen PIDs only, within the limit,
// end cleanly on SIGINT and are analysed again by `orv01 analyze`.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/shell/orv01_process.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct FileCheck {
    bool wholePackets = true;  // a multiple of 188, every packet with its sync byte
    std::set<int> pids;
};

FileCheck check(const std::vector<uint8_t>& bytes) {
    FileCheck c;
    c.wholePackets = bytes.size() % 188 == 0;
    for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188) {
        c.wholePackets = c.wholePackets && bytes[at] == 0x47;
        c.pids.insert((bytes[at + 1] & 0x1F) << 8 | bytes[at + 2]);
    }
    return c;
}

std::string all(Orv01& run) {
    std::string text;
    while (const std::optional<std::string> l = run.line())
        text += *l;
    return text;
}

class TuneCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orv-tune-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        tsgen::PresetOptions opt;
        opt.durationMs = 2000;
        stream_ = tsgen::generateStream(tsgen::cleanPreset(opt).config);
        std::ofstream(dir_ / "stream.ts", std::ios::binary)
            .write(reinterpret_cast<const char*>(stream_.data()),
                   static_cast<std::streamsize>(stream_.size()));
        for (std::size_t at = 0; at + 188 <= stream_.size(); at += 188)
            streamPids_.insert((stream_[at + 1] & 0x1F) << 8 | stream_[at + 2]);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path sub(const std::string& name) const {
        fs::create_directories(dir_ / name);
        return dir_ / name;
    }
    // The simulated PCI card playing the stream four times as fast as its 8 Mbit/s.
    std::string pci(const std::string& more = "") const {
        return "pci:file=" + (dir_ / "stream.ts").string() + ",speed=4" + more;
    }

    fs::path dir_;
    std::vector<uint8_t> stream_;
    std::set<int> streamPids_;
};

// ---------------------------------------------------------------------------------------------

struct RecordRow {
    const char* name;
    std::vector<std::string> args;  // after "record OUT"
    std::set<int> excluded;         // PIDs that must not be in the file
    std::set<int> only;             // when not empty: exactly these PIDs
};

class RecordFromCard : public TuneCommandsTest, public ::testing::WithParamInterface<RecordRow> {};

TEST_P(RecordFromCard, WritesWholePacketsOfTheChosenPidsWithinTheLimit) {
    SKIP_REAL_TIME_RUN_IF_SANITIZED();
    const RecordRow& row = GetParam();
    const fs::path out = dir_ / "out.ts";
    std::vector<std::string> args{"record", out.string()};
    args.insert(args.end(), row.args.begin(), row.args.end());
    Orv01 run(sub("record"), args, pci());
    ASSERT_TRUE(run.started());
    EXPECT_EQ(run.wait(), 0) << run.errors();
    const std::vector<uint8_t> bytes = readBytes(out);
    const FileCheck c = check(bytes);
    EXPECT_TRUE(c.wholePackets);
    // 1 MB holds 5319 whole packets.
    EXPECT_EQ(bytes.size(), 5319u * 188);
    if (!row.only.empty()) {
        EXPECT_EQ(c.pids, row.only);
    } else {
        // A second of the stream: every PID but the excluded (a table sent less often may not
        // have come), and program 1 whole.
        for (int pid : c.pids)
            EXPECT_TRUE(streamPids_.count(pid) && !row.excluded.count(pid)) << pid;
        for (int pid : {0x0, 0x100, 0x101, 0x102})
            EXPECT_TRUE(c.pids.count(pid)) << pid;
    }
    EXPECT_NE(run.errors().find("limit reached"), std::string::npos) << run.errors();

    if (row.only.empty()) {
        // Program 1 kept whole: analyze finds its PAT, PMT and components again.
        Orv01 analyze(sub("analyze"), {"analyze", "--json", "--no-log", out.string()});
        const json doc = json::parse(all(analyze));
        EXPECT_EQ(analyze.wait(), 0) << analyze.errors();
        std::set<int> components;
        for (const json& p : doc["programs"])
            for (const json& e : p["components"])
                components.insert(e["pid"].get<int>());
        EXPECT_TRUE(components.count(0x101) && components.count(0x102)) << doc["programs"];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RecordFromCard,
    ::testing::Values(
        RecordRow{"pids", {"--pids", "0x100,0x101", "--size", "1"}, {}, {0x100, 0x101}},
        RecordRow{"exclude",
                  {"card", "--exclude", "0x200,0x201,0x202,0x210", "--size", "1"},
                  {0x200, 0x201, 0x202, 0x210},
                  {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TuneCommandsTest, RecordEndsAtItsTimeLimitAndCleanlyOnSigint) {
    SKIP_REAL_TIME_RUN_IF_SANITIZED();
    const fs::path timed = dir_ / "timed.ts";
    const auto before = Clock::now();
    Orv01 run(sub("timed"), {"record", timed.string(), "--time", "1"}, pci());
    EXPECT_EQ(run.wait(), 0) << run.errors();
    const double took = std::chrono::duration<double>(Clock::now() - before).count();
    // One second of recording after the second of the initialisation step.
    EXPECT_GE(took, 2.0);
    EXPECT_LT(took, 6.0);
    EXPECT_TRUE(check(readBytes(timed)).wholePackets);
    EXPECT_GT(fs::file_size(timed), 1'000'000u);  // 32 Mbit/s for a second
    EXPECT_NE(run.errors().find("limit reached"), std::string::npos) << run.errors();

    const fs::path stopped = dir_ / "stopped.ts";
    Orv01 endless(sub("sigint"), {"record", stopped.string()}, pci());
    for (int i = 0; i < 100 && (!fs::exists(stopped) || fs::file_size(stopped) < 200'000); ++i)
        std::this_thread::sleep_for(50ms);
    endless.signal(SIGINT);
    EXPECT_EQ(endless.wait(), 0) << endless.errors();
    const std::vector<uint8_t> bytes = readBytes(stopped);
    EXPECT_GE(bytes.size(), 200'000u);
    EXPECT_TRUE(check(bytes).wholePackets);
    EXPECT_NE(endless.errors().find("(stopped)"), std::string::npos) << endless.errors();
}

TEST_F(TuneCommandsTest, RecordFromUdpUsesTheSameFilterAndLimit) {
    SKIP_REAL_TIME_RUN_IF_SANITIZED();
    const uint16_t port = freePort();
    const fs::path out = dir_ / "udp.ts";
    Orv01 run(sub("udp"), {"record", out.string(), "udp://127.0.0.1:" + std::to_string(port),
                           "--pids", "0x100,0x101", "--size", "1"});
    ASSERT_TRUE(run.started());
    std::atomic<bool> done{false};
    std::thread sender([&] {
        // The stream at 24 Mbit/s, over and over, until the recording has ended.
        for (int loops = 0; !done.load() && loops < 15; ++loops)
            sendPaced(stream_, port, 24'000'000, false);
    });
    const int rc = run.wait();
    done = true;
    sender.join();
    EXPECT_EQ(rc, 0) << run.errors();
    const std::vector<uint8_t> bytes = readBytes(out);
    EXPECT_EQ(bytes.size(), 5319u * 188);
    const FileCheck c = check(bytes);
    EXPECT_TRUE(c.wholePackets);
    EXPECT_EQ(c.pids, (std::set<int>{0x100, 0x101}));
}

// ---------------------------------------------------------------------------------------------

struct RefusalRow {
    const char* name;
    std::vector<std::string> args;
    bool simulated;  // with the simulated card (else no card at all)
    const char* message;
};

class Refusals : public TuneCommandsTest, public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(Refusals, EndWithExitCodeTwoAndSayWhy) {
    const RefusalRow& row = GetParam();
    std::vector<std::string> args;
    for (const std::string& a : row.args)
        args.push_back(a == "OUT" ? (dir_ / "out.ts").string() : a);
    Orv01 run(sub("run"), args, row.simulated ? pci() : "");
    ASSERT_TRUE(run.started());
    all(run);
    EXPECT_EQ(run.wait(), 2) << run.errors();
    EXPECT_NE(run.errors().find(row.message), std::string::npos) << run.errors();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Refusals,
    ::testing::Values(
        RefusalRow{"file_not_created",
                   {"record", "/nonexistent-dir/out.ts"},
                   true,
                   "创建文件失败!请修改保存文件名或路径!"},
        RefusalRow{"no_card", {"record", "OUT"}, false, "初始化失败！"},
        RefusalRow{"bad_pid", {"record", "OUT", "--pids", "0x100,0x2000"}, true, "is not a PID"},
        RefusalRow{"pids_and_exclude",
                   {"record", "OUT", "--pids", "1", "--exclude", "2"},
                   true,
                   "excludes"},
        RefusalRow{
            "size_and_time", {"record", "OUT", "--size", "1", "--time", "1"}, true, "excludes"},
        RefusalRow{
            "raw_from_udp", {"record", "OUT", "udp://127.0.0.1:5000", "--raw"}, true, "--raw"},
        RefusalRow{"card_options_for_udp",
                   {"record", "OUT", "udp://127.0.0.1:5000", "--interface", "cable"},
                   true,
                   "IP input"},
        RefusalRow{"scan_bad_qam", {"scan", "--qam", "48"}, true, "--qam"},
        RefusalRow{"scan_no_card", {"scan"}, false, "card 0 cannot be opened"},
        RefusalRow{"signal_no_card", {"signal"}, false, "card 0 cannot be opened"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

TEST_F(TuneCommandsTest, ScanAndSignalOnTheSimulatedChannel) {
    // One frequency: the card's own channel locks; JSON gives its values.
    Orv01 hit(sub("hit"), {"scan", "--freq", "474000"}, pci(",freq=474000,sr=6875,qam=64"));
    EXPECT_EQ(all(hit), "474000KHz...OK!\n");
    EXPECT_EQ(hit.wait(), 0) << hit.errors();
    Orv01 json(sub("json"), {"scan", "--freq", "474000", "--qam", "256", "--json"},
               pci(",freq=474000,sr=6875,qam=256"));
    EXPECT_EQ(
        nlohmann::json::parse(all(json)),
        (nlohmann::json{
            {"frequencyKHz", 474000}, {"symbolRateK", 6875}, {"qam", 256}, {"locked", true}}));
    EXPECT_EQ(json.wait(), 0) << json.errors();

    // The status panel's values from the USB box: its level bytes (150, 0) give 98.6 dBuV and
    // its quality byte 20 gives 210 / (0.4 x 20 + 5) + 12.5 = 28.65 dB for 64-QAM.
    Orv01 signal(sub("signal"), {"signal", "--freq", "474000"},
                 "usb:file=" + (dir_ / "stream.ts").string() +
                     ",freq=474000,sr=6875,qam=64,levela=150,levelb=0,qualitybyte=20");
    EXPECT_EQ(all(signal),
              "输入接口：CABLE 输入\n锁定状态：锁定\n下行频率：474000 kHz\n符号率：6875 kbaud\n"
              "调制模式：64 QAM\n载噪比：28.7 dB\nSignal level: 98.6 dBuV\n"
              "Error ratio: 1.000e-03\n");
    EXPECT_EQ(signal.wait(), 0) << signal.errors();

    // A channel the box does not carry: not locked, exit 1.
    Orv01 off(sub("off"), {"signal", "--freq", "482000"},
              "usb:file=" + (dir_ / "stream.ts").string() + ",freq=474000,sr=6875,qam=64");
    const std::string text = all(off);
    EXPECT_NE(text.find("锁定状态：未锁定\n"), std::string::npos) << text;
    EXPECT_EQ(off.wait(), 1) << off.errors();
}

}  // namespace
