#include "shell/settings/monitor_switches.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "platform/message.h"
#include "platform/registry.h"

namespace orv {
namespace {

// Points the registry stand-in at a fresh folder and captures messages.
class SwitchesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("orv-registry-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        setenv("ORV_REGISTRY_DIR", root_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ORV_REGISTRY_DIR");
        std::error_code ec;
        std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(root_, ec);
    }
    std::filesystem::path valueFile() const {
        return root_ / "Software" / "Microsoft" / "Zel" / "ORV03";
    }
    std::string storedValue() const {
        std::ifstream in(valueFile(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path root_;
    std::vector<std::string> messages_;
    ScopedMessageHook sink_{[this](std::string_view t) { messages_.emplace_back(t); }};
};

TEST_F(SwitchesTest, FirstStartWritesAllOnes) {
    auto ctx = std::make_unique<AnalysisContext>();
    ctx->monitorEnabled.fill(0);
    ASSERT_TRUE(loadMonitorSwitches(*ctx));
    EXPECT_EQ(storedValue(), std::string(32, '1'));
    for (int v : ctx->monitorEnabled)
        EXPECT_EQ(v, 1);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SwitchesTest, StoredValuesAreRead) {
    const std::string ones(31, '1');
    struct Case {
        std::string stored;
        std::string loaded;  // the switches after the load, as text
    };
    const Case cases[] = {
        {"0" + ones, "0" + ones},  // only "同步丢失错" off
        {ones + "0", ones + "0"},
        {"1101", "1101" + std::string(28, '1')},                     // short: the rest stays on
        {"x0" + std::string(30, '0'), "10" + std::string(30, '0')},  // not '0' means on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ASSERT_TRUE(RegistryKey::openOrCreate(kSettingsKey)->write(kSwitchesValue, c.stored));
        auto ctx = std::make_unique<AnalysisContext>();
        ASSERT_TRUE(loadMonitorSwitches(*ctx));
        EXPECT_EQ(switchesText(ctx->monitorEnabled), c.loaded);
    }
}

TEST_F(SwitchesTest, SaveRoundTripAndFailures) {
    auto ctx = std::make_unique<AnalysisContext>();
    ctx->monitorEnabled.fill(1);
    ctx->monitorEnabled[27] = 0;
    ASSERT_TRUE(saveMonitorSwitches(*ctx));
    EXPECT_EQ(storedValue(), std::string(27, '1') + "0" + std::string(4, '1'));

    // A registry root that cannot hold the key: both messages, the program is told to end.
    std::filesystem::remove_all(root_);
    std::ofstream(root_) << "not a folder";
    EXPECT_FALSE(loadMonitorSwitches(*ctx));
    EXPECT_FALSE(saveMonitorSwitches(*ctx));
    EXPECT_EQ(messages_, (std::vector<std::string>{"create reg failed", "create reg failed",
                                                   "set key value failed"}));
    EXPECT_EQ(ctx->monitorEnabled[27], 1);  // the load switched everything on before it failed
    std::filesystem::remove(root_);
}

TEST(SwitchesText, StrictParsingForTheCommandLine) {
    EXPECT_TRUE(parseSwitches(std::string(32, '0'), true).has_value());
    EXPECT_FALSE(parseSwitches(std::string(31, '1'), true).has_value());
    EXPECT_FALSE(parseSwitches(std::string(31, '1') + "2", true).has_value());
    MonitorSwitches s{};
    s[3] = 1;
    EXPECT_EQ(switchesText(s), "0001" + std::string(28, '0'));
}

}  // namespace
}  // namespace orv
