// Program changes as a user and the pages see them: `orv01 analyze` reports how many there were
// and where, and the readers of the context cope with a program table that changes size in the
// middle of a run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/offline_source.h"
#include "engine/analysis_context.h"
#include "platform/message.h"
#include "presentation/results_page.h"
#include "shell/cli/analysis_report.h"
#include "shell/cli/analyze_command.h"
#include "tests/shell/cli_test_fixture.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class ProgramChangeReportTest : public CliTest {
  protected:
    std::string analyze(const std::string& file, bool asJson) {
        const std::string out = run(options(file, asJson));
        EXPECT_EQ(exitCode_, 0);
        return out;
    }
};

tsgen::Fault change(tsgen::FaultKind kind, uint64_t at, std::optional<uint16_t> pid,
                    int64_t value) {
    return {.kind = kind, .at = at, .pid = pid, .value = value};
}

TEST_F(ProgramChangeReportTest, AnalyzeReportsEveryChangeWithItsPacket) {
    const tsgen::Preset p = tsgen::cleanPreset();
    auto at = [&](uint64_t ms) { return tsgen::slotAtMs(p.config, ms); };
    const std::string file = write(tsgen::generateStream(
        p.config, {change(tsgen::FaultKind::PatChange, at(2'000), std::nullopt, 0),
                   change(tsgen::FaultKind::PmtChange, at(8'000), 0x202, 0x202)}));

    const json doc = json::parse(analyze(file, true));
    EXPECT_EQ(doc["endedBy"], "end of file");
    EXPECT_EQ(doc["packets"].get<uint64_t>(), fs::file_size(file) / 188);
    const json& changes = doc["programChanges"];
    ASSERT_EQ(changes["count"], 2);
    ASSERT_EQ(changes["changes"].size(), 2u);
    const json& pat = changes["changes"][0];
    EXPECT_EQ(pat["table"], "PAT");
    EXPECT_TRUE(pat["program"].is_null());
    EXPECT_EQ(pat["pid"], 0);
    EXPECT_EQ(pat["version"], 1);
    const json& pmt = changes["changes"][1];
    EXPECT_EQ(pmt["table"], "PMT");
    EXPECT_EQ(pmt["program"], 2);
    EXPECT_EQ(pmt["pid"], 0x200);
    EXPECT_EQ(pmt["version"], 1);
    const auto patPacket = pat["packet"].get<uint64_t>();
    const auto pmtPacket = pmt["packet"].get<uint64_t>();
    EXPECT_GT(patPacket, at(2'000));
    EXPECT_GT(pmtPacket, at(8'000));
    int runEvents = 0;
    for (const json& e : doc["events"]) {
        EXPECT_LT(e["code"].get<int>(), 1010) << e["detail"];  // nothing but run events
        runEvents += e["code"] == 1003;
    }
    EXPECT_EQ(runEvents, 2);

    const std::string text = analyze(file, false);
    char patLine[64], pmtLine[96];
    std::snprintf(patLine, sizeof patLine, "  packet %-10llu  PAT  version 1\n",
                  static_cast<unsigned long long>(patPacket));
    std::snprintf(pmtLine, sizeof pmtLine,
                  "  packet %-10llu  PMT  program 0x0002  PID 0x0200  version 1\n",
                  static_cast<unsigned long long>(pmtPacket));
    EXPECT_NE(text.find("(analysis ended by end of file)\nProgram changes 2\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find(std::string("\nProgram changes (2)\n") + patLine + pmtLine),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Programs (2)"), std::string::npos);

    // A file without changes says nothing about them in its text and 0 in its JSON.
    const std::string clean = write(tsgen::generateStream(p.config));
    EXPECT_EQ(analyze(clean, false).find("Program changes"), std::string::npos);
    EXPECT_EQ(json::parse(analyze(clean, true))["programChanges"]["count"], 0);
}

TEST_F(ProgramChangeReportTest, ReadersCopeWithAProgramTableThatShrinks) {
    // Program 2 leaves the PAT at 3 s while its streams go on; a reader builds the whole report
    // after every block, holding the context's lock as the pages do.
    const tsgen::Preset p = tsgen::cleanPreset();
    const std::string file = write(tsgen::generateStream(
        p.config,
        {change(tsgen::FaultKind::PatChange, tsgen::slotAtMs(p.config, 3'000), std::nullopt, 2)}));
    auto ctx = std::make_unique<AnalysisContext>();
    ctx->monitorEnabled.fill(1);
    ResultsPage page;
    std::set<std::size_t> sizesSeen;
    OfflineProgress progress;
    progress.drainEvents = [&] { page.drainPending(*ctx); };
    progress.advanced = [&](uint64_t, uint64_t) {
        const std::lock_guard<std::mutex> lock(ctx->mutex);
        page.drainPending(*ctx);
        const AnalysisReport r = buildReport(file, *ctx, page);
        ASSERT_EQ(r.programs.size(), ctx->programs.size());
        ASSERT_LE(r.pcr.size(), r.programs.size());
        ASSERT_EQ(ctx->timing.pcrTracks.size(), ctx->programs.size());
        sizesSeen.insert(r.programs.size());
    };
    EXPECT_EQ(analyseFile(*ctx, file, progress).status, OfflineStatus::Completed);
    EXPECT_EQ(sizesSeen, (std::set<std::size_t>{1, 2}));
    const AnalysisReport r = buildReport(file, *ctx, page);
    ASSERT_EQ(r.programs.size(), 1u);
    EXPECT_EQ(r.programs[0].number, 1u);
    ASSERT_EQ(r.pcr.size(), 1u);
    EXPECT_EQ(r.pcr[0].pcrPid, 0x101u);
    EXPECT_EQ(r.programChanges, 1);
}

}  // namespace
}  // namespace orv::cli
