// PAT, CAT and PMT sections end to end through `orv01 analyze`: a section is complete in the
// packet of its last byte, every section start of a packet is collected, and a section cut short
// is counted for its table instead of failing its CRC.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/message.h"
#include "shell/cli/analyze_command.h"
#include "tests/shell/cli_test_fixture.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class SectionCollectionCli : public CliTest {
  protected:
    // The command's output (JSON or text), or nullopt when it did not analyse the file.
    std::optional<std::string> analyze(const std::string& file, bool asJson,
                                       std::optional<double> bitrate = std::nullopt) {
        const std::string out = run(options(file, asJson, bitrate));
        if (exitCode_ != 0) return std::nullopt;
        return out;
    }
};

tsgen::Fault fault(tsgen::FaultKind kind, uint64_t at, uint16_t pid, int64_t value = 0) {
    return tsgen::Fault{.kind = kind, .at = at, .pid = pid, .value = value};
}

const json* tableNamed(const json& doc, const std::string& name) {
    for (const json& t : doc["tables"])
        if (t["name"] == name) return &t;
    return nullptr;
}

// Generated streams at 8 Mbit/s. Each new table version is whole in one packet, so it is applied
// in the packet that carries it: the packet at output index i has the number i + 1. A moved
// elementary stream sends its first packet after that, so it is never unreferenced.
TEST_F(SectionCollectionCli, GeneratedStreams) {
    using tsgen::FaultKind;
    struct Change {
        const char* table;
        unsigned program;
    };
    struct Case {
        const char* name;
        tsgen::PresetOptions options;
        std::vector<tsgen::Fault> (*faults)(const tsgen::StreamConfig&);
        std::vector<Change> changes;  // each at the packet after the one its fault hit
        const char* cutShortLine;     // the table line with one section cut short, if any
    };
    auto options = [](uint64_t ms, bool sharedPmt, unsigned pmtStreams, bool packed) {
        tsgen::PresetOptions o;
        o.durationMs = ms;
        o.sharedPmtPid = sharedPmt;
        o.pmtDataStreams = pmtStreams;
        o.packedPsi = packed;
        return o;
    };
    const Case cases[] = {
        // A new PAT at 3 s and a new PMT moving program 1's audio at 15 s: with PMTs taken only
        // when the next one started, every audio packet in between was unreferenced (17 x 1160).
        {"new PAT and PMT",
         options(20'000, false, 0, false),
         [](const tsgen::StreamConfig& c) {
             tsgen::Fault pat = fault(FaultKind::PatChange, tsgen::slotAtMs(c, 3000), 0);
             pat.pid.reset();
             return std::vector<tsgen::Fault>{
                 pat, fault(FaultKind::PmtChange, tsgen::slotAtMs(c, 15'000), 0x102, 0x103)};
         },
         {{"PAT", 0}, {"PMT", 1}},
         nullptr},
        // Both PMTs back to back in one packet on PID 0x100; program 2's, the second section of
        // the packet, moves its audio at 3 s. It was never collected, so the change went unseen.
        {"PMTs of two programs in one packet",
         options(10'000, true, 0, false),
         [](const tsgen::StreamConfig& c) {
             return std::vector<tsgen::Fault>{
                 fault(FaultKind::PmtChange, tsgen::slotAtMs(c, 3000), 0x202, 0x203)};
         },
         {{"PMT", 2}},
         nullptr},
        // PMTs of 466 bytes (three packets); the middle packet of one is left out at 3 s with the
        // counters going on: no continuity error, and no CRC error for a section that was never
        // whole, but one PMT of program 1 cut short.
        {"a PMT cut short",
         options(10'000, false, 40, false),
         [](const tsgen::StreamConfig& c) {
             return std::vector<tsgen::Fault>{
                 fault(FaultKind::SectionCut, tsgen::slotAtMs(c, 3000), 0x100)};
         },
         {},
         "PMT 1"},
        // The same with every PMT ending in the packet that starts the next one.
        {"a packed PMT cut short",
         options(10'000, false, 40, true),
         [](const tsgen::StreamConfig& c) {
             return std::vector<tsgen::Fault>{
                 fault(FaultKind::SectionCut, tsgen::slotAtMs(c, 3000), 0x100)};
         },
         {},
         "PMT 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tsgen::Preset preset = tsgen::cleanPreset(c.options);
        const std::vector<tsgen::Fault> faults = c.faults(preset.config);
        tsgen::GenerateResult generated;
        const std::string file = write(tsgen::generateStream(preset.config, faults, &generated));
        ASSERT_TRUE(generated.missed.empty());
        const std::optional<std::string> out = analyze(file, true);
        ASSERT_TRUE(out.has_value()) << exitCode_;
        const json doc = json::parse(*out);

        // Nothing but the run event and one 1003 per change.
        std::vector<int> codes;
        for (const json& e : doc["events"])
            codes.push_back(e["code"].get<int>());
        std::vector<int> expected = {1001};
        expected.insert(expected.end(), c.changes.size(), 1003);
        EXPECT_EQ(codes, expected);

        const json& changes = doc["programChanges"]["changes"];
        ASSERT_EQ(changes.size(), c.changes.size());
        for (std::size_t i = 0; i < c.changes.size(); ++i) {
            EXPECT_EQ(changes[i]["table"], c.changes[i].table);
            if (c.changes[i].program != 0) {
                EXPECT_EQ(changes[i]["program"], c.changes[i].program);
            }
            EXPECT_EQ(changes[i]["packet"], generated.applied.at(i).packet + 1);
        }

        // Every PMT is timed, program 2's behind program 1's included.
        for (const char* pmt : {"PMT 1", "PMT 2"}) {
            const json* line = tableNamed(doc, pmt);
            ASSERT_NE(line, nullptr) << pmt;
            EXPECT_NEAR((*line)["interval"]["min"].get<double>(), 0.1, 0.001) << pmt;
        }
        for (const json& t : doc["tables"]) {
            const bool cut = c.cutShortLine != nullptr && t["name"] == c.cutShortLine;
            EXPECT_EQ(t["cutShort"], cut ? 1 : 0) << t["name"];
        }
        if (c.cutShortLine != nullptr) {
            const std::optional<std::string> text = analyze(file, false);
            ASSERT_TRUE(text.has_value());
            const std::size_t at = text->find(std::string("\n  ") + c.cutShortLine + " ");
            ASSERT_NE(at, std::string::npos);
            const std::string line = text->substr(at + 1, text->find('\n', at + 1) - at - 1);
            EXPECT_EQ(line.substr(line.size() - 13), "  cut short 1") << line;
            EXPECT_EQ(text->find("cut short", at + line.size()), std::string::npos);
        }
    }
}

// A capture whose only PAT and only PMT are one packet each (packets 0 and 1): found by the
// initialisation phase, so with a bitrate (it has no PCR) the file is analysed.
TEST_F(SectionCollectionCli, ACaptureWithASinglePatAndPmtIsAnalysed) {
    const fs::path file = fs::path(ORV_STREAMS_DIR) / "cap-h264-aac.ts";
    if (!fs::exists(file)) GTEST_SKIP() << "no capture " << file;
    EXPECT_FALSE(analyze(file.string(), true).has_value());
    ASSERT_FALSE(messages_.empty());
    EXPECT_NE(messages_.back().find("--bitrate"), std::string::npos) << messages_.back();

    const std::optional<std::string> out = analyze(file.string(), true, 2.0);
    ASSERT_TRUE(out.has_value()) << exitCode_;
    const json doc = json::parse(*out);
    EXPECT_EQ(doc["packets"], 9692);
    ASSERT_EQ(doc["programs"].size(), 1u);
    const json& p = doc["programs"][0];
    EXPECT_EQ(p["pmtFound"], true);
    EXPECT_EQ(p["pmtPid"], 0x63);
    // The PMT: "04 e0 64 f0 00 1b e0 65 f0 00".
    EXPECT_EQ(p["components"],
              (json{{{"pid", 0x64}, {"streamType", 4}}, {{"pid", 0x65}, {"streamType", 0x1b}}}));
    ASSERT_NE(tableNamed(doc, "PAT"), nullptr);
    ASSERT_NE(tableNamed(doc, "PMT 1"), nullptr);
}

}  // namespace
}  // namespace orv::cli
