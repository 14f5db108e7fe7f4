// libZelcard.so as the program links it: only the exports, and the simulated device chosen by
// ORV_SIM_DEVICE before the first open.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cardlib/zelcard.h"

namespace {

std::vector<std::string> messages;

TEST(SharedLibrary, EnvironmentChoosesTheSimulatedCard) {
    // A small stream file for the simulated card.
    const std::string path = ::testing::TempDir() + "zelcard_so_test.ts";
    {
        std::vector<unsigned char> bytes(188 * 400, 0xFF);
        for (std::size_t i = 0; i < 400; ++i) {
            bytes[i * 188] = 0x47;
            bytes[i * 188 + 1] = 0x1F;
            bytes[i * 188 + 3] = 0x10;
        }
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    const std::string device = "pci:file=" + path + ",freq=474000,sr=6875,qam=64,rate=4000000";
    ::setenv("ORV_SIM_DEVICE", device.c_str(), 1);
    ZelSetMessageHook([](const char* text) { messages.emplace_back(text); });

    EXPECT_EQ(ZelInitCard(1, 0, 0, 2, 6000000, 474000, 6875, 2, 0), 0);
    EXPECT_EQ(ZelInitCard2(1, 0, 0, 2, 6000000, 474000, 6875, 2, 10, 0), -1);
    EXPECT_EQ(messages, std::vector<std::string>{"设备号错误!"});
    double mbps = 0;
    EXPECT_EQ(ZelGetInputBitrates(&mbps, 0), 0);
    EXPECT_NEAR(mbps, 4.0, 0.01);
    EXPECT_EQ(ZelGetCurSelQamMode(), 7u);
    char version[122] = {};
    EXPECT_EQ(ZelGetDllVersionForRivudUsb(version), 0);
    EXPECT_EQ(std::strlen(version), 121u);
    EXPECT_EQ(lZelCardNumber, 0);
    ZelSetMessageHook(nullptr);
    std::remove(path.c_str());
}

}  // namespace
