// What the command-line tests share: a scratch folder per test that the settings and the user data
// folder point into, stream files written there, the messages the command showed, and one run of
// `orv01 analyze` with its exit code and output.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/message.h"
#include "shell/cli/analyze_command.h"

namespace orv::cli {

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("orv-cli-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        setenv("ORV_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
        setenv("ORV_DATA_DIR", (dir_ / "data").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ORV_REGISTRY_DIR");
        unsetenv("ORV_DATA_DIR");
        std::filesystem::remove_all(dir_);
    }

    std::string write(const std::vector<uint8_t>& ts, const char* name = "stream.ts") {
        const std::filesystem::path p = dir_ / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(ts.data()),
                   static_cast<std::streamsize>(ts.size()));
        return p.string();
    }

    // Runs the command; its output, with the exit code in exitCode_.
    std::string run(const AnalyzeOptions& options) {
        std::ostringstream out;
        exitCode_ = runAnalyze(options, out);
        return out.str();
    }

    // The options of a plain run: the given output form, no error log.
    static AnalyzeOptions options(const std::string& file, bool asJson,
                                  std::optional<double> bitrate = std::nullopt) {
        AnalyzeOptions o;
        o.file = file;
        o.json = asJson;
        o.writeLog = false;
        o.bitrateMbps = bitrate;
        return o;
    }

    std::filesystem::path dir_;
    int exitCode_ = 0;
    std::vector<std::string> messages_;
    ScopedMessageHook hook_{[this](std::string_view t) { messages_.emplace_back(t); }};
};

}  // namespace orv::cli
