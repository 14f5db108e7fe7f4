// `orv01 report` on the sample stream: the kinds written in order and appended, the table and
// service choices, what is skipped and why, the failures and their exit codes; and the guide's
// events in the JSON document of `orv01 analyze`.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text_codec.h"
#include "shell/cli/report_command.h"
#include "tests/shell/cli_test_fixture.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::cli {
namespace {

namespace fs = std::filesystem;

class ReportCommandTest : public CliTest {
  protected:
    static void SetUpTestSuite() {
        const tsgen::Preset sample = tsgen::samplePreset();
        sample_ = new std::vector<uint8_t>(tsgen::generateStream(sample.config, sample.faults));
    }
    static void TearDownTestSuite() {
        delete sample_;
        sample_ = nullptr;
    }

    ReportCommandOptions options(std::vector<int> kinds, const fs::path& out) {
        ReportCommandOptions o;
        o.file = write(*sample_);
        o.kinds = std::move(kinds);
        o.out = out.string();
        o.encoding = ReportEncoding::Utf8;
        return o;
    }
    std::string report(const ReportCommandOptions& o) {
        std::ostringstream out, progress;
        exitCode_ = runReportCommand(o, out, progress);
        return out.str();
    }
    static std::string fileText(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The file's lines without their CR LF ends.
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = text.find("\r\n", at);
            out.push_back(text.substr(at, end - at));
            if (end == std::string::npos) break;
            at = end + 2;
        }
        return out;
    }
    static bool has(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    static std::vector<uint8_t>* sample_;
};
std::vector<uint8_t>* ReportCommandTest::sample_ = nullptr;

TEST_F(ReportCommandTest, AllKindsAreWrittenInOrderAndAppended) {
    const fs::path out = dir_ / "ts_data.log";
    const std::string printed = report(options({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, out));
    ASSERT_EQ(exitCode_, 0) << printed;
    std::string expected;
    for (const char* kind :
         {"kind 1 (传送流结构信息)", "kind 2 (传送流基本信息)", "kind 3 (TR101监测信息)",
          "kind 4 (节目信息)", "kind 6 (表信息)", "kind 10 (电子节目指南)"})
        expected += std::string(kind) + " appended to " + out.string() + "\n";
    EXPECT_EQ(printed, expected);
    EXPECT_EQ(messages_, (std::vector<std::string>{
                             "orv01: kind 5 (PCR分析曲线) is a graph that is only printed; skipped",
                             "orv01: kind 7 (PES信息) is a graph that is only printed; skipped",
                             "orv01: kind 8 (PES信息) is a graph that is only printed; skipped",
                             "orv01: kind 9 (传送流数据) shows the selected data capture; there is "
                             "none here; skipped",
                         }));
    const std::vector<std::string> l = lines(fileText(out));
    std::vector<std::string> titles;
    for (const std::string& line : l)
        if (line == "传送流数据结构信息\t" || line == "传送流基本信息\t" ||
            line == "TR101 290 监测信息\t" || line == "节目信息\t\t" || line == "表信息\t\t" ||
            line == "电子节目指南\t")
            titles.push_back(line);
    EXPECT_EQ(titles, (std::vector<std::string>{"传送流数据结构信息\t", "传送流基本信息\t",
                                                "TR101 290 监测信息\t", "节目信息\t\t",
                                                "表信息\t\t", "电子节目指南\t"}));
    // Kind 2: the programs of the sample as its PMTs give them (PIDs from the sample's table);
    // a file is no cable input, so the QAM section holds "<None>".
    for (const char* line :
         {"\t\t节目ID:               PMT[0001]  PID:0x0100", "\t\tPCR_PID:              0x0101",
          "\t\t\tMPEG-2视频 PID:0x0101", "\t\t\tMPEG-1音频 PID:0x0102",
          "\t\t节目ID:               PMT[0002]  PID:0x0200", "\t\tPCR_PID:              0x0210",
          "\t\t\tMPEG-2视频 PID:0x0201", "\t\t\tMPEG-1音频 PID:0x0202",
          "QAM参数测量:", "\t\t<None>"})
        EXPECT_TRUE(has(l, line)) << line;
    // Kind 4: the first program.
    EXPECT_TRUE(has(l, "    节目PID:0x0100   节目号:0x0001")) << "kind 4";
    // Kind 3: the injected lost packet, padded as the list is.
    EXPECT_TRUE(std::any_of(l.begin(), l.end(), [](const std::string& s) {
        return s.starts_with("01    ") &&
               s.ends_with("连续计数错误            PID=0x0101的TS包出现丢包 第11228包  ");
    }));
    // Kind 6, the first entry: the PAT of transport_stream_id 1 (NIT PID 0x0010, programs 1 and
    // 2 on 0x0100 and 0x0200), 24 bytes: one full line and the CRC_32 on the next.
    const auto dump = std::find(l.begin(), l.end(), "PAT   table_id=0x00 数据");
    ASSERT_NE(dump, l.end());
    ASSERT_LT(dump + 2, l.end());
    EXPECT_EQ(dump[1], "0000    00 b0 15 00 01 c1 00 00 00 00 e0 10 00 01 e1 00 00 02 e2 00 ");
    EXPECT_EQ(dump[2].size(), 8u + 4 * 3);
    EXPECT_TRUE(dump[2].starts_with("0014    "));
    // Kind 10: the first service of the guide, with its schedule.
    EXPECT_TRUE(has(l, "   业务标识符:0x0001"));
    EXPECT_TRUE(has(l, "   业务名称:ORV News"));
    EXPECT_TRUE(has(l, "   业务服务类型:数字电视业务"));
    EXPECT_TRUE(std::any_of(l.begin(), l.end(), [](const std::string& s) {
        return s.starts_with("00         0x03e8      ORV News hour 0") && s.ends_with("01:00:00");
    }));

    // A second run appends: the first block is still there, and the PMT of program 2 follows.
    const std::size_t before = fileText(out).size();
    ReportCommandOptions o = options({6}, out);
    o.table = "PMT:2";
    report(o);
    ASSERT_EQ(exitCode_, 0);
    const std::string after = fileText(out);
    EXPECT_GT(after.size(), before);
    EXPECT_EQ(lines(after.substr(0, before)), l);
    EXPECT_TRUE(has(lines(after.substr(before)), "PMT[0002] PID:0x0200 数据"));
}

TEST_F(ReportCommandTest, ChoicesFailuresAndEncoding) {
    const fs::path out = dir_ / "r.log";
    struct Case {
        const char* what;
        std::vector<int> kinds;
        const char* table;  // nullptr: default
        std::optional<unsigned> service;
        fs::path out;
        bool gbk;
        int exitCode;
        std::string line;     // a line the new block holds ("" when nothing is written)
        std::string message;  // the first message ("" none); "%s" stands for the file
    } cases[] = {
        {"the combo text",
         {6},
         "SDT   table_id=0x42",
         {},
         out,
         false,
         0,
         "SDT   table_id=0x42 数据",
         ""},
        {"a table_id", {6}, "eit:0x51", {}, out, false, 0, "EIT   table_id=0x51 数据", ""},
        {"the second service", {10}, nullptr, 2u, out, false, 0, "   业务名称:ORV Sports", ""},
        {"GBK by default", {10}, nullptr, {}, out, true, 0, "   业务名称:ORV News", ""},
        {"a table the stream lacks",
         {6},
         "SDT:0x46",
         {},
         out,
         false,
         2,
         "",
         "orv01: --table SDT:0x46 names no table of this stream; the tables are: \"PAT   "
         "table_id=0x00\" \"PMT[0001] PID:0x0100\" \"PMT[0002] PID:0x0200\" \"NIT   "
         "table_id=0x40\" \"SDT   table_id=0x42\" \"EIT   table_id=0x4e\" \"EIT   "
         "table_id=0x50\" \"EIT   table_id=0x51\" \"TDT   table_id=0x70\" \"TOT   "
         "table_id=0x73\""},
        {"a service the guide lacks",
         {10},
         nullptr,
         99u,
         out,
         false,
         2,
         "",
         "orv01: --service 99: no such service in the programme guide"},
        {"a folder that does not exist",
         {3, 6},
         nullptr,
         {},
         dir_ / "none" / "r.log",
         false,
         4,
         "",
         "打开文件%s时出错。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages_.clear();
        ReportCommandOptions o = options(c.kinds, c.out);
        if (c.table) o.table = c.table;
        o.service = c.service;
        if (c.gbk) o.encoding = ReportEncoding::Gbk;
        const std::size_t before = fs::exists(c.out) ? fs::file_size(c.out) : 0;
        report(o);
        EXPECT_EQ(exitCode_, c.exitCode);
        std::string message = c.message;
        if (const auto at = message.find("%s"); at != std::string::npos)
            message.replace(at, 2, c.out.string());
        EXPECT_EQ(messages_.empty() ? "" : messages_.front(), message);
        const std::size_t after = fs::exists(c.out) ? fs::file_size(c.out) : 0;
        if (c.line.empty()) {
            EXPECT_EQ(after, before);
            continue;
        }
        std::string block = fileText(c.out).substr(before);
        if (c.gbk) {
            EXPECT_TRUE(
                block.starts_with("\xb5\xe7\xd7\xd3\xbd\xda\xc4\xbf\xd6\xb8\xc4\xcf\t\r\n"));
            block = cp936ToUtf8(block).text;
        }
        EXPECT_TRUE(has(lines(block), c.line));
    }
    // Kind lists on the command line.
    struct KindCase {
        const char* text;
        std::optional<std::vector<int>> kinds;
    } kindCases[] = {
        {"all", std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"10,3", std::vector<int>{10, 3}},
        {"0", std::nullopt},
        {"3,11", std::nullopt},
        {"3,", std::nullopt},
        {"0x3", std::nullopt},
    };
    for (const KindCase& k : kindCases)
        EXPECT_EQ(parseReportKinds(k.text), k.kinds) << k.text;
}

// `analyze --json` lists the events of every guide service, as the guide page shows them.
TEST_F(ReportCommandTest, AnalyzeDocumentHoldsTheGuideEvents) {
    const std::string text = run(CliTest::options(write(*sample_), true));
    ASSERT_EQ(exitCode_, 0);
    const nlohmann::json doc = nlohmann::json::parse(text);
    const nlohmann::json& g = doc["guideEvents"];
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[1]["list"], "actual");
    EXPECT_EQ(g[1]["serviceId"], 2);
    EXPECT_EQ(g[1]["transportStreamId"], 1);
    EXPECT_EQ(g[1]["complete"], true);
    // Eight days of hourly events on tables 0x50 and 0x51.
    ASSERT_EQ(g[1]["events"].size(), 192u);
    const nlohmann::json& last = g[1]["events"][191];
    EXPECT_EQ(last["row"], "191");
    EXPECT_EQ(last["eventId"], 1191);
    EXPECT_EQ(last["name"], "ORV Sports hour 191");
    EXPECT_EQ(last["duration"], "01:00:00");
    EXPECT_TRUE(last["start"].get<std::string>().ends_with(" 23:00:00"));
    EXPECT_EQ(doc["guide"]["actual"][1]["events"], 192);
}

}  // namespace
}  // namespace orv::cli
