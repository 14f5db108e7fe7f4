// The data capture end to end over generated files: every trigger kind takes the copies it should
// (read back by hand from the packet and section syntax), the request from the page's lines and
// counts, saving, clearing and stopping the re-reading thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/capture_page.h"
#include "acquisition/capture_request.h"
#include "acquisition/capture_rereader.h"
#include "acquisition/capture_store.h"
#include "engine/section_crc.h"
#include "platform/manual_timer_service.h"
#include "platform/message.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using tsgen::FaultKind;

constexpr std::size_t kPacket = 188;

unsigned pidOf(const uint8_t* p) {
    return ((p[1] & 0x1Fu) << 8) | p[2];
}

tsgen::Fault fault(FaultKind kind, uint64_t at, std::optional<uint16_t> pid = std::nullopt,
                   std::optional<int64_t> value = std::nullopt) {
    return tsgen::Fault{.kind = kind, .at = at, .pid = pid, .value = value};
}

class CaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orv-capture-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::vector<uint8_t>& ts, const std::string& name = "s.ts") {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(ts.data()),
                   static_cast<std::streamsize>(ts.size()));
        return p.string();
    }

    // The file read again with the request for `target`.
    std::vector<CaptureCopy> capture(const std::string& path, const CaptureTarget& target,
                                     int wanted) {
        CaptureRereader reader;
        EXPECT_TRUE(reader.start(path, {}, target, wanted, store_));
        reader.join();
        EXPECT_TRUE(reader.finished());
        outcome_ = reader.outcome();
        return store_.copiesFrom(0);
    }

    fs::path dir_;
    CaptureStore store_;
    CaptureRereadOutcome outcome_;
    std::vector<std::string> messages_;
    ScopedMessageHook hook_{[this](std::string_view t) { messages_.emplace_back(t); }};
};

std::vector<uint8_t> cleanStream(const std::vector<tsgen::Fault>& faults = {},
                                 tsgen::GenerateResult* applied = nullptr, uint64_t ms = 3000) {
    return tsgen::generateStream(tsgen::cleanPreset({8'000'000, 188, ms}).config, faults, applied);
}

// Every trigger kind on a stream with the fault it waits for. The copies are checked against the
// syntax of the packet or section they should hold; error blocks are the 40 packets read with the
// faulty one, which the copy locates.
TEST_F(CaptureTest, EveryTriggerKindTakesTheCopiesItShould) {
    struct Row {
        const char* name;
        std::vector<tsgen::Fault> faults;
        CaptureTarget target;
        int wanted;
        int copies;
        // The packet index of the first applied fault (or 0) and one copy.
        std::function<void(uint64_t faultAt, const CaptureCopy&)> check;
        bool sample = false;  // the sample preset's layout (with the EIT schedule)
    };
    using P = CapturePage;
    // An error block: 40 packets, the faulty packet where the file has it, and the packet number
    // the analysis had counted then (`counted`: 1 when the check runs after the packet is counted).
    const auto block = [](int counted, std::function<void(const uint8_t*)> packet) {
        return [=](uint64_t at, const CaptureCopy& c) {
            ASSERT_EQ(c.bytes.size(), 40 * kPacket);
            EXPECT_EQ(c.packetOffset, (at % 40) * kPacket);
            EXPECT_EQ(c.packetNumber, at + static_cast<uint64_t>(counted));
            packet(c.bytes.data() + c.packetOffset);
        };
    };
    const auto section = [](unsigned tableId, std::size_t size) {
        return [=](uint64_t, const CaptureCopy& c) {
            ASSERT_GE(c.bytes.size(), 3u);
            EXPECT_EQ(c.bytes[0], tableId);
            EXPECT_EQ(c.bytes.size(), 3u + (((c.bytes[1] & 0x0Fu) << 8) | c.bytes[2]));
            if (size != 0) {
                EXPECT_EQ(c.bytes.size(), size);
            }
        };
    };
    const auto pesStart = [](unsigned streamIdMask, unsigned streamId) {
        return [=](uint64_t, const CaptureCopy& c) {
            ASSERT_GE(c.bytes.size(), 9u);
            EXPECT_EQ(c.bytes[0], 0x00);
            EXPECT_EQ(c.bytes[1], 0x00);
            EXPECT_EQ(c.bytes[2], 0x01);
            EXPECT_EQ(c.bytes[3] & streamIdMask, streamId);
        };
    };
    const Row rows[] = {
        {"transport error",
         {fault(FaultKind::TransportError, 5000, 0x201)},
         {P::Error, kCaptureTransportError},
         10,
         1,
         block(0,
               [](const uint8_t* p) {
                   EXPECT_EQ(p[0], 0x47);
                   EXPECT_EQ(p[1] & 0x80, 0x80);
                   EXPECT_EQ(pidOf(p), 0x201u);
               })},
        {"sync byte",
         {fault(FaultKind::SyncByte, 6005)},
         {P::Error, kCaptureSyncByte},
         10,
         1,
         block(0, [](const uint8_t* p) { EXPECT_EQ(p[0], 0x46); })},
        {"continuity",
         {fault(FaultKind::CcSkip, 7000, 0x101)},
         {P::Error, kCaptureContinuity},
         10,
         1,
         block(1, [](const uint8_t* p) { EXPECT_EQ(pidOf(p), 0x101u); })},
        {"scrambled PMT",
         {fault(FaultKind::Scrambling, 8000, 0x100)},
         {P::Error, kCapturePmtScrambled},
         10,
         1,
         block(1,
               [](const uint8_t* p) {
                   EXPECT_EQ(pidOf(p), 0x100u);
                   EXPECT_EQ(p[3] >> 6, 2);
               })},
        {"PAT error",
         {fault(FaultKind::WrongTableId, 9000, 0x0000, 0x05)},
         {P::Error, kCapturePatError},
         10,
         1,
         block(1,
               [](const uint8_t* p) {
                   EXPECT_EQ(pidOf(p), 0u);
                   EXPECT_EQ(p[4 + 1 + p[4]], 0x05);  // the table_id after the pointer_field
               })},
        // A PAT with two programs and the network entry: 5 + 3 x 4 + 4 = section_length 21.
        {"PAT CRC",
         {fault(FaultKind::CrcDamage, 4000, 0x0000)},
         {P::Error, kCaptureCrcError},
         10,
         1,
         [](uint64_t, const CaptureCopy& c) {
             ASSERT_EQ(c.bytes.size(), 24u);
             EXPECT_EQ(c.bytes[0], 0x00);
             EXPECT_NE(sectionCrc32(c.bytes.data(), c.bytes.data() + c.bytes.size()), 0u);
         }},
        {"SDT CRC",
         {fault(FaultKind::CrcDamage, 4000, 0x0011)},
         {P::Error, kCaptureCrcError},
         10,
         1,
         section(0x42, 0)},
        {"PAT sections", {}, {P::Section, kCaptureLaterPat}, 5, 5, section(0x00, 24)},
        {"PMT of program 2",
         {},
         {P::Section, kCaptureLaterPmt, -1, {}, 2},
         3,
         3,
         [&](uint64_t u, const CaptureCopy& c) {
             section(0x02, 0)(u, c);
             EXPECT_EQ((c.bytes[3] << 8) | c.bytes[4], 2);  // program_number
         }},
        // The EIT PID carries present/following (0x4E) and schedule (0x50, 0x51) sections.
        {"EIT schedule 0x50 only", {}, {P::Section, 0x700, 0x50}, 2, 2, section(0x50, 0), true},
        {"TDT", {}, {P::Section, 0x800, 0x70}, 1, 1, section(0x70, 8)},
        {"every packet of a PID",
         {},
         {P::Pid, kCapturePidPacket, -1, 0x102},
         50,
         50,
         [](uint64_t, const CaptureCopy& c) {
             ASSERT_EQ(c.bytes.size(), kPacket);
             EXPECT_EQ(c.bytes[0], 0x47);
             EXPECT_EQ(pidOf(c.bytes.data()), 0x102u);
         }},
        {"PCR packets",
         {},
         {P::Pid, kCapturePcrPacket, -1, 0x210},
         3,
         3,
         [](uint64_t, const CaptureCopy& c) {
             ASSERT_EQ(c.bytes.size(), kPacket);
             EXPECT_EQ(pidOf(c.bytes.data()), 0x210u);
             EXPECT_EQ(c.bytes[3] & 0x20, 0x20);  // an adaptation field
             EXPECT_GT(c.bytes[4], 6);            // long enough for a PCR
             EXPECT_EQ(c.bytes[5] & 0x10, 0x10);  // PCR_flag
         }},
        {"video PES (kind from the PMT)", {}, {P::Pes, 0, -1, 0x201}, 2, 2, pesStart(0xF0, 0xE0)},
        {"audio PES", {}, {P::Pes, kCaptureAudioPes, -1, 0x102}, 2, 2, pesStart(0xE0, 0xC0)},
    };
    std::map<bool, std::string> plain;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        store_.clear();
        tsgen::GenerateResult applied;
        std::string path;
        if (!row.faults.empty()) {
            path = write(cleanStream(row.faults, &applied), "faulty.ts");
            ASSERT_EQ(applied.applied.size(), 1u);
        } else if (!plain.count(row.sample)) {
            path = plain[row.sample] = write(
                row.sample
                    ? tsgen::generateStream(tsgen::samplePreset({8'000'000, 188, 9000}).config, {})
                    : cleanStream(),
                row.sample ? "sample.ts" : "clean.ts");
        } else {
            path = plain[row.sample];
        }
        const std::vector<CaptureCopy> copies = capture(path, row.target, row.wanted);
        EXPECT_TRUE(outcome_.armed) << outcome_.error;
        ASSERT_EQ(static_cast<int>(copies.size()), row.copies);
        const uint64_t at = applied.applied.empty() ? 0 : applied.applied.front().packet;
        for (const CaptureCopy& c : copies) {
            EXPECT_EQ(c.packetLength, 188);
            row.check(at, c);
        }
        // Every packet copy of one PID follows the one before (continuity_counter + 1).
        if (row.target.trigger == kCapturePidPacket) {
            for (std::size_t i = 1; i < copies.size(); ++i)
                EXPECT_EQ(copies[i].bytes[3] & 0x0F, (copies[i - 1].bytes[3] + 1) & 0x0F);
        }
    }
}

// The request from the page: the count rules, the PMT line of a program, the question for a table
// not seen, and a PES line whose PID carries no component.
TEST_F(CaptureTest, RequestFollowsThePageLinesAndCounts) {
    struct Count {
        std::optional<long long> field;
        CapturePage page;
        int wanted;
    };
    for (const Count& c : {Count{std::nullopt, CapturePage::Section, 50},
                           Count{0, CapturePage::Pid, 50}, Count{250, CapturePage::Pid, 100},
                           Count{100, CapturePage::Pes, 100}, Count{99, CapturePage::Pes, 99},
                           Count{20, CapturePage::Error, 10}, Count{0, CapturePage::Error, 10},
                           Count{7, CapturePage::Error, 7}, Count{-3, CapturePage::Section, 50}})
        EXPECT_EQ(capturesWanted(c.field, c.page), c.wanted) << c.field.value_or(-1);

    // The analysed context of the clean stream (no CAT in it), as the offline source leaves it.
    auto ctx = std::make_unique<AnalysisContext>();
    ASSERT_EQ(analyseFile(*ctx, write(cleanStream())).status, OfflineStatus::Completed);

    const std::vector<CaptureChoice> sections = captureChoices(*ctx, CapturePage::Section);
    const auto lineOf = [](const std::vector<CaptureChoice>& list, const std::string& text) {
        for (const CaptureChoice& c : list)
            if (c.text == text) return std::optional<CaptureChoice>(c);
        return std::optional<CaptureChoice>();
    };
    const std::optional<CaptureChoice> pmt = lineOf(sections, "PMT (PID=0x0100  节目号=0x0001)");
    ASSERT_TRUE(pmt);
    CapturePlan plan = planCapture(*ctx, pmt->target, 50);
    ASSERT_TRUE(plan.request);
    EXPECT_EQ(plan.request->tableTrigger, 0x200);
    EXPECT_EQ(plan.request->programIndex, 0);
    EXPECT_EQ(plan.request->maxCaptures, 50);
    EXPECT_EQ(plan.request->errorTrigger | plan.request->pidTrigger | plan.request->pesTrigger, 0);
    EXPECT_TRUE(plan.unseenQuestion.empty());

    const std::optional<CaptureChoice> cat = lineOf(sections, "CAT (PID=0x0001  table_id=0x01)");
    ASSERT_TRUE(cat);
    plan = planCapture(*ctx, cat->target, 50);
    EXPECT_TRUE(plan.request);
    EXPECT_EQ(plan.unseenQuestion, "传送流中可能不存在CAT。继续?");
    // The SDT of the stream was seen: no question.
    const std::optional<CaptureChoice> sdt = lineOf(sections, "SDT (PID=0x0011  table_id=0x42)");
    ASSERT_TRUE(sdt);
    EXPECT_TRUE(planCapture(*ctx, sdt->target, 50).unseenQuestion.empty());

    const std::vector<CaptureChoice> pes = captureChoices(*ctx, CapturePage::Pes);
    const std::optional<CaptureChoice> audio = lineOf(pes, "AUDIO_PID=0x0202 (节目[0x0002])");
    ASSERT_TRUE(audio);
    plan = planCapture(*ctx, audio->target, 50);
    ASSERT_TRUE(plan.request);
    EXPECT_EQ(plan.request->pesTrigger, 0xC0);
    EXPECT_EQ(plan.request->pid, 0x202u);
    EXPECT_TRUE(lineOf(captureChoices(*ctx, CapturePage::Pid), "PCR_PID=0x0210"));
    const std::vector<CaptureChoice> errors = captureChoices(*ctx, CapturePage::Error);
    ASSERT_EQ(errors.size(), 7u);
    EXPECT_EQ(errors[3].text, "传送错");
    EXPECT_EQ(errors[3].target.trigger, 0x40);

    // A PID that is no component's, and a program the PAT does not list: the trigger stays off.
    EXPECT_FALSE(planCapture(*ctx, {CapturePage::Pes, 0, -1, 0x100}, 50).request);
    EXPECT_FALSE(planCapture(*ctx, {CapturePage::Section, 0x200, -1, {}, 7}, 50).request);
    EXPECT_FALSE(planCapture(*ctx, {CapturePage::Pid, kCapturePidPacket, -1, 0x2000}, 50).request);
}

// Saving writes every copy whole in order; 5 PAT sections of section_length 13 make 80 bytes. A
// file that cannot be created, or a disk that is full, is reported, never taken for a save.
TEST_F(CaptureTest, SaveClearAndStop) {
    // A one-program PAT: transport_stream_id 1, version 0, program 1 on PMT PID 0x0100.
    std::vector<uint8_t> pat = {0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1, 0x00, 0x00,
                                0x00, 0x01, 0xE1, 0x00, 0,    0,    0,    0};
    const uint32_t crc = sectionCrc32(pat.data(), pat.data() + 12);
    for (int i = 0; i < 4; ++i)
        pat[12 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    for (int i = 0; i < 5; ++i)
        store_.copyBytes(kCaptureLaterPat, pat.data(), pat.size());
    ASSERT_EQ(store_.size(), 5u);

    const std::string out = (dir_ / "pat.ts").string();
    CaptureSaveResult saved = saveCaptures(store_.copiesFrom(0), out);
    EXPECT_TRUE(saved.ok);
    EXPECT_EQ(saved.copies, 5u);
    std::ifstream in(out, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size(), 80u);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_TRUE(std::equal(pat.begin(), pat.end(), bytes.begin() + 16 * i));
    EXPECT_TRUE(messages_.empty());

    saved = saveCaptures(store_.copiesFrom(0), (dir_ / "no-such-folder" / "x.ts").string());
    EXPECT_FALSE(saved.ok);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_.back(), "创建文件失败!请修改文件名或路径!");
    if (fs::exists("/dev/full")) {
        saved = saveCaptures(store_.copiesFrom(0), "/dev/full");
        EXPECT_FALSE(saved.ok);
        EXPECT_EQ(saved.copies, 0u);
        EXPECT_EQ(messages_.back(), "写入文件/dev/full时出错。");
    }
    store_.clear();
    EXPECT_EQ(store_.size(), 0u);

    // Stopping the re-reading ends it by its flag; a second start waits for that.
    const std::string path = write(cleanStream({}, nullptr, 20'000));
    CaptureRereader reader;
    ASSERT_TRUE(
        reader.start(path, {}, {CapturePage::Pid, kCapturePidPacket, -1, 0x1FFF}, 100, store_));
    EXPECT_FALSE(
        reader.start(path, {}, {CapturePage::Pid, kCapturePidPacket, -1, 0x1FFF}, 100, store_));
    reader.stop();
    EXPECT_TRUE(reader.finished());
    EXPECT_TRUE(reader.outcome().stopped);
    EXPECT_LE(store_.size(), 100u);

    // A file that cannot be opened again: the thread ends at once and nothing arrives.
    store_.clear();
    messages_.clear();
    capture((dir_ / "gone.ts").string(), {CapturePage::Error, kCaptureTransportError}, 10);
    EXPECT_EQ(outcome_.status, OfflineStatus::OpenFailed);
    EXPECT_FALSE(outcome_.armed);
    EXPECT_EQ(store_.size(), 0u);
    ASSERT_FALSE(messages_.empty());
    EXPECT_EQ(messages_.front(), "打开文件" + (dir_ / "gone.ts").string() + "时出错。");
}

// The page: the trigger needs the end of the initialisation phase and a chosen line; the count
// field shows what is used; the buttons follow idle, triggered, complete and cleared; the elapsed
// time counts seconds into minutes and hours; the copies are listed as they arrive.
TEST_F(CaptureTest, PageFollowsTriggerStopAndClear) {
    using std::chrono::milliseconds;
    const std::string path = write(cleanStream());
    auto ctx = std::make_unique<AnalysisContext>();
    ASSERT_EQ(analyseFile(*ctx, path).status, OfflineStatus::Completed);
    const std::vector<CaptureChoice> sections = captureChoices(*ctx, CapturePage::Section);
    const std::vector<CaptureChoice> errors = captureChoices(*ctx, CapturePage::Error);
    ManualTimerService clock;
    CapturePageModel page(clock, store_);
    const auto controls = [&] {
        const CaptureControls c = page.controls();
        return std::vector<bool>{c.trigger,  c.stop,       c.save, c.clear,
                                 c.typeList, c.countField, c.tabs};
    };
    const std::vector<bool> idle = {true, false, false, false, true, true, true};
    const std::vector<bool> triggered = {false, true, false, false, false, false, false};
    const std::vector<bool> complete = {false, false, true, true, false, false, false};

    // Offline: three PAT sections re-read from the file, listed, the first one shown.
    EXPECT_EQ(page.trigger(*ctx, nullptr, "3", false, path), CaptureTriggerResult::Ignored);
    ASSERT_EQ(page.trigger(*ctx, &sections[0], "3", false, path), CaptureTriggerResult::Started);
    EXPECT_EQ(controls(), triggered);
    EXPECT_EQ(page.countField(), "3");
    EXPECT_EQ(page.trigger(*ctx, &sections[0], "3", false, path), CaptureTriggerResult::Busy);
    // The poll ends the capture once the re-reading thread has taken the copies.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (page.running() && std::chrono::steady_clock::now() < giveUp) {
        clock.advance(milliseconds(100));
        std::this_thread::yield();
    }
    ASSERT_FALSE(page.running());
    EXPECT_EQ(page.copyLines(), (std::vector<std::string>{"收到第 001 个数据", "收到第 002 个数据",
                                                          "收到第 003 个数据"}));
    EXPECT_EQ(page.shownCopy(), std::optional<std::size_t>(0));
    page.choose(2);
    EXPECT_EQ(page.shownCopy(), std::optional<std::size_t>(2));
    EXPECT_EQ(controls(), complete);
    EXPECT_EQ(page.save((dir_ / "three.ts").string()).bytes, 3u * 24u);
    page.clear();
    EXPECT_EQ(controls(), idle);
    EXPECT_TRUE(page.copyLines().empty());
    EXPECT_EQ(store_.size(), 0u);

    // The same context as a live run that takes no copies: the elapsed time runs until the stop.
    ctx->analysisMode = AnalysisMode::Online;
    EXPECT_EQ(page.trigger(*ctx, &errors[3], "20", false), CaptureTriggerResult::Started);
    EXPECT_EQ(page.countField(), "10");
    EXPECT_EQ(ctx->capture.errorTrigger, 0x40);
    EXPECT_EQ(ctx->captureSink, &store_);
    clock.advance(milliseconds(3725'000));
    EXPECT_EQ(page.elapsedText(), "01:02:05");
    page.stop();
    EXPECT_EQ(controls(), complete);
    EXPECT_FALSE(captureArmed(ctx->capture));  // nothing is taken after the stop
    EXPECT_EQ(ctx->captureSink, nullptr);
    clock.advance(milliseconds(5000));
    EXPECT_EQ(page.elapsedText(), "01:02:05");
    page.clear();
    EXPECT_EQ(page.elapsedText(), "00:00:00");

    // The stream has no CAT: the page asks first; 250 copies are 100.
    const CaptureChoice* cat = nullptr;
    for (const CaptureChoice& c : sections)
        if (c.target.trigger == kCaptureLaterCat) cat = &c;
    ASSERT_NE(cat, nullptr);
    EXPECT_EQ(page.trigger(*ctx, cat, "250", false), CaptureTriggerResult::AskUnseen);
    EXPECT_EQ(page.pendingQuestion(), "传送流中可能不存在CAT。继续?");
    EXPECT_EQ(controls(), idle);
    EXPECT_EQ(page.trigger(*ctx, cat, "250", true), CaptureTriggerResult::Started);
    EXPECT_EQ(page.countField(), "100");
    page.stop();
    page.clear();

    // Before the end of the initialisation phase the trigger does nothing.
    ctx->initDone = false;
    EXPECT_EQ(page.trigger(*ctx, &sections[0], "", false), CaptureTriggerResult::Ignored);
    EXPECT_EQ(controls(), idle);
}

}  // namespace
}  // namespace orv
