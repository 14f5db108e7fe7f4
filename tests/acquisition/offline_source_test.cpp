// The offline source end to end: file checks and their messages, sync and packet length, the
// initialisation block, the bitrate, and the main pass over generated files.
#include "acquisition/offline_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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
    OfflineResult run(const std::string& path, const OfflineOptions& options = {},
                      std::function<void(uint64_t, uint64_t)> advanced = {}) {
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
        progress.advanced = std::move(advanced);
        return analyseFile(*ctx_, path, progress, options);
    }

    fs::path dir_;
    std::unique_ptr<AnalysisContext> ctx_;
    std::vector<int> codes_;
    std::vector<std::string> messages_;
    std::vector<std::string> reasons_;
    ScopedReasonedMessageHook hook_{[this](std::string_view t, std::string_view r) {
        messages_.emplace_back(t);
        reasons_.emplace_back(r);
    }};
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
        std::string reason;
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
    // A PAT that lists program 0 only.
    tsgen::Preset noProgramsPreset = tsgen::cleanPreset();
    noProgramsPreset.config.tables[0].sections[0] = tsgen::patSectionFor(0x0001, {}, 0x0010);
    const std::vector<Case> cases = {
        {missing, OfflineStatus::OpenFailed, "打开文件" + missing + "时出错。",
         "No such file or directory"},
        {dir_.string(), OfflineStatus::OpenFailed, "打开文件" + dir_.string() + "时出错。",
         "a directory, not a regular file"},
        {"/dev/null", OfflineStatus::OpenFailed, "打开文件/dev/null时出错。",
         "a character device, not a regular file"},
        {write("short.ts", tooShort), OfflineStatus::TooShort, "文件长度不够!",
         "the file holds 499999 bytes, at least 500000 are needed"},
        {write("zeros.ts", zeros), OfflineStatus::NoSync, "文件错误！未找到TS分组头！",
         "no 188 or 204-byte packets start within its first 2040 bytes"},
        {write("late.ts", late), OfflineStatus::NoSync, "文件错误！未找到TS分组头！",
         "no 188 or 204-byte packets start within its first 2040 bytes"},
        {write("nopat.ts", std::vector<uint8_t>(600'000 / 188 * 188, 0x47)),
         OfflineStatus::InitFailed, "文件初始化失败", "no PAT in the first 40000 packets"},
        {write("noprograms.ts", generate(noProgramsPreset)), OfflineStatus::InitFailed,
         "文件初始化失败", "the PAT lists no program"},
        {write("nopmt.ts", noPmt), OfflineStatus::InitFailed, "文件初始化失败",
         "a PAT but no PMT of its programs in the first 40000 packets"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        messages_.clear();
        reasons_.clear();
        EXPECT_EQ(run(c.path).status, c.status);
        EXPECT_EQ(messages_, std::vector<std::string>{c.message});
        EXPECT_EQ(reasons_, std::vector<std::string>{c.reason});
        EXPECT_TRUE(codes_.empty());
    }
}

// Whatever FILE names, the analysis never waits for it: a FIFO without a writer is refused as
// quickly as a folder. Should the open block, a writer is attached to release it and the test
// fails instead of hanging.
TEST_F(OfflineSourceTest, FifoWithoutWriterIsRefusedWithoutBlocking) {
    const fs::path fifo = dir_ / "pipe.ts";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto pending = std::async(std::launch::async, [&] { return run(fifo.string()).status; });
    if (pending.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int writer = ::open(fifo.c_str(), O_WRONLY);
        pending.wait();
        if (writer >= 0) ::close(writer);
        FAIL() << "the analysis blocked on a FIFO";
    }
    EXPECT_EQ(pending.get(), OfflineStatus::OpenFailed);
    EXPECT_EQ(messages_, std::vector<std::string>{"打开文件" + fifo.string() + "时出错。"});
    EXPECT_EQ(reasons_, std::vector<std::string>{"a named pipe, not a regular file"});
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

// A given bitrate times the run instead of the PCRs: a file without PCRs and an SI extract
// without PMTs are analysed at it, and it wins over a measured rate.
TEST_F(OfflineSourceTest, GivenBitrateTimesTheRun) {
    tsgen::Fault gap;
    gap.kind = tsgen::FaultKind::PcrGap;
    gap.at = 0;
    gap.until = 60'000;
    const std::string noPcr = write("nopcr.ts", generate(tsgen::cleanPreset(), {gap}));
    std::vector<uint8_t> patOnly = generate(tsgen::cleanPreset());
    for (std::size_t i = 0; i + 188 <= patOnly.size(); i += 188) {
        const unsigned pid = ((patOnly[i + 1] & 0x1F) << 8) | patOnly[i + 2];
        if (pid != 0 && pid < 0x20) continue;  // keep the SI
        if (pid != 0) {
            patOnly[i + 1] = 0x1F;
            patOnly[i + 2] = 0xFF;
        }
    }
    const std::string siOnly = write("sionly.ts", patOnly);
    const std::string clean = write("clean.ts", generate(tsgen::cleanPreset()));
    struct Case {
        const std::string& path;
        std::optional<double> given;
        OfflineStatus status;
        double bitrate;
    };
    const Case cases[] = {
        {noPcr, std::nullopt, OfflineStatus::NoBitrate, 0.0},
        {noPcr, 6.5, OfflineStatus::Completed, 6.5},
        {siOnly, std::nullopt, OfflineStatus::InitFailed, 0.0},
        {siOnly, 0.25, OfflineStatus::Completed, 0.25},
        {clean, 12.0, OfflineStatus::Completed, 12.0},
        {clean, std::nullopt, OfflineStatus::Completed, 8.0},  // the preset's rate, measured
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + (c.given ? std::to_string(*c.given) : "measured"));
        OfflineOptions options;
        options.bitrateMbps = c.given;
        const OfflineResult r = run(c.path, options);
        EXPECT_EQ(r.status, c.status);
        if (c.status != OfflineStatus::Completed) continue;
        const double tolerance = c.given ? 0.0 : 0.01;
        EXPECT_NEAR(ctx_->streamBitrate.current, c.bitrate, tolerance);
        EXPECT_NEAR(ctx_->streamBitrate.max, c.bitrate, tolerance);
        EXPECT_NEAR(ctx_->streamBitrate.min, c.bitrate, tolerance);
        EXPECT_NEAR(ctx_->streamBitrate.mean, c.bitrate, tolerance);
        EXPECT_EQ(ctx_->packetCounter, fs::file_size(c.path) / 188);
        ASSERT_FALSE(codes_.empty());
        EXPECT_EQ(codes_.front(), kEventOfflineStart);
    }
}

// The progress counts file bytes: it ends at the file size, prefix and partial packet included.
TEST_F(OfflineSourceTest, ProgressReachesTheFileSize) {
    std::vector<uint8_t> ts(100, 0x00);  // junk before the first sync byte
    const std::vector<uint8_t> body = generate(tsgen::cleanPreset());
    ts.insert(ts.end(), body.begin(), body.end());
    ts.resize(ts.size() - 50);  // ends in a partial packet
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    const OfflineResult r = run(write("progress.ts", ts), {}, [&](uint64_t done, uint64_t total) {
        calls.emplace_back(done, total);
    });
    EXPECT_EQ(r.status, OfflineStatus::Completed);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), std::make_pair(uint64_t{ts.size()}, uint64_t{ts.size()}));
    for (std::size_t i = 1; i < calls.size(); ++i)
        EXPECT_GT(calls[i].first, calls[i - 1].first);
}

// A file that gets shorter while it is read has not simply ended: the run reports it, with what
// was analysed up to then.
TEST_F(OfflineSourceTest, FileThatShrinksDuringThePassIsNotEndOfFile) {
    const std::vector<uint8_t> ts = generate(tsgen::cleanPreset());
    const std::string path = write("shrinks.ts", ts);
    const uint64_t keep = 1600 * 188;  // whole packets, four blocks of 400
    bool cut = false;
    const OfflineResult r = run(path, {}, [&](uint64_t, uint64_t) {
        if (!cut) fs::resize_file(path, keep);
        cut = true;
    });
    EXPECT_EQ(r.status, OfflineStatus::FileShrank);
    EXPECT_TRUE(r.mainPassStarted);
    EXPECT_EQ(ctx_->packetCounter, keep / 188);
    EXPECT_EQ(messages_, std::vector<std::string>{"读取文件" + path + "时出错。"});
    ASSERT_EQ(reasons_.size(), 1u);
    EXPECT_EQ(reasons_[0], "the file ended at byte " + std::to_string(keep) + ", but it had " +
                               std::to_string(ts.size()) + " bytes when the analysis started (" +
                               std::to_string(keep) + " now)");
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

// A 204-byte stream with 0x47 in byte 30 of a null packet and, two 188-byte packets on, in a
// parity byte of the next packet: not a 188-byte stream.
TEST_F(OfflineSourceTest, ParityBytesDoNotMakeA188ByteStream) {
    tsgen::PresetOptions opt;
    opt.packetSize = 204;
    std::vector<uint8_t> ts = generate(tsgen::cleanPreset(opt));
    std::size_t at = 0;
    for (std::size_t n = 0; n < 9 && at == 0; ++n)
        if (ts[204 * n + 1] == 0x1F && ts[204 * n + 2] == 0xFF) at = 204 * n + 30;
    ASSERT_NE(at, 0u) << "no null packet in the searched head";
    ASSERT_EQ(at + 376, 204 * (at / 204 + 1) + 188 + 14);  // parity byte 14 of the next packet
    ASSERT_NE(ts[at + 188], 0x47);
    ts[at] = 0x47;
    ts[at + 376] = 0x47;
    const OfflineResult r = run(write("parity.ts", ts));
    EXPECT_TRUE(messages_.empty()) << messages_.front();
    EXPECT_EQ(r.status, OfflineStatus::Completed);
    EXPECT_EQ(r.packetLength, 204);
    EXPECT_EQ(codes_, std::vector<int>{1001});
}

// PMTs of 40 components (466 bytes, three packets) where every repetition starts in the packet
// that ends the previous one (pointer_field > 0): a legal stream, analysed without an event.
TEST_F(OfflineSourceTest, PackedPsiIsAnalysed) {
    tsgen::PresetOptions opt;
    opt.packedPsi = true;
    opt.pmtDataStreams = 40;
    const OfflineResult r = run(write("packed.ts", generate(tsgen::cleanPreset(opt))));
    EXPECT_TRUE(messages_.empty()) << messages_.front();
    EXPECT_EQ(r.status, OfflineStatus::Completed);
    EXPECT_EQ(ctx_->pmtFoundCount, 2);
    EXPECT_EQ(codes_, std::vector<int>{1001});
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
        return tsgen::Fault{.kind = kind, .at = where, .pid = pid, .value = value};
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
