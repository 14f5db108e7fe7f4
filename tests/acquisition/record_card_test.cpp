// Recording from the simulated capture card through the card library, in real time: the
// initialisation lists the stream's PIDs, and a filtered recording is every packet of the chosen
// PIDs the card played, in order and whole; a CABLE input without lock records nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "acquisition/record_card_feed.h"
#include "acquisition/recorder.h"
#include "cardlib/card_state.h"
#include "platform/clock.h"
#include "platform/message.h"
#include "sim/sim_devices.h"
#include "tests/acquisition/record_test_support.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class RecordCardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        zel::resetLibraryState();
        dir_ = fs::temp_directory_path() /
               ("orv-record-card-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        zel::resetLibraryState();
        for (auto& device : devices_)
            sim::unplug(device);
        fs::remove_all(dir_);
    }
    fs::path dir_;
    std::vector<std::shared_ptr<devio::Driver>> devices_;
    std::vector<std::string> messages_;
    ScopedReasonedMessageHook hook_{
        [this](std::string_view text, std::string_view) { messages_.emplace_back(text); }};
};

TEST_F(RecordCardTest, AFilteredRecordingIsEveryPacketOfThosePidsTheCardPlayed) {
    tsgen::PresetOptions options;
    options.durationMs = 1000;
    const std::vector<std::uint8_t> stream =
        tsgen::generateStream(tsgen::cleanPreset(options).config);
    sim::SimConfig c;
    c.bytes = stream;
    c.speed = 4;  // 32 Mbit/s
    devices_.push_back(sim::plugInPci(c));

    RecordCardFeed feed;
    Recorder recorder(feed);
    RecordSettings settings;
    settings.path = (dir_ / "out.ts").string();
    settings.filterMode = FilterMode::Only;
    settings.pids = {0x100, 0x101};
    settings.limit = 1;
    ASSERT_EQ(recorder.start(settings), std::nullopt);
    ASSERT_TRUE(recorder.waitUntilEnded(15s));
    const RecordStatus s = recorder.status();
    EXPECT_EQ(s.endedBy, RecordEnd::Limit) << s.message;
    EXPECT_TRUE(messages_.empty());

    // The information list: the two first lines, then the PIDs of the stream.
    ASSERT_GE(s.init.lines.size(), 3u);
    EXPECT_EQ(s.init.lines[0], "初始化成功！");
    EXPECT_EQ(s.init.lines[1], "正在分析传送流......");
    EXPECT_EQ(s.init.packetLengthText, "188");
    std::set<std::uint16_t> present;
    for (std::size_t at = 0; at + 188 <= stream.size(); at += 188)
        present.insert(pidOf(stream.data() + at));
    const std::set<std::uint16_t> listed(s.init.pids.begin(), s.init.pids.end());
    EXPECT_EQ(listed, present);

    // The source's packets of the two PIDs, twice over (the card plays the file in a loop).
    std::vector<std::vector<std::uint8_t>> chosen;
    for (int loop = 0; loop < 2; ++loop)
        for (std::size_t at = 0; at + 188 <= stream.size(); at += 188)
            if (const std::uint16_t pid = pidOf(stream.data() + at); pid == 0x100 || pid == 0x101)
                chosen.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                                    stream.begin() + static_cast<std::ptrdiff_t>(at + 188));
    const std::vector<std::uint8_t> file = readFile(settings.path);
    ASSERT_EQ(file.size(), 999'972u);
    const std::size_t count = file.size() / 188;
    ASSERT_GT(chosen.size() / 2, 0u);
    // Where the recording starts in the loop, then every packet after it.
    std::size_t start = 0;
    while (start < chosen.size() / 2 &&
           !std::equal(file.begin(), file.begin() + 188, chosen[start].begin()))
        ++start;
    ASSERT_LT(start, chosen.size() / 2);
    std::size_t mismatches = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const auto& expected = chosen[(start + k) % (chosen.size() / 2)];
        mismatches += !std::equal(expected.begin(), expected.end(),
                                  file.begin() + static_cast<std::ptrdiff_t>(k * 188));
    }
    EXPECT_EQ(mismatches, 0u);
}

// "不同步": the card's plain stream in blocks of 8160 bytes, written as it comes; the size limit
// cuts it at exactly 10^6 bytes.
TEST_F(RecordCardTest, ARawRecordingIsTheStreamsBytesAsTheyCame) {
    const std::vector<std::uint8_t> stream = pidCycleStream(3000, {0x0, 0x100, 0x101});
    sim::SimConfig c;
    c.bytes = stream;
    c.bitrate = 20'000'000;
    devices_.push_back(sim::plugInPci(c));
    RecordCardFeed feed;
    Recorder recorder(feed);
    RecordSettings settings;
    settings.path = (dir_ / "raw.ts").string();
    settings.recordMode = RecordMode::Raw;
    settings.limit = 1;
    ASSERT_EQ(recorder.start(settings), std::nullopt);
    ASSERT_TRUE(recorder.waitUntilEnded(15s));
    const RecordStatus s = recorder.status();
    EXPECT_EQ(s.endedBy, RecordEnd::Limit) << s.message;
    EXPECT_EQ(s.init.lines, (std::vector<std::string>{"初始化成功！", "正在分析传送流......",
                                                      "不同步方式录制!"}));
    const std::vector<std::uint8_t> file = readFile(settings.path);
    ASSERT_EQ(file.size(), 1'000'000u);
    // Where the file starts in the looped stream, then byte for byte.
    const auto matchesAt = [&](std::size_t start) {
        for (std::size_t k = 0; k < 376; ++k)
            if (file[k] != stream[(start + k) % stream.size()]) return false;
        return true;
    };
    std::size_t start = 0;
    while (start < stream.size() && !matchesAt(start))
        ++start;
    ASSERT_LT(start, stream.size());
    std::size_t mismatches = 0;
    for (std::size_t k = 0; k < file.size(); ++k)
        mismatches += file[k] != stream[(start + k) % stream.size()];
    EXPECT_EQ(mismatches, 0u);
}

TEST_F(RecordCardTest, ACableInputWithoutLockRecordsNothing) {
    const VirtualClock clock;  // the tuner's sweep takes seconds of waits
    sim::SimConfig c;
    c.bytes = pidCycleStream(4000, {0x0, 0x100});
    c.noLock = true;
    devices_.push_back(sim::plugInPci(c));
    RecordCardFeed feed;
    Recorder recorder(feed);
    RecordSettings settings;
    settings.input = {InputInterface::Cable, 474000, 6875, 2};
    settings.path = (dir_ / "out.ts").string();
    ASSERT_EQ(recorder.start(settings), std::nullopt);
    ASSERT_TRUE(recorder.waitUntilEnded(15s));
    EXPECT_EQ(recorder.status().endedBy, RecordEnd::InputFailed);
    EXPECT_EQ(recorder.status().init.lines, std::vector<std::string>{"初始化失败！"});
    EXPECT_EQ(messages_, std::vector<std::string>{"初始化失败！"});
    EXPECT_FALSE(fs::exists(settings.path));
}

}  // namespace
}  // namespace orv::test
