// `orv01` run as a user runs it, in a child process: its arguments, an optional simulated device
// (ORV_SIM_DEVICE), stdout read line by line through a pipe, stderr kept in a file; and a sender
// that plays a stream over loopback UDP/RTP for the live inputs.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Runs that must keep pace with a stream played in real time. A sanitizer build analyses several
// times slower than the stream plays, so they run in the normal build only; the threads of the
// online path are checked under the sanitizers by the run control, card and IP source tests.
#ifdef ORV_SANITIZED_BUILD
#define SKIP_REAL_TIME_RUN_IF_SANITIZED() GTEST_SKIP() << "real-time run, not in a sanitizer build"
#else
#define SKIP_REAL_TIME_RUN_IF_SANITIZED() static_cast<void>(0)
#endif

// One run of orv01 in a child process, its stdout read line by line through a pipe.
class Orv01 {
  public:
    Orv01(const fs::path& dir, std::vector<std::string> args, const std::string& simDevice = {}) {
        std::vector<std::string> env = {"ORV_REGISTRY_DIR=" + (dir / "registry").string(),
                                        "ORV_DATA_DIR=" + (dir / "data").string(),
                                        "PATH=/usr/bin:/bin"};
        if (!simDevice.empty()) env.push_back("ORV_SIM_DEVICE=" + simDevice);
        for (char** e = environ; *e != nullptr; ++e)
            if (std::string(*e).rfind("TSAN_OPTIONS=", 0) == 0) env.emplace_back(*e);
        args.insert(args.begin(), ORV01_PROGRAM);
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir / "stderr.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv, envp;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, ORV01_PROGRAM, &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = fdopen(out[0], "r");
        stderrPath_ = dir / "stderr.txt";
    }
    ~Orv01() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        if (out_ != nullptr) fclose(out_);
    }

    bool started() const { return pid_ > 0 && out_ != nullptr; }
    // The next line of stdout; nullopt at its end.
    std::optional<std::string> line() {
        char* text = nullptr;
        size_t size = 0;
        const ssize_t n = getline(&text, &size, out_);
        std::optional<std::string> result;
        if (n > 0) result = std::string(text, static_cast<size_t>(n));
        free(text);
        return result;
    }
    std::vector<json> restOfLines() {
        std::vector<json> lines;
        while (const std::optional<std::string> l = line())
            lines.push_back(json::parse(*l));
        return lines;
    }
    void signal(int sig) const { ::kill(pid_, sig); }
    // The exit code, or -1 when it did not exit by itself.
    int wait() {
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string errors() const {
        std::ifstream in(stderrPath_);
        return {std::istreambuf_iterator<char>(in), {}};
    }

  private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
    fs::path stderrPath_;
};

// Sends a file's packets as datagrams of 7 to 127.0.0.1:port, paced at `bitsPerSecond`; with
// RTP headers (payload type 33, 90 kHz time stamps) when asked.
void sendPaced(const std::vector<uint8_t>& ts, uint16_t port, double bitsPerSecond, bool rtp) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    constexpr std::size_t kChunk = 7 * 188;
    const auto start = std::chrono::steady_clock::now();
    std::vector<uint8_t> datagram;
    uint16_t sequence = 0;
    for (std::size_t off = 0; off < ts.size(); off += kChunk) {
        const std::size_t n = std::min(kChunk, ts.size() - off);
        const double at = static_cast<double>(off) * 8.0 / bitsPerSecond;
        std::this_thread::sleep_until(
            start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(at)));
        datagram.clear();
        if (rtp) {
            const uint32_t stamp = static_cast<uint32_t>(at * 90000.0);
            const uint8_t header[12] = {0x80,
                                        33,
                                        uint8_t(sequence >> 8),
                                        uint8_t(sequence),
                                        uint8_t(stamp >> 24),
                                        uint8_t(stamp >> 16),
                                        uint8_t(stamp >> 8),
                                        uint8_t(stamp),
                                        0x12,
                                        0x34,
                                        0x56,
                                        0x78};
            datagram.insert(datagram.end(), header, header + 12);
            ++sequence;
        }
        datagram.insert(datagram.end(), ts.begin() + static_cast<std::ptrdiff_t>(off),
                        ts.begin() + static_cast<std::ptrdiff_t>(off + n));
        ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to);
    }
    ::close(fd);
}

// A free UDP port on loopback (the kernel's choice; free again once closed).
uint16_t freePort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

}  // namespace
