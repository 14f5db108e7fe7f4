#include "platform/paths.h"

#include <gtest/gtest.h>

#include "tests/presentation/results_test_support.h"

namespace orv {
namespace {

using results_test::ScopedEnv;

TEST(DrivePaths, DriveLettersMapIntoTheDataFolderOtherPathsStay) {
    ScopedEnv dataDir("ORV_DATA_DIR", "/data/orv");
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"c:\\ERROR.log", "/data/orv/c/ERROR.log"},
        {"C:\\ERROR.log", "/data/orv/c/ERROR.log"},
        {"d:/logs\\run 1\\TS_DATA.log", "/data/orv/d/logs/run 1/TS_DATA.log"},
        {"c:ERROR.log", "/data/orv/c/ERROR.log"},
        {"c:\\..\\..\\etc\\passwd", "/data/orv/c/etc/passwd"},
        {"c:\\a\\.\\\\b.log", "/data/orv/c/a/b.log"},
        {"/var/log/orv/ERROR.log", "/var/log/orv/ERROR.log"},
        {"logs/ERROR.log", "logs/ERROR.log"},
        {"1:\\x", "1:\\x"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mapDrivePath(c.in), std::filesystem::path(c.out)) << c.in;
}

TEST(DrivePaths, DataFolderFollowsTheEnvironment) {
    ScopedEnv home("HOME", "/home/u");
    {
        ScopedEnv data("ORV_DATA_DIR", nullptr);
        ScopedEnv xdg("XDG_DATA_HOME", nullptr);
        EXPECT_EQ(userDataDir(), std::filesystem::path("/home/u/.local/share/orv01"));
    }
    {
        ScopedEnv data("ORV_DATA_DIR", "");
        ScopedEnv xdg("XDG_DATA_HOME", "/xdg");
        EXPECT_EQ(userDataDir(), std::filesystem::path("/xdg/orv01"));
    }
    {
        ScopedEnv data("ORV_DATA_DIR", nullptr);
        ScopedEnv xdg("XDG_DATA_HOME", "relative");  // not absolute: ignored
        EXPECT_EQ(userDataDir(), std::filesystem::path("/home/u/.local/share/orv01"));
    }
    ScopedEnv data("ORV_DATA_DIR", "/override");
    ScopedEnv xdg("XDG_DATA_HOME", "/xdg");
    EXPECT_EQ(userDataDir(), std::filesystem::path("/override"));
}

}  // namespace
}  // namespace orv
