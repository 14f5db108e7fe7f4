// `orv01 analyze` end to end: generated files with faults of every family at known packets, in
// 188 and 204-byte form, and the real captures, through the command's JSON output.
#include "shell/cli/analyze_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "platform/message.h"
#include "tests/shell/cli_test_fixture.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class AnalyzeCommandTest : public CliTest {
  protected:
    // Runs the command; the JSON document, or nullopt when it failed (messages_ says why).
    std::optional<json> analyze(const std::string& file, bool writeLog = false,
                                std::optional<double> bitrate = std::nullopt) {
        AnalyzeOptions o = options(file, true, bitrate);
        o.writeLog = writeLog;
        o.logPath = (dir_ / "error.log").string();
        const std::string out = run(o);
        if (exitCode_ != 0) return std::nullopt;
        return json::parse(out);
    }
};

tsgen::Fault fault(tsgen::FaultKind kind, uint64_t at, std::optional<uint16_t> pid,
                   std::optional<int64_t> value = std::nullopt, uint64_t until = 0) {
    return tsgen::Fault{.kind = kind, .at = at, .until = until, .pid = pid, .value = value};
}

// The events after the run event, as "code detail".
std::vector<std::string> events(const json& doc) {
    std::vector<std::string> out;
    for (const json& e : doc["events"]) {
        if (e["code"].get<int>() < 1010) continue;
        out.push_back(std::to_string(e["code"].get<int>()) + " " + e["detail"].get<std::string>());
    }
    return out;
}

std::string at(uint64_t packetNumber) {
    return " 第" + std::to_string(packetNumber) + "包";
}

struct FamilyCase {
    const char* name;
    tsgen::Fault fault;
    // The expected event texts, given where the fault landed.
    std::vector<std::string> (*expected)(const tsgen::AppliedFault& a);
};

TEST_F(AnalyzeCommandTest, EveryFaultFamilyGivesItsEventsAtItsPackets) {
    using tsgen::FaultKind;
    const std::vector<FamilyCase> cases = {
        {"continuity: lost packet", fault(FaultKind::CcSkip, 20000, 0x201, 1),
         [](const tsgen::AppliedFault& a) {
             return std::vector<std::string>{"1042 PID=0x0201的TS包出现丢包" + at(a.packet + 1)};
         }},
        {"continuity: packet sent three times",
         [] {
             tsgen::Fault f = fault(FaultKind::CcRepeat, 20000, 0x102);
             f.count = 2;
             return f;
         }(),
         [](const tsgen::AppliedFault& a) {
             return std::vector<std::string>{"1041 PID=0x0102的TS包出现超过2次" + at(a.other + 1)};
         }},
        {"header: transport error", fault(FaultKind::TransportError, 20000, 0x101),
         [](const tsgen::AppliedFault& a) {
             return std::vector<std::string>{"1070 PID0x0101的TS包传送错误标志位等于'1'" +
                                             at(a.packet)};
         }},
        {"header: scrambled PAT without CAT", fault(FaultKind::Scrambling, 20000, 0x0),
         [](const tsgen::AppliedFault& a) {
             return std::vector<std::string>{
                 "1110 TS包(PID=0x0000)加扰不等于'00'且CAT没有出现" + at(a.packet),
                 "1032 PID=0x0000的TS包加扰标志位不等于'0'" + at(a.packet + 1)};
         }},
        {"tables: PAT table_id", fault(FaultKind::WrongTableId, 20000, 0x0, 2),
         [](const tsgen::AppliedFault& a) {
             return std::vector<std::string>{"1031 PID=0x0000的TS包含有的table_id不等于'0x00'" +
                                             at(a.packet + 1)};
         }},
        {"stray PID", fault(FaultKind::StrayPid, 20000, 0x777),
         [](const tsgen::AppliedFault& a) {
             return std::vector<std::string>{"1160 PID=0x0777的TS包在0.5s内不被任何PMT指出" +
                                             at(a.packet + 1)};
         }},
    };
    for (unsigned size : {188u, 204u}) {
        for (const FamilyCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(size));
            tsgen::PresetOptions opt;
            opt.packetSize = size;
            tsgen::GenerateResult applied;
            const std::vector<uint8_t> ts =
                tsgen::generateStream(tsgen::cleanPreset(opt).config, {c.fault}, &applied);
            ASSERT_EQ(applied.applied.size(), 1u);
            const std::optional<json> doc = analyze(write(ts));
            ASSERT_TRUE(doc.has_value()) << exitCode_;
            EXPECT_EQ(events(*doc), c.expected(applied.applied[0]));
            EXPECT_EQ((*doc)["packetLength"], size);
            EXPECT_EQ((*doc)["packets"], ts.size() / size);
        }
    }
}

// Families whose events come from the table, PCR and time stamp checks: the code, the text
// and how many, on the clean 188-byte stream.
TEST_F(AnalyzeCommandTest, TimingAndRepetitionFamilies) {
    using tsgen::FaultKind;
    struct Case {
        const char* name;
        tsgen::Fault fault;
        std::vector<std::string> prefixes;  // each event's text starts so, in order
    };
    const std::vector<Case> cases = {
        {"PAT left out for 1.2 s",
         fault(FaultKind::TableGap, 20000, 0x0, std::nullopt, 26000),
         {"1030 PAT(table_id=0x00)出现间隔等于1.2000s(>0.5s)"}},
        {"PMT CRC damage",
         fault(FaultKind::CrcDamage, 20000, 0x200),
         {"1082 PMT(节目0002,PMT_PID:0x0200)发生CRC错误"}},
        {"PCR gap",
         fault(FaultKind::PcrGap, 20000, 0x210, std::nullopt, 21000),
         {"1090 PCR(PCR_PID=0x0210)出现间隔等于239.8880ms(>40ms)",
          "1091 PCR(PCR_PID=0x0210)出现间隔等于239.8880ms(不在0...100ms范围内)"}},
        {"audio left out for a second",
         fault(FaultKind::TableGap, 20000, 0x202, std::nullopt, 26000),
         {"1101 音频(PID=0x0202,属于节目0002)PTS间隔等于1152.06ms(>700ms)",
          "1148 音频(PID=0x0202,属于节目0002)ES缓冲器(EBn)发生下溢"}},
    };
    for (unsigned size : {188u, 204u}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(size));
            tsgen::PresetOptions opt;
            opt.packetSize = size;
            const std::vector<uint8_t> ts =
                tsgen::generateStream(tsgen::cleanPreset(opt).config, {c.fault});
            const std::optional<json> doc = analyze(write(ts));
            ASSERT_TRUE(doc.has_value());
            const std::vector<std::string> got = events(*doc);
            ASSERT_EQ(got.size(), c.prefixes.size()) << (got.empty() ? "" : got.front());
            for (std::size_t i = 0; i < got.size(); ++i) {
                // The measured values depend on packet positions, so at 204 bytes (fewer packets
                // at the same bitrate) only the event and its text up to the value are compared.
                const std::string& want = c.prefixes[i];
                const std::size_t cut =
                    size == 188 ? want.size() : std::min(want.size(), want.find("等于"));
                EXPECT_EQ(got[i].substr(0, cut), want.substr(0, cut)) << got[i];
            }
        }
    }

    // A PTS jump of a second: every later video PES header is a data delay error.
    const std::vector<uint8_t> ts = tsgen::generateStream(
        tsgen::cleanPreset().config, {fault(FaultKind::PtsGap, 20000, 0x201, 1000)});
    const std::optional<json> doc = analyze(write(ts));
    ASSERT_TRUE(doc.has_value());
    const std::vector<std::string> got = events(*doc);
    ASSERT_GT(got.size(), 100u);
    for (const std::string& e : got)
        EXPECT_EQ(e.rfind("1220 视频(PID=0x0201,属于节目0002)数据延迟错误", 0), 0u) << e;
}

TEST_F(AnalyzeCommandTest, ReportHoldsStructureTablesGuideAndPcr) {
    const tsgen::Preset sample = tsgen::samplePreset();
    const std::optional<json> doc =
        analyze(write(tsgen::generateStream(sample.config, sample.faults)), true);
    ASSERT_TRUE(doc.has_value());
    const json& d = *doc;
    EXPECT_NEAR(d["bitrate"]["current"].get<double>(), 8.0, 0.001);
    ASSERT_EQ(d["kinds"].size(), 32u);
    EXPECT_EQ(d["kinds"][3]["name"], "连续计数错误");
    EXPECT_EQ(d["kinds"][3]["count"], 2);
    EXPECT_EQ(d["kinds"][3]["lamp"], "red");
    EXPECT_EQ(d["kinds"][0]["lamp"], "green");
    ASSERT_EQ(d["programs"].size(), 2u);
    EXPECT_EQ(d["programs"][1]["pcrPid"], 0x210);
    EXPECT_EQ(d["programs"][1]["components"][0], (json{{"pid", 0x201}, {"streamType", 2}}));
    std::vector<std::string> tables;
    for (const json& t : d["tables"])
        tables.push_back(t["name"]);
    EXPECT_EQ(tables, (std::vector<std::string>{"PAT", "PMT 1", "PMT 2", "NIT actual", "SDT actual",
                                                "EIT p/f actual", "EIT schedule actual",
                                                "EIT schedule actual", "TDT", "TOT"}));
    EXPECT_NEAR(d["tables"][0]["interval"]["max"].get<double>(), 0.1, 0.001);
    ASSERT_EQ(d["guide"]["actual"].size(), 2u);
    EXPECT_EQ(d["guide"]["actual"][0]["name"], "ORV News");
    ASSERT_EQ(d["pcr"].size(), 2u);
    EXPECT_NEAR(d["pcr"][0]["interval"]["max"].get<double>(), 30.0, 1.0);
    // The event list went to the error log as a stop does, and the file is GBK text.
    ASSERT_FALSE(d["errorLog"].get<std::string>().empty());
    EXPECT_TRUE(fs::exists(d["errorLog"].get<std::string>()));
}

TEST_F(AnalyzeCommandTest, RealCapturesEndAsTheyMust) {
    const fs::path streams = ORV_STREAMS_DIR;
    if (!fs::is_directory(streams)) GTEST_SKIP() << "no captures at " << streams;
    struct Case {
        const char* file;
        int exitCode;
        std::string message;  // empty: analysed
    };
    const Case cases[] = {
        {"cap-mpeg2-mp2-sdt.ts", 0, ""},
        {"cap-h264-mp2-sdt.ts", 0, ""},
        {"cap-mpeg2-dts-mp2.ts", 0, ""},
        {"cap-si-only-nit-sdt-eit-tdt.ts", 2, "文件初始化失败"},
        {"cap-eit-cat-short.ts", 2, "文件长度不够!"},
        {"cap-h264-teletext-short.ts", 2, "文件长度不够!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        messages_.clear();
        const std::optional<json> doc = analyze((streams / c.file).string());
        EXPECT_EQ(exitCode_, c.exitCode);
        if (!c.message.empty()) {
            ASSERT_FALSE(messages_.empty());
            EXPECT_EQ(messages_[0], c.message);
            continue;
        }
        ASSERT_TRUE(doc.has_value());
        EXPECT_EQ((*doc)["packets"].get<uint64_t>(), fs::file_size(streams / c.file) / 188);
    }

    // The one program of the MPEG-2 capture, and its counters frozen once checked by hand.
    const std::optional<json> doc = analyze((streams / "cap-mpeg2-mp2-sdt.ts").string());
    ASSERT_TRUE(doc.has_value());
    const json& p = (*doc)["programs"][0];
    EXPECT_EQ(p["number"], 0x810);
    EXPECT_EQ(p["pmtPid"], 0x810);
    EXPECT_EQ(p["pcrPid"], 0x100);
    EXPECT_EQ(p["components"],
              (json{{{"pid", 0x1000}, {"streamType", 2}}, {{"pid", 0x1001}, {"streamType", 3}}}));
    std::vector<int> counts;
    for (const json& k : (*doc)["kinds"])
        counts.push_back(k["count"]);
    std::vector<int> expected(32, 0);
    expected[9] = 5;  // "PCR间隔错误": five PCR gaps on 0x100 of 40.3 to 46.3 ms
    EXPECT_EQ(counts, expected);

    // The H.264 capture's PMT (packet 2: "1b e1 00 f0 00 03 e1 01 f0 06 ...") lists its video
    // with stream_type 0x1b, which is kept in the list of the reserved types.
    const std::optional<json> h264 = analyze((streams / "cap-h264-mp2-sdt.ts").string());
    ASSERT_TRUE(h264.has_value());
    EXPECT_EQ((*h264)["programs"][0]["components"],
              (json{{{"pid", 0x101}, {"streamType", 3}}, {{"pid", 0x100}, {"streamType", 0x1b}}}));
}

// The long captures, legal streams from other multiplexers, give only the findings checked by
// hand: no continuity, CRC, PCR jitter or PCR discontinuity event but the one CRC error the SI
// extract really holds, and no buffer event for AAC audio declared as MPEG audio.
TEST_F(AnalyzeCommandTest, RealCapturesGiveOnlyTheirRealFindings) {
    const fs::path streams = ORV_STREAMS_DIR;
    if (!fs::is_directory(streams)) GTEST_SKIP() << "no captures at " << streams;
    struct Case {
        const char* file;
        std::optional<double> bitrate;
        std::map<int, int> counts;  // event code -> count, the run event 1001 aside
    };
    const Case cases[] = {
        // PCR gaps on 0x100 of 40.3 to 46.3 ms.
        {"cap-mpeg2-mp2-sdt.ts", std::nullopt, {{1090, 5}}},
        // The encoder sends a PCR every 100 ms.
        {"cap-h264-mp2-sdt.ts", std::nullopt, {{1090, 99}}},
        // One 40.2 ms PCR gap; PAT, PMT and SIT sent back to back at 33 Mbit/s overfill TBsys.
        {"cap-mpeg2-dts-mp2.ts", std::nullopt, {{1090, 1}, {1142, 8}}},
        // No PCR at all (PCR_PID 0x1FFF); ADTS frames (FF F1 ..) under stream_type 4.
        {"cap-h264-aac.ts", 2.0, {}},
        // The EIT section of packets 2972 and 2973 (counted from 1; "4e f1 4f ...") has an
        // extended event descriptor whose text jumps from "Laura e" to "e pause" at the packet
        // boundary: bytes lost in the capture with the counter running on, so its CRC fails.
        {"cap-si-only-nit-sdt-eit-tdt.ts", 0.15, {{1084, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::optional<json> doc = analyze((streams / c.file).string(), false, c.bitrate);
        ASSERT_TRUE(doc.has_value()) << exitCode_;
        std::map<int, int> counts;
        for (const json& e : (*doc)["events"])
            if (e["code"] != 1001) ++counts[e["code"].get<int>()];
        EXPECT_EQ(counts, c.counts);
    }
    const std::optional<json> si =
        analyze((streams / "cap-si-only-nit-sdt-eit-tdt.ts").string(), false, 0.15);
    ASSERT_TRUE(si.has_value());
    EXPECT_EQ((*si)["events"][1]["packet"], 2973);
    EXPECT_EQ((*si)["events"][1]["pid"], 0x12);
}

// An SI extract (PAT, NIT, SDT, EIT, TDT; no PMT, so no PCR) is refused with a pointer to
// --bitrate, and analysed at the rate it is given.
TEST_F(AnalyzeCommandTest, SiExtractIsAnalysedAtAGivenBitrate) {
    const fs::path file = fs::path(ORV_STREAMS_DIR) / "cap-si-only-nit-sdt-eit-tdt.ts";
    if (!fs::exists(file)) GTEST_SKIP() << "no capture " << file;
    EXPECT_FALSE(analyze(file.string()).has_value());
    EXPECT_EQ(exitCode_, kExitInputError);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[0], "文件初始化失败");
    EXPECT_NE(messages_[1].find("--bitrate"), std::string::npos) << messages_[1];

    const std::optional<json> doc = analyze(file.string(), false, 5.0);
    ASSERT_TRUE(doc.has_value()) << exitCode_;
    EXPECT_EQ((*doc)["bitrate"]["current"], 5.0);
    EXPECT_EQ((*doc)["bitrate"]["source"], "option");
    EXPECT_EQ((*doc)["packets"], 6170);
    EXPECT_EQ((*doc)["programs"][0]["pmtFound"], false);
}

// Scripts read an event's packet, PID, kind and time in the stream as numbers.
TEST_F(AnalyzeCommandTest, EventsCarryPacketPidKindAndStreamTime) {
    using tsgen::FaultKind;
    tsgen::GenerateResult applied;
    const std::vector<uint8_t> ts = tsgen::generateStream(
        tsgen::cleanPreset().config,
        {fault(FaultKind::TransportError, 20000, 0x101),
         fault(FaultKind::WrongTableId, 25000, 0x0, 2), fault(FaultKind::CcSkip, 30000, 0x201, 1)},
        &applied);
    ASSERT_EQ(applied.applied.size(), 3u);
    const std::optional<json> doc = analyze(write(ts));
    ASSERT_TRUE(doc.has_value());
    const double mbps = (*doc)["bitrate"]["current"].get<double>();
    struct Expected {
        int code;
        uint64_t packet;
        int pid;
        int kind;
    };
    // Packet numbers as the texts of these families quote them (see the tests above).
    const Expected expected[] = {
        {1070, applied.applied[0].packet, 0x101, 7},      // "传送流传送错误"
        {1031, applied.applied[1].packet + 1, 0x000, 2},  // "PAT错误": the PAT's PID
        {1042, applied.applied[2].packet + 1, 0x201, 3},  // "连续计数错误"
    };
    const json& events = (*doc)["events"];
    ASSERT_EQ(events.size(), 4u);
    const json& run = events[0];
    EXPECT_EQ(run["code"], 1001);
    EXPECT_TRUE(run["packet"].is_null());
    EXPECT_TRUE(run["pid"].is_null());
    EXPECT_TRUE(run["kind"].is_null());
    EXPECT_EQ(run["streamTime"], 0.0);
    for (std::size_t i = 0; i < 3; ++i) {
        const json& e = events[i + 1];
        const Expected& x = expected[i];
        SCOPED_TRACE(x.code);
        EXPECT_EQ(e["code"], x.code);
        EXPECT_EQ(e["packet"], x.packet);
        EXPECT_NE(e["detail"].get<std::string>().find(at(x.packet)), std::string::npos);
        EXPECT_EQ(e["pid"], x.pid);
        EXPECT_EQ(e["kind"], x.kind);
        EXPECT_EQ((*doc)["kinds"][x.kind]["name"], e["type"]);
        EXPECT_NEAR(e["streamTime"].get<double>(), double(x.packet) * 188 * 8 / (mbps * 1e6), 1e-9);
    }
}

// The results page's 误码率: sync, continuity and transport errors over the packets analysed.
TEST_F(AnalyzeCommandTest, ErrorRateInTextAndJson) {
    using tsgen::FaultKind;
    const std::string file = write(tsgen::generateStream(
        tsgen::cleanPreset().config, {fault(FaultKind::TransportError, 20000, 0x101),
                                      fault(FaultKind::TransportError, 21000, 0x201),
                                      fault(FaultKind::CcSkip, 30000, 0x201, 1)}));
    const std::optional<json> doc = analyze(file);
    ASSERT_TRUE(doc.has_value());
    const double packets = (*doc)["packets"].get<double>();
    EXPECT_DOUBLE_EQ((*doc)["errorRate"].get<double>(), 3.0 / packets);

    AnalyzeOptions o;
    o.file = file;
    o.writeLog = false;
    std::ostringstream text;
    ASSERT_EQ(runAnalyze(o, text), kExitAnalysed);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%e", 3.0 / packets);
    EXPECT_NE(text.str().find(std::string("误码率 (error rate)  ") + rate + "\n"),
              std::string::npos)
        << text.str();
}

TEST_F(AnalyzeCommandTest, BitrateOptionTimesFilesWithoutPcr) {
    tsgen::Fault gap = fault(tsgen::FaultKind::PcrGap, 0, std::nullopt, std::nullopt, 60'000);
    const std::string file = write(tsgen::generateStream(tsgen::cleanPreset().config, {gap}));
    EXPECT_FALSE(analyze(file).has_value());
    EXPECT_EQ(exitCode_, kExitInputError);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("--bitrate MBPS"), std::string::npos) << messages_[0];

    const std::optional<json> doc = analyze(file, false, 7.25);
    ASSERT_TRUE(doc.has_value()) << exitCode_;
    EXPECT_EQ((*doc)["bitrate"]["current"], 7.25);
    EXPECT_EQ((*doc)["bitrate"]["mean"], 7.25);
    EXPECT_EQ((*doc)["bitrate"]["source"], "option");

    // Values that cannot be a stream bitrate are refused before anything is read.
    for (double bad : {0.0, -1.0, 1000.5, std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(bad);
        messages_.clear();
        EXPECT_FALSE(analyze(file, false, bad).has_value());
        EXPECT_EQ(exitCode_, kExitInputError);
        EXPECT_EQ(messages_, std::vector<std::string>{"orv01: --bitrate takes the stream bitrate "
                                                      "in Mbit/s, a number above 0 and at most "
                                                      "1000"});
    }
}

TEST_F(AnalyzeCommandTest, BitrateOptionText) {
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"5", 5.0},  {"0.5", 0.5}, {"38.015", 38.015}, {"1000", 1000.0}, {"0", {}}, {"-3", {}},
        {"nan", {}}, {"inf", {}},  {"1e9", {}},        {"38Mbps", {}},   {"", {}},  {" 5", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        messages_.clear();
        EXPECT_EQ(parseBitrateOption(c.text), c.value);
        EXPECT_EQ(messages_.size(), c.value ? 0u : 1u);
    }
}

// A log that cannot be written: the results come first, then the system's message with its
// reason, and the exit code says so.
TEST_F(AnalyzeCommandTest, UnwritableLogComesAfterTheResultsWithItsExitCode) {
    AnalyzeOptions o;
    o.file = write(tsgen::generateStream(tsgen::cleanPreset().config, {}));
    o.json = true;
    o.logPath = (dir_ / "no-such-folder" / "error.log").string();
    std::ostringstream out;
    std::vector<std::string> seen;  // each message with how much output preceded it
    ScopedReasonedMessageHook hook([&](std::string_view text, std::string_view reason) {
        seen.push_back(std::string(text) + "|" + std::string(reason) + "|" +
                       (out.str().empty() ? "before" : "after"));
    });
    EXPECT_EQ(runAnalyze(o, out), kExitLogNotWritten);
    EXPECT_EQ(seen, std::vector<std::string>{"打开文件" + o.logPath +
                                             "时出错。|No such file or directory|after"});
    const json doc = json::parse(out.str());
    EXPECT_EQ(doc["errorLog"], "");
    EXPECT_EQ(doc["endedBy"], "end of file");
}

// A stream that pokes the file while the progress line is drawn: the first write cuts the file.
class CutOnFirstWrite : public std::streambuf {
  public:
    CutOnFirstWrite(fs::path file, uint64_t size) : file_(std::move(file)), size_(size) {}
    std::string written;

  protected:
    int overflow(int c) override {
        cut();
        written.push_back(static_cast<char>(c));
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        cut();
        written.append(s, static_cast<std::size_t>(n));
        return n;
    }

  private:
    void cut() {
        if (!cut_) fs::resize_file(file_, size_);
        cut_ = true;
    }
    fs::path file_;
    uint64_t size_;
    bool cut_ = false;
};

// The progress line is one line that ends with a newline at 100 %; a file that shrinks during
// the run is reported with what was read, a message and its own exit code.
TEST_F(AnalyzeCommandTest, ProgressLineAndAFileThatShrinks) {
    AnalyzeOptions o;
    o.file = write(tsgen::generateStream(tsgen::cleanPreset().config, {}));
    o.json = true;
    o.writeLog = false;
    o.progress = true;
    std::ostringstream out;
    std::ostringstream progress;
    ASSERT_EQ(runAnalyze(o, out, progress), kExitAnalysed);
    const std::string line = progress.str();
    EXPECT_TRUE(line.ends_with("\ranalysing 100 %\n")) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);

    const uint64_t keep = 2000 * 188;
    CutOnFirstWrite cutter(o.file, keep);
    std::ostream cutting(&cutter);
    std::ostringstream cutOut;
    std::vector<std::string> seen;
    ScopedReasonedMessageHook hook([&](std::string_view text, std::string_view reason) {
        seen.push_back(std::string(text) + "|" + std::string(reason) + "|" +
                       (cutOut.str().empty() ? "before" : "after"));
    });
    EXPECT_EQ(runAnalyze(o, cutOut, cutting), kExitIncomplete);
    const json doc = json::parse(cutOut.str());
    EXPECT_EQ(doc["endedBy"], "file shrank");
    EXPECT_EQ(doc["packets"], 2000);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].rfind("读取文件" + o.file + "时出错。|the file ended at byte 376000,", 0), 0u)
        << seen[0];
    EXPECT_TRUE(seen[0].ends_with("|after"));
    EXPECT_EQ(cutter.written.back(), '\n');  // the line ends before the message
}

}  // namespace
}  // namespace orv::cli
