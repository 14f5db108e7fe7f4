// Shared set-up of the results page tests: a context whose log is open for an offline run, fixed
// clocks, a scratch folder for the error log and a captured message hook.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/event_log.h"
#include "platform/message.h"

namespace orv::results_test {

inline constexpr std::time_t kRunClock = 1'700'000'000;   // when run events are logged
inline constexpr std::time_t kPageClock = 1'700'003'661;  // when the page takes events
inline std::time_t runClock() {
    return kRunClock;
}
inline std::time_t pageClock() {
    return kPageClock;
}

// A folder of its own under the system's temporary folder, removed with the object.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orv-results-XXXXXX");
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Sets an environment variable for the scope and restores the old value.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Lines of a CR LF file, without their ends.
inline std::vector<std::string> crlfLines(std::string_view bytes) {
    std::vector<std::string> lines;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find("\r\n");
        if (end == std::string_view::npos) {
            lines.emplace_back(bytes);
            break;
        }
        lines.emplace_back(bytes.substr(0, end));
        bytes.remove_prefix(end + 2);
    }
    return lines;
}

// A context in an offline run: all switches on, the log opened by the run event.
inline std::unique_ptr<AnalysisContext> runningContext(const std::filesystem::path& logFile) {
    auto ctx = std::make_unique<AnalysisContext>();
    enableAllMonitoring(*ctx);
    ctx->log.wallClock = runClock;
    ctx->logSettings.errorLogPath = logFile.string();
    ctx->initDone = true;
    beginRun(*ctx, kEventOfflineStart);
    return ctx;
}

struct CapturedMessages {
    std::vector<std::string> texts;
    ScopedMessageHook hook{[this](std::string_view m) { texts.emplace_back(m); }};
};

}  // namespace orv::results_test
