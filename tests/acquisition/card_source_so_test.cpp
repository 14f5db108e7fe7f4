// A program that links only libZelcard.so, as the analyzer does: it waits on the card's data
// event through the descriptor the library exports (poll(2) beside a descriptor of its own), and
// runs the card source over it. The device is the one ORV_SIM_DEVICE names at the first open.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/card_source.h"
#include "cardlib/zelcard.h"

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFilePackets = 400;

std::string streamPath() {
    return ::testing::TempDir() + "card_source_so_" + std::to_string(getpid()) + ".ts";
}

// The process's device: a simulated PCI card playing null packets that carry their index in
// bytes 4 to 7, at 4 Mbit/s, ten times as fast. Set once: the library plugs it in at its first
// open and keeps it.
void chooseDevice() {
    static const bool chosen = [] {
        std::vector<unsigned char> bytes(188 * kFilePackets, 0xFF);
        for (std::size_t i = 0; i < kFilePackets; ++i) {
            unsigned char* p = bytes.data() + i * 188;
            p[0] = 0x47;
            p[1] = 0x1F;
            p[2] = 0xFF;
            p[3] = static_cast<unsigned char>(0x10 | (i & 0x0F));
            for (int k = 0; k < 4; ++k)
                p[4 + k] = static_cast<unsigned char>(i >> (24 - 8 * k));
        }
        std::FILE* f = std::fopen(streamPath().c_str(), "wb");
        if (f == nullptr) return false;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        const std::string device = "pci:file=" + streamPath() + ",rate=4000000,speed=10";
        ::setenv("ORV_SIM_DEVICE", device.c_str(), 1);
        return true;
    }();
    ASSERT_TRUE(chosen);
}

bool readable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN);
}

TEST(CardEvents, DescriptorIsReadableWhileTheDataEventIsSignalledAndTheWaitTakesTheSignal) {
    chooseDevice();
    // Out of range, and no events before the FIFO is set up.
    EXPECT_EQ(ZelGetCardEventFd(6, 0), -1);
    EXPECT_EQ(ZelGetCardEventFd(1, 10), -1);
    EXPECT_EQ(ZelWaitCardEvent(6, 0, 0), -1);
    EXPECT_EQ(ZelWaitCardEvent(1, 0, 10), -1);
    EXPECT_EQ(ZelGetCardEventFd(1, 0), -2);
    EXPECT_EQ(ZelWaitCardEvent(1, 0, 0), -2);

    ASSERT_EQ(ZelInitCard(0, 0, 0, 1, 6000000, 474000, 6875, 2, 0), 0);
    ASSERT_EQ(ZelInitFifo(500, 0, 50, 0, 0), 0);
    const long fd = ZelGetCardEventFd(1, 0);
    ASSERT_GE(fd, 0);
    const int descriptor = static_cast<int>(fd);
    EXPECT_TRUE(::fcntl(descriptor, F_GETFD) & FD_CLOEXEC);
    EXPECT_FALSE(readable(descriptor, 0));  // nothing received yet
    EXPECT_EQ(ZelWaitCardEvent(1, 0, 0), 1);

    ASSERT_EQ(ZelStartReceive(0), 0);
    ASSERT_TRUE(readable(descriptor, 5000));  // the first block
    ASSERT_EQ(ZelStopReTran(0), 0);
    std::this_thread::sleep_for(20ms);  // a block on its way when the stop came
    // Readiness leaves the event set; the wait takes the signal and it is gone.
    EXPECT_TRUE(readable(descriptor, 0));
    EXPECT_TRUE(readable(descriptor, 0));
    EXPECT_EQ(ZelWaitCardEvent(1, 0, 0), 0);
    EXPECT_FALSE(readable(descriptor, 0));
    EXPECT_EQ(ZelWaitCardEvent(1, 20, 0), 1);
    EXPECT_EQ(::close(descriptor), 0);
    std::remove(streamPath().c_str());
}

TEST(CardSourceOverTheSharedLibrary, ReadsTheCardInOrderAndAWakeEndsTheWait) {
    chooseDevice();
    orv::CardSource source;
    std::atomic<bool> stop{false};
    ASSERT_EQ(source.open(stop), orv::LiveOpenResult::Ready);
    EXPECT_EQ(source.packetLength(), 188);

    std::vector<std::uint8_t> block(orv::kLiveBlockBytes);
    std::array<std::uint32_t, orv::kLiveMaxGroupsPerRead> times{};
    std::vector<std::uint32_t> indices;
    for (int waits = 0; indices.size() < 40 * 30 && waits < 100; ++waits) {
        if (!source.waitForData(200ms)) continue;
        const orv::LiveRead read = source.read(block, times);
        ASSERT_FALSE(read.framingLost);
        ASSERT_EQ(read.packetLength, 188);
        for (std::size_t i = 0; i < read.groups * 40; ++i) {
            const std::uint8_t* p = block.data() + i * 188;
            ASSERT_EQ(p[0], 0x47);
            indices.push_back(std::uint32_t(p[4]) << 24 | p[5] << 16 | p[6] << 8 | p[7]);
        }
    }
    ASSERT_GE(indices.size(), 40u * 30);
    for (std::size_t i = 1; i < indices.size(); ++i)
        ASSERT_EQ(indices[i], (indices[i - 1] + 1) % kFilePackets) << "packet " << i;
    EXPECT_NEAR(source.inputBitrateMbps(), 4.0, 0.04);

    // While data keeps coming, a wake still ends the wait (the stop request comes first).
    source.wake();
    EXPECT_FALSE(source.waitForData(10s));
    EXPECT_TRUE(source.waitForData(5s));
    source.close();
    std::remove(streamPath().c_str());
}

}  // namespace
