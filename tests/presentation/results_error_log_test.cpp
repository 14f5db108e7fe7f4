#include "presentation/error_log_writer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/text_codec.h"
#include "presentation/results_page.h"
#include "tests/presentation/results_test_support.h"

namespace orv {
namespace {

using namespace results_test;

EventRow row(std::string number, std::string type, std::string detail = "") {
    return {EventIcon::Priority1, std::move(number), "10:00:00 Jan,02", std::move(type),
            std::move(detail)};
}

// The block read back as UTF-8 lines; fails the test when the bytes are not valid GBK.
std::vector<std::string> utf8Lines(const std::string& gbk) {
    const CodecResult back = cp936ToUtf8(gbk);
    EXPECT_TRUE(back.ok()) << "not valid GBK";
    return crlfLines(back.text);
}

TEST(ErrorLogBlock, TypeTextsShorterThanEightBytesGetTwoTabs) {
    struct Case {
        const char* type;
        const char* tabs;
    };
    const Case cases[] = {
        {"PAT错误", "\t\t"},            // 7 bytes in CP936
        {"ABCDEFG", "\t\t"},            // 7
        {"ABCDEFGH", "\t"},             // 8
        {"PCR间隔错误", "\t"},          // 11
        {"传送流非指定PID错误", "\t"},  // 19
        {"离线数据分析!", "\t"},        // a run event, 13
        {"", "\t\t"},
    };
    for (const Case& c : cases) {
        const EventRow r = row("05", c.type, "PID=0x0100 第9包");
        const std::vector<std::string> lines = utf8Lines(formatErrorLogBlock({&r, 1}));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0],
                  std::string("05\t10:00:00 Jan,02\t") + c.type + c.tabs + "PID=0x0100 第9包")
            << c.type;
    }
}

TEST(ErrorLogBlock, OneCp936LinePerRowWithFieldsCutToTheirLimits) {
    std::string longDetail;
    for (int i = 0; i < 60; ++i)
        longDetail += "包";  // 120 bytes in CP936
    const std::vector<EventRow> rows = {
        row("00", "PAT错误", "PAT(table_id=0x00)出现间隔等于0.6000s(>0.5s) 第1包"),
        row("1234567890123", "连续计数错误", longDetail),
        {EventIcon::Run, "02", std::string(150, 't'), "重新开始测试!", ""},
    };
    const std::string gbk = formatErrorLogBlock(rows);
    // Lines end in CR LF and nothing else does.
    EXPECT_EQ(gbk.substr(gbk.size() - 2), "\r\n");
    const std::vector<std::string> lines = utf8Lines(gbk);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "00\t10:00:00 Jan,02\tPAT错误\t\tPAT(table_id=0x00)出现间隔等于0.6000s(>0.5s) 第1包");
    // 99 bytes hold 49 two-byte characters; the number keeps 9 bytes.
    std::string cut;
    for (int i = 0; i < 49; ++i)
        cut += "包";
    EXPECT_EQ(lines[1], "123456789\t10:00:00 Jan,02\t连续计数错误\t" + cut);
    EXPECT_EQ(lines[2], "02\t" + std::string(99, 't') + "\t重新开始测试!\t");

    // A character GBK lacks is written as its code point, never '?', and the bytes stay GBK.
    const EventRow odd = row("03", "CRC错误", "emoji 😀 here");
    EXPECT_EQ(utf8Lines(formatErrorLogBlock({&odd, 1}))[0],
              "03\t10:00:00 Jan,02\tCRC错误\t\temoji \\u{1F600} here");
    EXPECT_TRUE(formatErrorLogBlock({}).empty());
}

TEST(ErrorLogFile, EachSaveAppendsItsBlock) {
    ScratchDir scratch;
    CapturedMessages messages;
    const std::filesystem::path file = scratch.path() / "ERROR.log";
    const std::vector<EventRow> first = {row("00", "PAT错误", "a"), row("01", "CRC错误", "b")};
    const std::vector<EventRow> second = {row("00", "PID错误", "c")};
    EXPECT_EQ(appendErrorLog(file.string(), first), ErrorLogResult::Appended);
    EXPECT_EQ(appendErrorLog(file.string(), second), ErrorLogResult::Appended);
    EXPECT_EQ(readFile(file), formatErrorLogBlock(first) + formatErrorLogBlock(second));
    EXPECT_TRUE(messages.texts.empty());
}

TEST(ErrorLogFile, DrivePathsLandInTheUserDataFolder) {
    ScratchDir scratch;
    ScopedEnv dataDir("ORV_DATA_DIR", scratch.path().c_str());
    const std::vector<EventRow> rows = {row("00", "PAT错误", "a")};
    EXPECT_EQ(appendErrorLog("c:\\ERROR.log", rows), ErrorLogResult::Appended);
    EXPECT_EQ(readFile(scratch.path() / "c" / "ERROR.log"), formatErrorLogBlock(rows));
}

TEST(ErrorLogFile, OpenFailureShowsTheMessageAndKeepsTheList) {
    ScratchDir scratch;
    std::vector<std::pair<std::string, std::string>> messages;
    ScopedReasonedMessageHook hook([&](std::string_view text, std::string_view reason) {
        messages.emplace_back(text, reason);
    });
    auto ctx = runningContext(scratch.path() / "no-such-folder" / "ERROR.log");
    ResultsPage page;
    logEvent(*ctx, 1040, 0x20);
    page.refresh(*ctx);
    logEvent(*ctx, 1010);

    EXPECT_EQ(writeErrorLog(*ctx, page), ErrorLogResult::OpenFailed);
    // The system's text, and the system's reason beside it.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first, "打开文件" + ctx->logSettings.errorLogPath + "时出错。");
    EXPECT_EQ(messages[0].second, "No such file or directory");
    // The list, with the event that was pending, waits for a save that works.
    EXPECT_EQ(page.eventRows().size(), 3u);
    EXPECT_EQ(page.failedSaves(), 1);
    EXPECT_EQ(ctx->log.pendingCount, 0);
}

TEST(ErrorLogFile, SavingAnEmptyListAppendsNothingAndStillReseeds) {
    ScratchDir scratch;
    const std::filesystem::path file = scratch.path() / "ERROR.log";
    auto ctx = runningContext(file);
    ResultsPage page;
    page.refresh(*ctx);
    page.clearEventList();

    EXPECT_EQ(writeErrorLog(*ctx, page), ErrorLogResult::Appended);
    EXPECT_TRUE(readFile(file).empty());
    ASSERT_EQ(ctx->log.pendingCount, 2);
    EXPECT_EQ(ctx->log.records[0].code, kEventOfflineStart);
    EXPECT_EQ(ctx->log.records[0].type(), "离线数据分析!");
    EXPECT_EQ(ctx->log.records[0].detail(), "");
    EXPECT_EQ(ctx->log.records[1].type(), "保存事件!");
}

// Every way of saving takes in the events logged since the last refresh before it writes: they
// were counted, so they must reach the list and the file, not vanish under the reseed.
TEST(ErrorLogFile, EverySaveWritesTheEventsPendingSinceTheLastRefresh) {
    struct Case {
        const char* name;
        std::optional<ErrorLogResult> (*save)(AnalysisContext&, ResultsPage&);
    };
    const Case cases[] = {
        {"save button",
         [](AnalysisContext& c, ResultsPage& p) -> std::optional<ErrorLogResult> {
             return p.saveEvents(c);
         }},
        {"periodic save", periodicSave},
        {"stop",
         [](AnalysisContext& c, ResultsPage& p) -> std::optional<ErrorLogResult> {
             return writeErrorLog(c, p);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir scratch;
        const std::filesystem::path file = scratch.path() / "ERROR.log";
        auto ctx = runningContext(file);
        ResultsPage page;
        page.setClock(pageClock);
        ctx->packetCounter = 10;
        logEvent(*ctx, 1040, 0x20);
        page.refresh(*ctx);
        ctx->packetCounter = 20;
        logEvent(*ctx, 1070, 0x31);  // after the last refresh

        EXPECT_EQ(c.save(*ctx, page), ErrorLogResult::Appended);
        const std::vector<std::string> lines = utf8Lines(readFile(file));
        ASSERT_EQ(lines.size(), 3u);
        const std::string at = formatEventTime(kPageClock);
        EXPECT_EQ(lines[1], "01\t" + at + "\t连续计数错误\tPID=0x0020的TS包顺序错误 第10包");
        EXPECT_EQ(lines[2],
                  "02\t" + at + "\t传送流传送错误\tPID0x0031的TS包传送错误标志位等于'1' 第20包");
        // The batch restarts with the run's cause and the save event only.
        ASSERT_EQ(ctx->log.pendingCount, 2);
        EXPECT_EQ(ctx->log.records[1].code, kEventSaved);
    }
}

TEST(ErrorLogFile, PeriodicSaveDoesNothingWhenSwitchedOff) {
    ScratchDir scratch;
    const std::filesystem::path file = scratch.path() / "ERROR.log";
    auto ctx = runningContext(file);
    ctx->logSettings.saveLogEnabled = false;
    ResultsPage page;
    logEvent(*ctx, 1070, 0x31);
    EXPECT_EQ(periodicSave(*ctx, page), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(ctx->log.pendingCount, 2);  // the run event and the error wait for the refresh
}

TEST(ErrorLogSettings, SavePeriodIsTheIntervalInMilliseconds) {
    LogSettings s;
    EXPECT_EQ(savePeriodMs(s), 30 * 60'000);
    s.saveIntervalMinutes = 1;
    EXPECT_EQ(savePeriodMs(s), 60'000);
    s.saveIntervalMinutes = 0;
    EXPECT_EQ(savePeriodMs(s), 30 * 60'000);
    s.saveIntervalMinutes = 2'000'000;  // beyond an int of milliseconds
    EXPECT_EQ(savePeriodMs(s), std::int64_t{2'000'000} * 60'000);
}

}  // namespace
}  // namespace orv
