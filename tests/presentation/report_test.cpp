// The stream information report: the blocks written to the report file (title, time line, body),
// the padding of the tabular kinds by code page 936 width, the table dump, the guide kind, the
// dialog's table combo, and what a failed open leaves behind.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/event_log.h"
#include "platform/text_codec.h"
#include "presentation/guide_page.h"
#include "presentation/report_writers.h"
#include "presentation/results_page.h"
#include "tests/presentation/results_test_support.h"
#include "tests/presentation/scoped_tz.h"

namespace orv {
namespace {

using namespace results_test;

// 2023-11-14 22:13:20 UTC; the tests run with TZ=UTC so local time is UTC.
constexpr std::time_t kReportTime = 1'700'000'000;

class ReportTest : public ::testing::Test {
  protected:
    test::ScopedTz tz_{"UTC0"};
    ScratchDir dir_;
    CapturedMessages messages_;
};

// A PAT of exactly 20 bytes: transport_stream_id 1, version 0, the network PID 0x0010 and
// program 1 on PMT PID 0x0100, with its CRC_32.
const std::vector<uint8_t> kPat20 = {0x00, 0xb0, 0x11, 0x00, 0x01, 0xc1, 0x00, 0x00, 0x00, 0x00,
                                     0xe0, 0x10, 0x00, 0x01, 0xe1, 0x00, 0x9e, 0xa6, 0x64, 0x96};

std::vector<std::string> fileLines(const std::filesystem::path& p, bool gbk) {
    const std::string bytes = readFile(p);
    return crlfLines(gbk ? cp936ToUtf8(bytes).text : bytes);
}

TEST_F(ReportTest, TableKindDumpsThePatAndAppendsEachSave) {
    auto ctx = std::make_unique<AnalysisContext>();
    ctx->pat.patFound = true;
    ctx->pat.section = kPat20;
    ReportDialog dialog;
    dialog.kind = 6;
    dialog.print = false;
    dialog.path = (dir_.path() / "report.log").string();
    dialog.fillTables(*ctx);
    const ReportSources sources{ctx.get(), nullptr, nullptr};

    ASSERT_EQ(runReport(dialog, sources, kReportTime).status, ReportStatus::Written);
    ASSERT_EQ(runReport(dialog, sources, kReportTime + 61).status, ReportStatus::Written);

    const auto block = [](const char* time) {
        return std::vector<std::string>{
            "表信息\t\t",
            time,
            "Program Association Section",
            "   Table_id                                    8 bit           0x00",
            "   Section_syntax_indicator                    1 bit           1",
            "   '0'1                                        1 bit           0",
            "   reserved                                    2 bit           3",
            "   Section_length                              12 bit          17 (字节)",
            "   Transport_stream_id                         16 bit          0x0001",
            "   reserved                                    2 bit           3",
            "   Version_number                              5 bit           0",
            "   Current_next_indicator                     1 bit           1   当前子表正被使用",
            "   Section_number                              8 bit           0",
            "   Last_section_number                         8 bit           0",
            "Program Loop",
            "      Program_number                          16 bit           0x0000",
            "      reserved                                3 bit            7",
            "      Network_PID                             13 bit           0x0010",
            "      Program_number                          16 bit           0x0001",
            "      reserved                                3 bit            7",
            "      Program_map_PID                         13 bit           0x0100",
            "   CRC_32                                      32 bit           0x9ea66496",
            "PAT   table_id=0x00 数据",
            "0000    00 b0 11 00 01 c1 00 00 00 00 e0 10 00 01 e1 00 9e a6 64 96 ",
            "0014    ",
        };
    };
    std::vector<std::string> expected = block("时间 2023/11/14 22:13:20\t");
    const std::vector<std::string> second = block("时间 2023/11/14 22:14:21\t");
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(fileLines(dialog.path, true), expected);
    // Code page 936 on disk: the title's bytes, then TAB TAB CR LF.
    EXPECT_EQ(readFile(dialog.path).substr(0, 10), "\xb1\xed\xd0\xc5\xcf\xa2\t\t\r\n");
    EXPECT_TRUE(messages_.texts.empty());
}

TEST_F(ReportTest, HexDumpLinesOfTwentyBytes) {
    struct Case {
        std::size_t size;
        std::vector<std::string> offsets;  // the offset column of each line
        std::size_t lastLineBytes;
    } cases[] = {
        {0, {"0000"}, 0},
        {19, {"0000"}, 19},
        {20, {"0000", "0014"}, 0},
        {21, {"0000", "0014"}, 1},
        {40, {"0000", "0014", "0028"}, 0},
        {4095, {}, 15},  // 204 full lines, then 15 bytes at 0x0ff0
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(c.size);
        for (std::size_t i = 0; i < c.size; ++i)
            bytes[i] = static_cast<uint8_t>(i);
        std::vector<std::string> lines;
        appendHexDump(bytes, lines);
        SCOPED_TRACE(c.size);
        ASSERT_FALSE(lines.empty());
        if (!c.offsets.empty()) {
            ASSERT_EQ(lines.size(), c.offsets.size());
            for (std::size_t i = 0; i < lines.size(); ++i)
                EXPECT_EQ(lines[i].substr(0, 8), c.offsets[i] + "    ");
        } else {
            EXPECT_EQ(lines.size(), 205u);
            EXPECT_EQ(lines.back().substr(0, 8), "0ff0    ");
        }
        EXPECT_EQ(lines.back().size(), 8 + 3 * c.lastLineBytes);
    }
    std::vector<std::string> lines;
    appendHexDump(std::vector<uint8_t>{0x00, 0x0a, 0xff}, lines);
    EXPECT_EQ(lines, std::vector<std::string>{"0000    00 0a ff "});
}

// Cells padded to their width in CP936 bytes: a Chinese character counts two.
TEST_F(ReportTest, TabularRowsArePaddedByCodePageWidth) {
    struct Case {
        const ReportTableLayout& layout;
        std::vector<std::string> cells;
        std::vector<std::string> lines;
    } cases[] = {
        // The event list: 6, 20, 24, then the description and exactly two spaces.
        {eventTableLayout(),
         {"序号", "发生时间", "事件类型", "事件描述"},
         {"序号  发生时间            事件类型                事件描述  "}},
        {eventTableLayout(),
         {"01", "23:14:21 Nov,14", "连续计数错误", "PID=0x0101的TS包出现丢包 第11228包"},
         {"01    23:14:21 Nov,14     连续计数错误            PID=0x0101的TS包出现丢包 "
          "第11228包  "}},
        // A cell already wider than its column is written whole.
        {eventTableLayout(),
         {"1234567", "t", "一二三四五六七八九十一二三", ""},
         {"1234567t                   一二三四五六七八九十一二三  "}},
        // The guide: 11, 12, 46, 22, last unpadded; a name of 46 bytes or more wraps the row.
        {guideTableLayout(),
         {"00", "0x0001", "新闻", "2024-03-01 10:00:00", "01:30:00"},
         {"00         0x0001      新闻                                          "
          "2024-03-01 10:00:00   01:30:00"}},
        {guideTableLayout(),
         {"01", "0x0002",
          std::string(23 * 1, 'x') + "二十三个汉字的节目名称一二三四五六七八九十一二三",
          "2024-03-01 11:30:00", "00:45:00"},
         {"01         0x0002      xxxxxxxxxxxxxxxxxxxxxxx二十三个汉字的节目名称一二三四五六七八"
          "九十一二三",
          std::string(79, ' ') + "2024-03-01 11:30:00   00:45:00"}},
        // 45 bytes: padded to 46 and no wrap.
        {guideTableLayout(),
         {"02", "0x0003", std::string(45, 'y'), "s", "d"},
         {"02         0x0003      " + std::string(45, 'y') + " s                     d"}},
        // The structure list pads all nine cells.
        {structureTableLayout(),
         {"节目1", "MPEG-2视频", "0x0001", "", "", "0x0101", "0x0101", "6.000", "75.00"},
         {"节目1       MPEG-2视频        0x0001" + std::string(32, ' ') +
          "0x0101    "
          "0x0101    6.000         75.00     "}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines;
        appendReportRow(c.cells, c.layout, lines);
        EXPECT_EQ(lines, c.lines) << c.cells[0];
    }
}

// The event list of the results page as kind 3 writes it: its header, the run event row (the
// run's time, no description) and an error row, in UTF-8 when that is chosen.
TEST_F(ReportTest, EventListKindWritesThePageRows) {
    auto ctx = runningContext(dir_.path() / "ERROR.log");
    ctx->packetCounter = 11228;
    ASSERT_TRUE(logEvent(*ctx, 1042, 0x0101));
    ResultsPage page;
    page.setClock(pageClock);
    page.refresh(*ctx);

    ReportDialog dialog;
    dialog.kind = 3;
    dialog.path = (dir_.path() / "report.log").string();
    dialog.encoding = ReportEncoding::Utf8;
    const ReportOutcome out = runReport(dialog, {ctx.get(), &page, nullptr}, kReportTime);
    ASSERT_EQ(out.status, ReportStatus::Written);
    EXPECT_EQ(fileLines(dialog.path, false),
              (std::vector<std::string>{
                  "TR101 290 监测信息\t",
                  "时间 2023/11/14 22:13:20\t",
                  "序号  发生时间            事件类型                事件描述  ",
                  "00    22:13:20 Nov,14     离线数据分析!" + std::string(13, ' '),
                  "01    23:14:21 Nov,14     连续计数错误            PID=0x0101的TS包出现丢包 "
                  "第11228包  ",
              }));
    // Printing was asked for too: the printer gets the title and the four columns.
    ASSERT_TRUE(out.print.has_value());
    EXPECT_EQ(out.print->title, "TR101监测信息");
    ASSERT_EQ(out.print->columns.size(), 4u);
    EXPECT_EQ(out.print->columns[3].printWidth, 450);
    EXPECT_EQ(out.print->rows.size(), 2u);
}

TEST_F(ReportTest, FailuresAndKindsThatWriteNothing) {
    auto ctx = std::make_unique<AnalysisContext>();
    ctx->pat.section = kPat20;
    GuidePage emptyGuide;
    const ReportSources sources{ctx.get(), nullptr, &emptyGuide};
    const std::filesystem::path file = dir_.path() / "report.log";
    struct Case {
        int kind;
        bool save, print;
        std::string path;
        ReportStatus status;
        std::string message;  // "" none; "%s" stands for the path
    } cases[] = {
        // The folder does not exist: the message names the path; nothing is saved or printed.
        {6, true, true, (dir_.path() / "missing" / "r.log").string(), ReportStatus::OpenFailed,
         "打开文件%s时出错。"},
        {10, true, true, file.string(), ReportStatus::Refused, "不存在电子节目指南信息!"},
        {6, false, false, file.string(), ReportStatus::NothingToDo, ""},
        {5, true, true, file.string(), ReportStatus::PrintOnly, ""},
        // No data capture to show: nothing is written, and there is nothing to say.
        {9, true, true, file.string(), ReportStatus::NothingToDo, ""},
    };
    for (const Case& c : cases) {
        messages_.texts.clear();
        ReportDialog dialog;
        dialog.kind = c.kind;
        dialog.save = c.save;
        dialog.print = c.print;
        dialog.path = c.path;
        dialog.fillTables(*ctx);
        const ReportOutcome out = runReport(dialog, sources, kReportTime);
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(out.status, c.status);
        EXPECT_FALSE(out.print.has_value());
        std::string message = c.message;
        if (const auto at = message.find("%s"); at != std::string::npos)
            message.replace(at, 2, c.path);
        EXPECT_EQ(messages_.texts,
                  message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message});
        EXPECT_FALSE(std::filesystem::exists(c.path));
    }
}

// Kind 10: the time line again, the shown service's texts, then the events of the guide page.
TEST_F(ReportTest, GuideKindWritesTheShownService) {
    auto ctx = std::make_unique<AnalysisContext>();
    GuideService s;
    s.serviceId = 0x0101;
    s.transportStreamId = 1;
    s.originalNetworkId = 2;
    s.serviceName = "ORV News";
    s.providerName = "ORV";
    s.serviceType = 1;
    s.events = {{0x0010, "2024-03-01 10:00:00", "01:30:00", "早间新闻", 1},
                {0x0011, "2024-03-01 11:30:00", "00:30:00",
                 "一个很长很长的节目名称用来测试换行规则是否正确吗", 1}};
    ctx->guide.actual.services.push_back(s);
    ctx->guide.actual.created = true;
    GuidePage guide;
    guide.setClock(pageClock);
    guide.refresh(*ctx);
    guide.selectionChanged(*ctx, GuideListId::Actual, 0);

    ReportDialog dialog;
    dialog.kind = 10;
    dialog.print = false;
    dialog.path = (dir_.path() / "guide.log").string();
    ASSERT_EQ(runReport(dialog, {ctx.get(), nullptr, &guide}, kReportTime).status,
              ReportStatus::Written);
    EXPECT_EQ(fileLines(dialog.path, true),
              (std::vector<std::string>{
                  "电子节目指南\t",
                  "时间 2023/11/14 22:13:20\t",
                  "时间 2023/11/14 22:13:20",
                  "",
                  "   业务标识符:0x0101",
                  "   业务名称:ORV News",
                  "   业务提供者名称:ORV",
                  "   业务服务类型:数字电视业务",
                  "   业务加扰状态:业务未被加扰",
                  "   传送流标识符:0x0001",
                  "   原始网络标识符:0x0002",
                  "   当地时间:2023-11-14 23:14:21",
                  "   GMT标准时间:2023-11-14 23:14:21",
                  "事件序号   事件标识符  事件名称                                      起始时间"
                  "              持续时间",
                  "00         0x0010      早间新闻                                      "
                  "2024-03-01 10:00:00   01:30:00",
                  "01         0x0011      一个很长很长的节目名称用来测试换行规则是否正确吗",
                  std::string(79, ' ') + "2024-03-01 11:30:00   00:30:00",
              }));
}

TEST_F(ReportTest, DialogListsTheTablesTheAnalysisHolds) {
    auto ctx = std::make_unique<AnalysisContext>();
    ctx->programs.resize(3);
    ctx->programs[0] = {};
    ctx->programs[0].programNumber = 1;
    ctx->programs[0].pmtPid = 0x100;
    ctx->programs[0].pmtReceived = true;
    ctx->programs[1].programNumber = 2;  // its PMT never came: no entry
    ctx->programs[1].pmtPid = 0x200;
    ctx->programs[2].programNumber = 0x1234;
    ctx->programs[2].pmtPid = 0x1ffe;
    ctx->programs[2].pmtReceived = true;
    ctx->cat.catPresent = true;
    SiSectionStore& st = ctx->siStore;
    st.list(SiKind::SdtOther).entries.resize(1);
    st.list(SiKind::NitActual).entries.resize(2);
    st.list(SiKind::Bat).entries.resize(1);
    st.eitList(0x4e)->entries.resize(1);
    st.eitList(0x6f)->entries.resize(3);
    st.eitList(0x50)->entries.resize(1);
    st.tot.present = true;

    ReportDialog dialog;
    dialog.tableIndex = 4;
    dialog.fillTables(*ctx);
    std::vector<std::string> texts;
    for (const ReportTableChoice& c : dialog.tables)
        texts.push_back(c.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "PAT   table_id=0x00", "PMT[0001] PID:0x0100", "PMT[1234] PID:0x1ffe",
                         "CAT   table_id=0x01", "NIT   table_id=0x40", "SDT   table_id=0x46",
                         "BAT   table_id=0x4a", "EIT   table_id=0x4e", "EIT   table_id=0x50",
                         "EIT   table_id=0x6f", "TOT   table_id=0x73"}));
    EXPECT_EQ(dialog.tableIndex, 0);
    EXPECT_EQ(dialog.tables[2].programIndex, 2);

    // The rest of the dialog's first state, and the path that follows the save box.
    EXPECT_EQ(dialog.kind, 1);
    EXPECT_EQ(dialog.path, "c:\\TS_DATA.log");
    EXPECT_EQ(dialog.videoPesText(), "视频 DTS/PCR Delay");
    EXPECT_EQ(dialog.audioPesText(), "音频 DTS/PCR Delay");
    dialog.audioPes = 1;
    EXPECT_EQ(dialog.audioPesText(), "音频 PTS/PCR Delay");
    EXPECT_TRUE(dialog.pathEnabled());
    dialog.save = false;
    EXPECT_FALSE(dialog.pathEnabled());
    dialog.choosePath("");
    EXPECT_EQ(dialog.path, "c:\\TS_DATA.log");
    dialog.choosePath("/tmp/x.txt");
    EXPECT_EQ(dialog.path, "/tmp/x.txt");
}

}  // namespace
}  // namespace orv
