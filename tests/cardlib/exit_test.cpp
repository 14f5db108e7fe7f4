// A program that used a card, simulated PCI card or USB box, ends normally whatever stage it
// reached and whether or not it stopped the card first: each case runs the probe program in a
// fresh process over libZelcard.so, with the device chosen by ORV_SIM_DEVICE.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Runs the probe with ORV_SIM_DEVICE set; returns its wait status.
int runProbe(const std::string& device, const std::vector<std::string>& args) {
    std::vector<std::string> env{"ORV_SIM_DEVICE=" + device};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("ORV_SIM_DEVICE=", 0) != 0) env.emplace_back(*e);
    }
    std::vector<std::string> argv{ZELCARD_EXIT_PROBE};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> p;
        for (std::string& s : strings)
            p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    auto argp = pointers(argv);
    auto envp = pointers(env);
    pid_t pid = 0;
    if (posix_spawn(&pid, argp[0], nullptr, nullptr, argp.data(), envp.data()) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return status;
}

// A file of its own for each test: ctest runs the tests of this program side by side.
std::string streamFile() {
    const std::string path = ::testing::TempDir() + "zelcard_exit_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                             std::to_string(getpid()) + ".ts";
    std::vector<unsigned char> bytes(188 * 400, 0xFF);
    for (std::size_t i = 0; i < 400; ++i) {
        bytes[i * 188] = 0x47;
        bytes[i * 188 + 1] = 0x1F;
        bytes[i * 188 + 2] = 0xFF;
        bytes[i * 188 + 3] = static_cast<unsigned char>(0x10 | (i & 0x0F));
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return {};
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

TEST(ProcessExit, EndsNormallyWhateverStageTheCardReached) {
    const std::string file = streamFile();
    ASSERT_FALSE(file.empty());
    const char* kinds[] = {"pci", "usb"};
    const char* stages[] = {"open", "fifo", "receive", "read"};
    for (const char* kind : kinds) {
        const std::string device = std::string(kind) + ":file=" + file + ",rate=4000000,speed=10";
        for (const char* stage : stages) {
            for (bool stop : {false, true}) {
                SCOPED_TRACE(std::string(kind) + " " + stage + (stop ? " stopped" : " left open"));
                std::vector<std::string> args{stage};
                if (stop) args.emplace_back("stop");
                const int status = runProbe(device, args);
                ASSERT_NE(status, -1) << "the probe did not run";
                EXPECT_FALSE(WIFSIGNALED(status)) << "signal " << WTERMSIG(status);
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                    << "exit status " << WEXITSTATUS(status);
            }
        }
    }
    std::remove(file.c_str());
}

TEST(ProcessExit, AFailedOpenEndsNormallyToo) {
    const std::string file = streamFile();
    ASSERT_FALSE(file.empty());
    for (const char* kind : {"pci", "usb"}) {
        SCOPED_TRACE(kind);
        const int status = runProbe(std::string(kind) + ":file=" + file + ",openfail", {"open"});
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 3);  // ZelInitCard refused, then a normal end
    }
    std::remove(file.c_str());
}

}  // namespace
