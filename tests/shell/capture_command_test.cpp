// `orv01 capture` on the bundled sample (generated here byte for byte as the build writes it):
// the transport error block around packet 31918, the PAT's sections with their text, saving, and
// the trigger names the command takes.
#include "shell/cli/capture_command.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/shell/cli_test_fixture.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::cli {
namespace {

class CaptureCommandTest : public CliTest {
  protected:
    std::string sample() {
        const tsgen::Preset p = tsgen::samplePreset();
        return write(tsgen::generateStream(p.config, p.faults), "sample.ts");
    }
    std::string run(const CaptureOptions& o) {
        std::ostringstream out;
        exitCode_ = runCapture(o, out);
        return out.str();
    }
    static CaptureOptions options(const std::string& input, std::string_view kind,
                                  std::optional<std::string> pid = std::nullopt,
                                  std::optional<std::string> table = std::nullopt) {
        CaptureOptions o;
        o.input = input;
        o.target = parseCaptureTarget(kind, pid, table, std::nullopt).value();
        return o;
    }
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The sample's transport error is packet index 31918 of PID 0x0201, reported as 第31918包. The
// file is read again in blocks of 40 packets: its block starts at packet 31880, so the faulty
// packet is the 39th, at byte 38 x 188 = 7144 of the 7520-byte copy.
TEST_F(CaptureCommandTest, TransportErrorOfTheSampleAndItsSave) {
    CaptureOptions o = options(sample(), "1070");
    o.out = (dir_ / "tei.ts").string();
    const std::string text = run(o);
    EXPECT_EQ(exitCode_, kCaptureTaken) << text;
    EXPECT_TRUE(has(text, "Copies          1\n")) << text;
    EXPECT_TRUE(has(text,
                    "收到第 001 个数据  transport error, packet 31918, 7520 bytes (40 "
                    "packets; the packet at byte 7144 is marked)\n"))
        << text;
    EXPECT_TRUE(has(text, "\nTransport Error Indicator             1 bit            1\n"));
    EXPECT_TRUE(has(text, "\nPID                                   13 bit           0x0201\n"));
    // The dump line of bytes 7140..7159 holds the faulty packet's header: 47, then A2 (TEI set,
    // PID 0x0201); its continuity counter is not known here.
    EXPECT_TRUE(has(text, "\n1be4    ")) << text;
    std::ifstream in(*o.out, std::ios::binary);
    const std::vector<uint8_t> saved((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(saved.size(), 7520u);
    EXPECT_EQ(saved[7144], 0x47);
    EXPECT_EQ(saved[7145] & 0x80, 0x80);
    EXPECT_EQ(((saved[7145] & 0x1F) << 8) | saved[7146], 0x0201);
    EXPECT_TRUE(has(text, "Saved           1 copies, 7520 bytes to " + *o.out));
}

TEST_F(CaptureCommandTest, PatSectionsWithTheirTextAsTextAndJson) {
    const std::string file = sample();
    CaptureOptions o = options(file, "pat");
    o.count = 2;
    const std::string text = run(o);
    EXPECT_EQ(exitCode_, kCaptureTaken);
    EXPECT_TRUE(has(text, "Copies          2\n"));
    EXPECT_TRUE(has(text, "收到第 002 个数据  PAT, packet "));
    EXPECT_TRUE(has(text, "\nProgram Association Section\n"));
    EXPECT_TRUE(
        has(text, "\n      Program_map_PID                         13 bit           0x0200\n"));

    o.json = true;
    const nlohmann::json doc = nlohmann::json::parse(run(o));
    EXPECT_EQ(doc["count"], 2);
    EXPECT_EQ(doc["capture"]["trigger"], 0x100);
    EXPECT_EQ(doc["capture"]["wanted"], 2);
    ASSERT_EQ(doc["copies"].size(), 2u);
    EXPECT_EQ(doc["copies"][0]["kind"], "section");
    EXPECT_EQ(doc["copies"][0]["bytes"], 24);  // two programs and the NIT entry
    EXPECT_EQ(doc["copies"][0]["lines"][0], "Program Association Section");

    // The sample has no CAT: the capture says so and finds nothing.
    messages_.clear();
    run(options(file, "cat"));
    EXPECT_EQ(exitCode_, kCaptureNone);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], "传送流中可能不存在CAT。继续?");
}

TEST_F(CaptureCommandTest, TriggerNames) {
    struct Row {
        std::string_view kind;
        std::optional<std::string> pid, table, program;
        std::optional<CaptureTarget> target;  // nullopt: refused with a message
    };
    using P = CapturePage;
    const Row rows[] = {
        {"1070", {}, {}, {}, CaptureTarget{P::Error, 0x40}},
        {"1041", {}, {}, {}, CaptureTarget{P::Error, 0x30}},
        {"1084", {}, {}, {}, CaptureTarget{P::Error, 0x70}},
        {"tei", {}, {}, {}, CaptureTarget{P::Error, 0x40}},
        {"1030", {}, {}, {}, std::nullopt},  // an interval has no capture
        {"table", {}, "0x42", {}, CaptureTarget{P::Section, 0x600, 0x42}},
        {"table", {}, "0x4e", {}, CaptureTarget{P::Section, 0x700, 0x4E}},
        {"table", {}, "0", {}, CaptureTarget{P::Section, 0x100}},
        {"table", {}, "sit", {}, std::nullopt},
        {"table", {}, {}, {}, std::nullopt},
        {"sdt", {}, {}, {}, CaptureTarget{P::Section, 0x600}},
        {"pmt", {}, {}, "1", CaptureTarget{P::Section, 0x200, -1, {}, 1}},
        {"pmt", "0x100", {}, {}, CaptureTarget{P::Section, 0x200, -1, 0x100}},
        {"pmt", {}, {}, {}, std::nullopt},
        {"pid", "0x0101", {}, {}, CaptureTarget{P::Pid, 0x505, -1, 0x101}},
        {"pcr", "528", {}, {}, CaptureTarget{P::Pid, 0xA0A, -1, 0x210}},
        {"pes", "0x201", {}, {}, CaptureTarget{P::Pes, 0, -1, 0x201}},
        {"pid", {}, {}, {}, std::nullopt},
        {"pid", "0x2000", {}, {}, std::nullopt},
        {"pid", "0x10g", {}, {}, std::nullopt},
        {"bogus", {}, {}, {}, std::nullopt},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.kind) + " " + r.pid.value_or("") + r.table.value_or(""));
        messages_.clear();
        const std::optional<CaptureTarget> t =
            parseCaptureTarget(r.kind, r.pid, r.table, r.program);
        ASSERT_EQ(t.has_value(), r.target.has_value());
        if (!t) {
            EXPECT_EQ(messages_.size(), 1u);
            continue;
        }
        EXPECT_EQ(t->page, r.target->page);
        EXPECT_EQ(t->trigger, r.target->trigger);
        EXPECT_EQ(t->tableId, r.target->tableId);
        EXPECT_EQ(t->pid, r.target->pid);
        EXPECT_EQ(t->programNumber, r.target->programNumber);
    }
}

}  // namespace
}  // namespace orv::cli
