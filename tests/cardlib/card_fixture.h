// Test bench of the card library: a fresh library state, the virtual clock, captured messages,
// and simulated devices that are unplugged again at the end of each test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cardlib/card_state.h"
#include "cardlib/zelcard.h"
#include "platform/clock.h"
#include "platform/message.h"
#include "sim/sim_devices.h"

namespace orv::test {

// A stream whose packets carry their own index (bytes 4-7, big-endian), so a test can tell
// exactly which packets a read delivered.
inline std::vector<std::uint8_t> indexedStream(std::size_t packets, unsigned packetSize = 188) {
    std::vector<std::uint8_t> bytes(packets * packetSize);
    for (std::size_t i = 0; i < packets; ++i) {
        std::uint8_t* p = bytes.data() + i * packetSize;
        p[0] = 0x47;
        p[1] = 0x01;
        p[2] = 0x00;
        p[3] = static_cast<std::uint8_t>(0x10 | (i & 0x0F));
        for (int k = 0; k < 4; ++k)
            p[4 + k] = static_cast<std::uint8_t>(i >> (24 - 8 * k));
        for (unsigned k = 8; k < packetSize; ++k)
            p[k] = static_cast<std::uint8_t>(i + k);
    }
    return bytes;
}

// The index a packet carries.
inline std::uint32_t packetIndex(const std::uint8_t* p) {
    return std::uint32_t(p[4]) << 24 | p[5] << 16 | p[6] << 8 | p[7];
}

inline constexpr std::size_t kIndexedPackets = 1000;
inline constexpr double kIndexedBitrate = 2'000'000;

inline sim::SimConfig simConfig(sim::SimKind kind, unsigned packetSize = 188) {
    sim::SimConfig c;
    c.kind = kind;
    c.bytes = indexedStream(kIndexedPackets, packetSize);
    c.bitrate = kIndexedBitrate;
    c.speed = 20;
    return c;
}

class CardTest : public ::testing::Test {
  protected:
    void SetUp() override { zel::resetLibraryState(); }
    void TearDown() override {
        zel::resetLibraryState();
        for (auto& device : devices_)
            sim::unplug(device);
    }

    std::shared_ptr<sim::PciCard> plugPci(sim::SimConfig c) {
        c.kind = sim::SimKind::Pci;
        auto device = sim::plugInPci(std::move(c));
        devices_.push_back(device);
        return device;
    }
    std::shared_ptr<sim::UsbBox> plugUsb(sim::SimConfig c) {
        c.kind = sim::SimKind::Usb;
        auto device = sim::plugInUsb(std::move(c));
        devices_.push_back(device);
        return device;
    }

    // ASI initialisation of card 0 (PCI: port code 1, as the program passes it).
    long initAsi() { return ZelInitCard(0, 0, 0, 1, 6000000, 474000, 6875, 2, 0); }
    long initCable(unsigned long frequencyKHz, unsigned long symbolRateK, unsigned qamIndex) {
        return ZelInitCard(1, 0, 0, 2, 6000000, frequencyKHz, symbolRateK, qamIndex, 0);
    }

    VirtualClock clock_;
    std::vector<std::string> messages_;
    ScopedMessageHook hook_{[this](std::string_view text) { messages_.emplace_back(text); }};
    std::vector<std::shared_ptr<devio::Driver>> devices_;
};

}  // namespace orv::test
