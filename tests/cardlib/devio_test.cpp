// The device layer: handles, interface enumeration, named events, shared memory tokens, the
// virtual clock, and the simulated devices' configuration text.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/clock.h"
#include "platform/devio/devio.h"
#include "platform/devio/event.h"
#include "platform/devio/shared_memory.h"
#include "sim/sim_config.h"

namespace orv::devio {
namespace {

class EchoDriver : public Driver {
  public:
    std::uint32_t control(std::uint32_t code, std::span<const std::byte> in,
                          std::span<std::byte> out, std::size_t& returned) override {
        if (code != 1) return kErrorInvalidParameter;
        returned = std::min(in.size(), out.size()) + 10;  // claims more than fits
        std::memcpy(out.data(), in.data(), std::min(in.size(), out.size()));
        return kErrorSuccess;
    }
};

const Guid kClass{0x12345678, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(DeviceLayer, OpenControlAndClose) {
    auto driver = std::make_shared<EchoDriver>();
    registerDevice("\\\\.\\Echo0", driver);
    EXPECT_EQ(openDevice("\\\\.\\Echo1"), kInvalidHandle);
    EXPECT_EQ(lastError(), kErrorFileNotFound);
    const Handle h = openDevice("\\\\.\\Echo0");
    ASSERT_NE(h, kInvalidHandle);
    ASSERT_NE(h, 0u);
    char out[4] = {};
    std::uint32_t returned = 0;
    EXPECT_TRUE(deviceIoControl(h, 1, "abcdef", 6, out, sizeof out, &returned));
    EXPECT_EQ(returned, 4u);  // never more than the output buffer holds
    EXPECT_EQ(std::memcmp(out, "abcd", 4), 0);
    EXPECT_FALSE(deviceIoControl(h, 2, nullptr, 0, nullptr, 0, &returned));
    EXPECT_EQ(lastError(), kErrorInvalidParameter);
    EXPECT_TRUE(closeHandle(h));
    EXPECT_FALSE(deviceIoControl(h, 1, "a", 1, out, 1, &returned));
    EXPECT_EQ(lastError(), kErrorInvalidHandle);
    unregisterDriver(driver.get());
    EXPECT_EQ(openDevice("\\\\.\\Echo0"), kInvalidHandle);
}

TEST(DeviceLayer, InterfaceEnumerationAndDetailSize) {
    auto driver = std::make_shared<EchoDriver>();
    registerInterface(kClass, "\\\\?\\first", driver);
    registerInterface(kClass, "\\\\?\\second", driver);
    DeviceInfoSet set(kClass, kDigcfPresent | kDigcfDeviceInterface);
    InterfaceData data;
    ASSERT_TRUE(set.enumInterfaces(1, data));
    std::uint32_t required = 0;
    EXPECT_FALSE(set.interfaceDetail(data, nullptr, 0, &required));
    EXPECT_EQ(lastError(), kErrorInsufficientBuffer);
    EXPECT_EQ(required, 11u);
    char path[11];
    EXPECT_FALSE(set.interfaceDetail(data, path, 10, nullptr));
    ASSERT_TRUE(set.interfaceDetail(data, path, 11, nullptr));
    EXPECT_STREQ(path, "\\\\?\\second");
    EXPECT_FALSE(set.enumInterfaces(2, data));
    EXPECT_EQ(lastError(), kErrorNoMoreItems);
    unregisterDriver(driver.get());
    EXPECT_FALSE(
        DeviceInfoSet(kClass, kDigcfPresent | kDigcfDeviceInterface).enumInterfaces(0, data));
}

TEST(DeviceLayer, NamedEventsAreSharedWhileTheirEventLives) {
    auto owner = createNamedEvent(false, false, "Global\\Test");
    const Handle h = createEvent(false, false, "Global\\Test");
    EXPECT_EQ(lastError(), kErrorAlreadyExists);
    owner->set();
    EXPECT_EQ(waitForSingleObject(h, 0), kWaitObject0);
    EXPECT_EQ(waitForSingleObject(h, 0), kWaitTimeout);  // auto-reset
    closeHandle(h);
    owner.reset();
    const Handle fresh = createEvent(true, true, "Global\\Test");
    EXPECT_EQ(lastError(), kErrorSuccess);
    EXPECT_EQ(waitForSingleObject(fresh, 0), kWaitObject0);
    EXPECT_EQ(waitForSingleObject(fresh, 0), kWaitObject0);  // manual reset stays signalled
    EXPECT_TRUE(resetEvent(fresh));
    EXPECT_EQ(waitForSingleObject(fresh, 0), kWaitTimeout);
    closeHandle(fresh);
    EXPECT_EQ(waitForSingleObject(fresh, 0), kWaitFailed);
}

TEST(DeviceLayer, SharedMemoryTokensResolveOnlyWithinTheirSize) {
    auto block = std::make_shared<std::uint64_t[]>(4);
    MemoryToken token = 0;
    {
        SharedMemory share(block, 32);
        token = share.token();
        EXPECT_EQ(resolveMemory(token, 32), block.get());
        EXPECT_EQ(resolveMemory(token, 33), nullptr);
        // A moved share keeps the block registered; the emptied one releases nothing.
        SharedMemory moved(std::move(share));
        EXPECT_EQ(moved.token(), token);
        EXPECT_EQ(share.token(), 0u);
    }
    EXPECT_EQ(resolveMemory(token, 8), nullptr);
    EXPECT_EQ(resolveMemory(0, 0), nullptr);
}

TEST(DeviceLayer, VirtualClockAdvancesAtOnce) {
    VirtualClock clock;
    const std::uint64_t start = nowMs();
    sleepMs(2000);
    sleepMs(3);
    EXPECT_EQ(nowMs() - start, 2003u);
    EXPECT_EQ(clock.elapsedMs(), 2003u);
}

TEST(SimConfig, ParsesDevicesAndRejectsNonsense) {
    std::string error;
    auto devices = sim::parseSimConfig(
        "pci:file=/a.ts,freq=474000,sr=6875,qam=256,nolock,rate=4000000,speed=2.5;usb:file=/"
        "b.ts,dropinfo=3,refuse=0x220010",
        &error);
    ASSERT_EQ(devices.size(), 2u) << error;
    EXPECT_EQ(devices[0].kind, sim::SimKind::Pci);
    EXPECT_EQ(devices[0].file, "/a.ts");
    EXPECT_EQ(devices[0].qamIndex, 4u);
    EXPECT_TRUE(devices[0].noLock);
    EXPECT_EQ(devices[0].bitrate, 4000000.0);
    EXPECT_EQ(devices[0].speed, 2.5);
    EXPECT_EQ(devices[1].kind, sim::SimKind::Usb);
    EXPECT_EQ(devices[1].dropInfoAfter, 3);
    EXPECT_EQ(devices[1].refusedCodes, std::vector<std::uint32_t>{0x220010});
    for (const char* bad :
         {"pcx:file=/a.ts", "pci:freq=474000", "pci:file=/a.ts,qam=65", "pci:file=/a.ts,sr=abc",
          "usb:file=/a.ts,nolock=1", "pci:file=/a.ts,x=1"}) {
        EXPECT_TRUE(sim::parseSimConfig(bad, &error).empty()) << bad;
    }
}

}  // namespace
}  // namespace orv::devio
