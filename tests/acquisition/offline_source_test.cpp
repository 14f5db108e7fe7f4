// The offline source end to end: file checks and their messages, sync and packet length, the
// initialisation block, the bitrate, and the main pass over generated files.
#include "acquisition/offline_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "platform/message.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

class OfflineSourceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orv-offline-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }

    // Runs the analysis and keeps every drained event code.
    OfflineResult run(const std::string& path) {
        ctx_ = std::make_unique<AnalysisContext>();
        ctx_->monitorEnabled.fill(1);
        codes_.clear();
        OfflineProgress progress;
        progress.drainEvents = [this] {
            const int n = closeForDrain(ctx_->log);
            for (int i = 0; i < n; ++i)
                codes_.push_back(ctx_->log.records[i].code);
            reopenAfterDrain(ctx_->log);
        };
        return analyseFile(*ctx_, path, progress);
    }

    fs::path dir_;
    std::unique_ptr<AnalysisContext> ctx_;
    std::vector<int> codes_;
    std::vector<std::string> messages_;
    ScopedMessageHook hook_{[this](std::string_view t) { messages_.emplace_back(t); }};
};

std::vector<uint8_t> generate(const tsgen::Preset& p, std::vector<tsgen::Fault> faults = {}) {
    return tsgen::generateStream(p.config, faults);
}

TEST_F(OfflineSourceTest, FilesThatCannotBeAnalysed) {
    const std::string missing = (dir_ / "missing.ts").string();
    struct Case {
        std::string path;
        OfflineStatus status;
        std::string message;
    };
    std::vector<uint8_t> zeros(500'000, 0);
    std::vector<uint8_t> tooShort(499'999, 0x47);
    // Well-formed 204-byte packets whose first sync byte lies beyond offset 2039.
    tsgen::PresetOptions opt204;
    opt204.packetSize = 204;
    std::vector<uint8_t> late = generate(tsgen::cleanPreset(opt204));
    late.insert(late.begin(), 2040, 0x00);
    // A stream without PMTs: only the PAT PID and nulls survive.
    std::vector<uint8_t> noPmt = generate(tsgen::cleanPreset());
    for (std::size_t i = 0; i + 188 <= noPmt.size(); i += 188) {
        const unsigned pid = ((noPmt[i + 1] & 0x1F) << 8) | noPmt[i + 2];
        if (pid != 0) {
            noPmt[i + 1] = 0x1F;
            noPmt[i + 2] = 0xFF;
        }
    }
    const std::vector<Case> cases = {
        {missing, OfflineStatus::OpenFailed, "打开文件" + missing + "时出错。"},
        {dir_.string(), OfflineStatus::OpenFailed, "打开文件" + dir_.string() + "时出错。"},
        {write("short.ts", tooShort), OfflineStatus::TooShort, "文件长度不够!"},
        {write("zeros.ts", zeros), OfflineStatus::NoSync, "文件错误！未找到TS分组头！"},
        {write("late.ts", late), OfflineStatus::NoSync, "文件错误！未找到TS分组头！"},
        {write("nopmt.ts", noPmt), OfflineStatus::InitFailed, "文件初始化失败"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        messages_.clear();
        EXPECT_EQ(run(c.path).status, c.status);
        EXPECT_EQ(messages_, std::vector<std::string>{c.message});
        EXPECT_TRUE(codes_.empty());
    }
}

TEST_F(OfflineSourceTest, MinimumSizeIsInclusive) {
    std::vector<uint8_t> ts = generate(tsgen::cleanPreset());
    ts.resize(500'000);  // ends with a partial packet
    const OfflineResult r = run(write("min.ts", ts));
    EXPECT_EQ(r.status, OfflineStatus::Completed);
    EXPECT_EQ(ctx_->packetCounter, 500'000u / 188);
}

TEST_F(OfflineSourceTest, NoPcrEndsWithoutAnalysis) {
    tsgen::Fault gap;
    gap.kind = tsgen::FaultKind::PcrGap;
    gap.at = 0;
    gap.until = 60'000;
    const OfflineResult r = run(write("nopcr.ts", generate(tsgen::cleanPreset(), {gap})));
    EXPECT_EQ(r.status, OfflineStatus::NoBitrate);
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(codes_.empty());
}

TEST_F(OfflineSourceTest, SampleGivesItsFaultsAtBothPacketLengths) {
    for (unsigned size : {188u, 204u}) {
        SCOPED_TRACE(size);
        tsgen::PresetOptions opt;
        opt.packetSize = size;
        const std::vector<uint8_t> ts =
            generate(tsgen::samplePreset(opt), tsgen::samplePreset(opt).faults);
        const OfflineResult r = run(write("sample.ts", ts));
        EXPECT_EQ(r.status, OfflineStatus::Completed);
        EXPECT_EQ(r.packetLength, static_cast<int>(size));
        EXPECT_EQ(ctx_->packetCounter, ts.size() / size);
        EXPECT_NEAR(ctx_->streamBitrate.current, 8.0, 0.01);
        EXPECT_EQ(codes_, (std::vector<int>{1001, 1042, 1041, 1070, 1160, 1160, 1160, 1110}));
    }
}

TEST_F(OfflineSourceTest, EveryEventIsKeptWhenTheBatchFillsDuringThePass) {
    tsgen::Fault stray;
    stray.kind = tsgen::FaultKind::StrayPid;
    stray.at = 1000;
    stray.pid = 0x777;
    stray.count = 900;
    tsgen::Fault tei;
    tei.kind = tsgen::FaultKind::TransportError;
    std::vector<tsgen::Fault> faults = {stray};
    for (uint64_t at = 20000; at < 20000 + 900 * 20; at += 20) {
        tei.at = at;
        faults.push_back(tei);
    }
    run(write("many.ts", generate(tsgen::cleanPreset(), faults)));
    EXPECT_EQ(std::count(codes_.begin(), codes_.end(), 1160), 900);
    EXPECT_EQ(std::count(codes_.begin(), codes_.end(), 1070), 900);
    EXPECT_EQ(ctx_->log.kindCount.total(Tr290ErrorKind::UnreferencedPid), 900);
}

TEST_F(OfflineSourceTest, ProgramChangesAreAppliedAndThePassGoesOnToTheEnd) {
    // 20 s: a new PAT at 3 s (inside the 40000 packets of the initialisation block) and a new
    // PMT version at 15 s, with a lost packet before the first and a transport error between.
    tsgen::PresetOptions opt;
    opt.durationMs = 20'000;
    const tsgen::Preset p = tsgen::cleanPreset(opt);
    auto at = [&](uint64_t ms) { return tsgen::slotAtMs(p.config, ms); };
    auto fault = [](tsgen::FaultKind kind, uint64_t where, std::optional<uint16_t> pid,
                    int64_t value) {
        tsgen::Fault f;
        f.kind = kind;
        f.at = where;
        f.pid = pid;
        f.value = value;
        return f;
    };
    const std::vector<tsgen::Fault> faults = {
        fault(tsgen::FaultKind::CcSkip, at(1'000), 0x101, 1),
        fault(tsgen::FaultKind::PatChange, at(3'000), std::nullopt, 0),
        fault(tsgen::FaultKind::TransportError, at(10'000), 0x201, 0),
        fault(tsgen::FaultKind::PmtChange, at(15'000), 0x102, 0x102),
    };
    ASSERT_LT(at(3'000), kInitBlockPackets);
    const std::vector<uint8_t> ts = generate(p, faults);
    const OfflineResult r = run(write("change.ts", ts));
    EXPECT_EQ(r.status, OfflineStatus::Completed);
    EXPECT_EQ(ctx_->runState, RunState::Running);
    EXPECT_EQ(ctx_->packetCounter, ts.size() / 188);
    EXPECT_EQ(codes_, (std::vector<int>{1001, 1042, 1003, 1070, 1003}));
    EXPECT_EQ(ctx_->log.kindCount.total(Tr290ErrorKind::Continuity), 1);
    EXPECT_EQ(ctx_->log.kindCount.total(Tr290ErrorKind::TransportError), 1);
    ASSERT_EQ(ctx_->programChanges.count, 2);
    EXPECT_TRUE(ctx_->programChanges.records[0].pat);
    EXPECT_GT(ctx_->programChanges.records[0].packet, at(3'000));
    EXPECT_FALSE(ctx_->programChanges.records[1].pat);
    EXPECT_GT(ctx_->programChanges.records[1].packet, at(15'000));
    EXPECT_EQ(ctx_->programCount(), 2);
    EXPECT_EQ(ctx_->pmtFoundCount, 2);
}

TEST_F(OfflineSourceTest, SizesBeyondFourGibibytesStay64Bit) {
    // A sparse file of 4 GiB + 100 bytes holding nothing but zeros: a 32-bit size would read as
    // 100 bytes and be refused as too short; it must be refused for its missing sync instead.
    const fs::path p = dir_ / "sparse.ts";
    { std::ofstream(p, std::ios::binary).put('\0'); }
    fs::resize_file(p, (uint64_t{1} << 32) + 100);
    const OfflineResult r = run(p.string());
    EXPECT_EQ(r.fileSize, (uint64_t{1} << 32) + 100);
    EXPECT_EQ(r.status, OfflineStatus::NoSync);
}

}  // namespace
}  // namespace orv
