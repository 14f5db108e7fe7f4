// `orv01 monitor` end to end, as a user runs it: the program in a child process on a simulated
// card or box (ORV_SIM_DEVICE) or on a UDP/RTP stream a thread of the test sends over loopback,
// compared with `orv01 analyze --json` of the same file. The runs are short: the run start event
// comes 6.5 s after the first PMT whatever the speed, so each run lasts about 10 s.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/shell/orv01_process.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

const fs::path kStreams = ORV_STREAMS_DIR;

class MonitorCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orv-monitor-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path sub(const std::string& name) const {
        fs::create_directories(dir_ / name);
        return dir_ / name;
    }
    json analyze(const fs::path& file) {
        Orv01 run(sub("analyze-" + file.stem().string()),
                  {"analyze", "--json", "--no-log", file.string()});
        std::string text;
        while (const std::optional<std::string> l = run.line())
            text += *l;
        EXPECT_EQ(run.wait(), 0) << run.errors();
        return json::parse(text);
    }
    fs::path write(const std::vector<uint8_t>& ts, const char* name) {
        std::ofstream(dir_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(ts.data()),
                   static_cast<std::streamsize>(ts.size()));
        return dir_ / name;
    }
    fs::path dir_;
};

// The per-second lines' events, and the final document (the last line).
std::vector<json> secondEvents(const std::vector<json>& lines) {
    std::vector<json> events;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        for (const json& e : lines[i]["events"])
            events.push_back(e);
    return events;
}

using CodePid = std::pair<int, int>;
std::set<CodePid> codePids(const std::vector<json>& events) {
    std::set<CodePid> out;
    for (const json& e : events)
        if (!e["packet"].is_null())
            out.insert({e["code"], e["pid"].is_null() ? -1 : int(e["pid"])});
    return out;
}

std::set<int> codes(const std::vector<json>& events) {
    std::set<int> out;
    for (const json& e : events)
        out.insert(e["code"].get<int>());
    return out;
}

// Tables by name, table_id, PID and sections (their intervals are timed differently live).
std::vector<std::string> tableKeys(const json& doc) {
    std::vector<std::string> out;
    for (const json& t : doc["tables"])
        out.push_back(t["name"].get<std::string>() + "/" + t["tableId"].dump() + "/" +
                      t["pid"].dump() + "/" + t["sections"].dump());
    return out;
}

// The simulated devices loop the file. Where its last packet meets its first again, the
// continuity counters jump on every PID (1042, or 1040 where the jump reads as out of order), the
// PCR jumps back by the file's length without a discontinuity flag (1091), the buffer models see
// the end of one PES packet followed by the middle of another (1140..1147), and from then on PCR
// jitter (1092) is measured against arrival times across the jump. On cap-mpeg2-mp2-sdt.ts (9751
// packets) at speed 1 the seams were at packets 1472 and 11223 of the run, with one 1042 on each of
// the PIDs 0x1000, 0x1001, 0x0000 and 0x0810 within 260 packets of each, a 1091 and the buffer
// events there, and every 1092 after the first seam. These codes are set aside here
// (cap-mpeg2-dts-mp2.ts gives some of them in analyze too), but continuity is still held to one
// 1040/1042 per PID and seam.
const std::set<int> kSeamCodes = {1040, 1042, 1091, 1092, 1140, 1141,
                                  1142, 1143, 1144, 1145, 1146, 1147};

std::vector<json> withoutSeamCodes(const std::vector<json>& events) {
    std::vector<json> out;
    for (const json& e : events)
        if (kSeamCodes.count(e["code"].get<int>()) == 0) out.push_back(e);
    return out;
}

// (a) The simulated PCI card and USB box playing the long captures: the same programs, tables and
// guide as analyze of the file, the run start event, every event of each second also in the
// error log, and no packet-level event analyze does not give (the seam aside).
TEST_F(MonitorCommandTest, SimulatedDevicesPlayingRealCapturesFindWhatAnalyzeFinds) {
    SKIP_REAL_TIME_RUN_IF_SANITIZED();
    const char* files[] = {"cap-mpeg2-mp2-sdt.ts", "cap-h264-mp2-sdt.ts", "cap-mpeg2-dts-mp2.ts"};
    if (!fs::exists(kStreams / files[0])) GTEST_SKIP() << "no captures in " << kStreams;
    struct Run {
        std::string name;
        fs::path file, log;
        std::unique_ptr<Orv01> process;
    };
    std::vector<Run> runs;
    // All six at once: each takes the same 10 s whatever the others do (the USB box takes about
    // a second longer than the card to deliver its first packets).
    for (const char* f : files) {
        for (const char* device : {"pci", "usb"}) {
            Run r;
            r.name = std::string(device) + " " + f;
            r.file = kStreams / f;
            const fs::path d = sub(std::string(device) + "-" + f);
            r.log = d / "error.log";
            r.process = std::make_unique<Orv01>(
                d,
                std::vector<std::string>{"monitor", "--json", "--quiet", "--duration", "10",
                                         "--log", r.log.string()},
                std::string(device) + ":file=" + r.file.string() + ",speed=2");
            runs.push_back(std::move(r));
        }
    }
    std::map<std::string, json> analysed;
    for (const char* f : files)
        analysed[f] = analyze(kStreams / f);
    for (Run& r : runs) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(r.process->started());
        const std::vector<json> lines = r.process->restOfLines();
        ASSERT_EQ(r.process->wait(), 0) << r.process->errors();
        ASSERT_GE(lines.size(), 6u);
        const json& doc = lines.back();
        const json& file = analysed[r.file.filename().string()];
        EXPECT_EQ(doc["programs"], file["programs"]);
        EXPECT_EQ(tableKeys(doc), tableKeys(file));
        EXPECT_EQ(doc["guide"], file["guide"]);
        EXPECT_EQ(doc["endedBy"], "stopped");

        const std::vector<json> events = secondEvents(lines);
        EXPECT_EQ(codes(events).count(1000), 1u);
        std::vector<json> fileEvents(file["events"].begin(), file["events"].end());
        const std::set<CodePid> known = codePids(fileEvents);
        for (const CodePid& cp : codePids(withoutSeamCodes(events)))
            EXPECT_TRUE(known.count(cp) > 0) << "code " << cp.first << " PID " << cp.second;
        // One continuity event per PID at each seam, no more: the run's packets over the file's,
        // plus the partial loops at both ends.
        const uint64_t seams = doc["packets"].get<uint64_t>() / file["packets"].get<uint64_t>() + 2;
        std::map<int, uint64_t> lost;
        for (const json& e : events)
            if (e["code"] == 1042 || e["code"] == 1040) ++lost[e["pid"].get<int>()];
        for (const auto& [pid, n] : lost)
            EXPECT_LE(n, seams) << "PID " << pid;

        // Every event of the lines is a row of the error log (its detail text, in CP936 there:
        // count the rows instead, one CR LF line each).
        std::ifstream log(r.log, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(log), {}};
        std::size_t rows = 0;
        for (std::size_t p = text.find("\r\n"); p != std::string::npos;
             p = text.find("\r\n", p + 2))
            ++rows;
        EXPECT_GE(rows, events.size());
    }
}

tsgen::Fault fault(tsgen::FaultKind kind, uint64_t at, uint16_t pid) {
    return tsgen::Fault{.kind = kind, .at = at, .pid = pid, .value = std::nullopt};
}

// (b) A generated stream with faults, played in real time over UDP and over RTP: the faults come
// with the codes and PIDs analyze gives for the file. The faults sit 9 s in, after the run start
// event (the first 6.5 s are the initialisation phase). SIGINT ends each run once sent.
TEST_F(MonitorCommandTest, FaultsOverUdpAndRtpGiveTheCodesAndPidsOfAnalyze) {
    SKIP_REAL_TIME_RUN_IF_SANITIZED();
    tsgen::PresetOptions opt;
    opt.bitrate = 8'000'000;
    opt.durationMs = 11'000;
    const uint64_t at = 9ull * 8'000'000 / 8 / 188;  // the packet 9 s in
    const std::vector<uint8_t> ts = tsgen::generateStream(
        tsgen::cleanPreset(opt).config, {fault(tsgen::FaultKind::CcSkip, at, 0x201),
                                         fault(tsgen::FaultKind::TransportError, at + 500, 0x101),
                                         fault(tsgen::FaultKind::StrayPid, at + 1000, 0x777)});
    const json file = analyze(write(ts, "faults.ts"));
    std::vector<json> fileEvents(file["events"].begin(), file["events"].end());
    const std::set<CodePid> expected = codePids(fileEvents);
    ASSERT_TRUE(expected.count({1042, 0x201}) > 0 && expected.count({1070, 0x101}) > 0 &&
                expected.count({1160, 0x777}) > 0);

    struct Run {
        const char* scheme;
        uint16_t port;
        std::unique_ptr<Orv01> process;
        std::thread sender;
    };
    std::vector<Run> runs;
    for (const char* scheme : {"udp", "rtp"}) {
        Run r{scheme, freePort(), nullptr, {}};
        r.process = std::make_unique<Orv01>(
            sub(scheme), std::vector<std::string>{
                             "monitor", "--json", "--quiet", "--no-log",
                             std::string(scheme) + "://127.0.0.1:" + std::to_string(r.port)});
        ASSERT_TRUE(r.process->started());
        runs.push_back(std::move(r));
    }
    for (Run& r : runs) {
        // The first line comes a second after the start, the socket bound by then.
        ASSERT_TRUE(r.process->line().has_value()) << r.process->errors();
        r.sender = std::thread(sendPaced, std::cref(ts), r.port, 8'000'000.0,
                               std::string(r.scheme) == "rtp");
    }
    for (Run& r : runs) {
        SCOPED_TRACE(r.scheme);
        r.sender.join();
        r.process->signal(SIGINT);
        const std::vector<json> lines = r.process->restOfLines();
        EXPECT_EQ(r.process->wait(), 0) << r.process->errors();
        ASSERT_FALSE(lines.empty());
        const std::vector<json> events = secondEvents(lines);
        EXPECT_EQ(lines.back()["programs"], file["programs"])
            << "events of the run: " << json(events).dump();
        EXPECT_EQ(codes(events).count(1000), 1u);
        const std::set<CodePid> got = codePids(events);
        for (const CodePid& cp : expected)
            EXPECT_TRUE(got.count(cp) > 0) << "missing code " << cp.first << " PID " << cp.second;
        bool mdi = false;
        uint64_t lost = 0;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            if (!lines[i].contains("mdi")) continue;
            mdi = true;
            lost = std::max(lost, lines[i]["mdi"]["lostDatagrams"].get<uint64_t>());
        }
        EXPECT_TRUE(mdi);
        // Nothing else, unless the receiver counted lost datagrams (a loaded machine can overrun
        // the socket's buffer; the loss then shows as continuity errors, rightly). The PCR interval
        // and jitter (1090, 1092) are timed live by the local rate of each 40-packet group, taken
        // from arrival times, which a sending thread's pacing on a shared machine moves by
        // milliseconds: those two codes are not the file's to give.
        if (lost > 0) continue;
        for (const CodePid& cp : got) {
            if (cp.first != 1090 && cp.first != 1092) {
                EXPECT_TRUE(expected.count(cp) > 0) << "code " << cp.first << " PID " << cp.second;
            }
        }
    }
}

// (c) Data stops for 6 s after the first second: runState 1 once 5 s passed without data, then
// the run goes on by itself and its start event is 1002.
TEST_F(MonitorCommandTest, InterruptedInputRestartsWithTheInterruptionEvent) {
    SKIP_REAL_TIME_RUN_IF_SANITIZED();
    if (!fs::exists(kStreams / "cap-mpeg2-mp2-sdt.ts")) GTEST_SKIP() << "no captures";
    Orv01 run(sub("run"), {"monitor", "--json", "--quiet", "--no-log", "--duration", "16"},
              "pci:file=" + (kStreams / "cap-mpeg2-mp2-sdt.ts").string() + ",interrupt=6");
    ASSERT_TRUE(run.started());
    const std::vector<json> lines = run.restOfLines();
    ASSERT_EQ(run.wait(), 0) << run.errors();
    bool sawInterrupted = false;
    std::vector<int> runEvents;
    for (const json& l : lines) {
        if (l.contains("runState") && l["runState"] == 1) sawInterrupted = true;
        if (!l.contains("state")) continue;
        for (const json& e : l["events"])
            if (e["code"] >= 1000 && e["code"] <= 1003) runEvents.push_back(e["code"]);
    }
    EXPECT_TRUE(sawInterrupted);
    ASSERT_FALSE(runEvents.empty());
    EXPECT_EQ(runEvents.back(), 1002);
}

// (d) A card that cannot be initialised: the message, exit 2, no status of a run that read.
TEST_F(MonitorCommandTest, CardThatFailsToInitialiseExitsWithTwo) {
    for (const char* device : {"pci:file=/dev/null,nolock", "usb:file=/dev/null,nolock"}) {
        SCOPED_TRACE(device);
        Orv01 run(sub(device[0] == 'p' ? "pci" : "usb"),
                  {"monitor", "--json", "--no-log", "--duration", "5"}, device);
        const std::vector<json> lines = run.restOfLines();
        EXPECT_EQ(run.wait(), 2);
        EXPECT_NE(run.errors().find("初始化接口失败!"), std::string::npos) << run.errors();
        for (const json& l : lines) {
            EXPECT_EQ(l["packets"], 0);
            EXPECT_FALSE(l.contains("programs"));
        }
    }
}

// Bad values on the command line: a message, exit 2, nothing started.
TEST_F(MonitorCommandTest, BadValuesExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"monitor", "satellite"},
        {"monitor", "udp://239.1.1.1"},
        {"monitor", "--interface", "dvb-t"},
        {"monitor", "--qam", "48", "--interface", "cable"},
        {"monitor", "--freq", "474000"},
        {"monitor", "udp://127.0.0.1:5000", "--interface", "asi"},
        {"monitor", "--duration", "-1"},
    };
    for (const auto& args : cases) {
        Orv01 run(sub("bad"), args);
        const std::vector<json> lines = run.restOfLines();
        EXPECT_EQ(run.wait(), 2) << args[1];
        EXPECT_TRUE(lines.empty());
        EXPECT_FALSE(run.errors().empty());
    }
}

// (e) SIGINT during a run at full speed: the program ends within 500 ms with exit 0, and every
// event of its lines is in the error log.
TEST_F(MonitorCommandTest, SigintEndsAFullSpeedRunWithin500msLosingNothing) {
    SKIP_REAL_TIME_RUN_IF_SANITIZED();
    if (!fs::exists(kStreams / "cap-h264-mp2-sdt.ts")) GTEST_SKIP() << "no captures";
    const fs::path log = sub("run") / "error.log";
    Orv01 run(sub("run"), {"monitor", "--json", "--quiet", "--log", log.string()},
              "pci:file=" + (kStreams / "cap-h264-mp2-sdt.ts").string() + ",speed=20");
    ASSERT_TRUE(run.started());
    std::vector<json> lines;
    for (int i = 0; i < 3; ++i) {
        const std::optional<std::string> l = run.line();
        ASSERT_TRUE(l.has_value()) << run.errors();
        lines.push_back(json::parse(*l));
    }
    const auto sent = Clock::now();
    run.signal(SIGINT);
    for (json& l : run.restOfLines())
        lines.push_back(std::move(l));
    EXPECT_EQ(run.wait(), 0) << run.errors();
    EXPECT_LT(Clock::now() - sent, std::chrono::milliseconds(500));
    ASSERT_TRUE(lines.back().contains("programs"));
    EXPECT_GT(lines.back()["packets"].get<uint64_t>(), 0u);
    std::ifstream in(log, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    std::size_t rows = 0;
    for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2))
        ++rows;
    const std::size_t events = secondEvents(lines).size();
    EXPECT_GT(events, 0u);
    EXPECT_GE(rows, events);
}

}  // namespace
