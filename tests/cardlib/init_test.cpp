// Opening and initialising: card numbers, the two open orders, the USB box's input selection and
// synchronisation, its lock status, and the PCI card's QAM start-up.
#include <gtest/gtest.h>

#include <functional>

#include "cardlib/card_state.h"
#include "cardlib/pci_access.h"
#include "cardlib/qam_demod.h"
#include "platform/devio/zelcard_interface.h"
#include "tests/cardlib/card_fixture.h"

namespace orv::test {
namespace {

using zel::DeviceKind;

TEST_F(CardTest, CardNumberTenIsRefusedByEveryExportWithoutTouchingADevice) {
    auto pci = plugPci(simConfig(sim::SimKind::Pci));
    auto usb = plugUsb(simConfig(sim::SimKind::Usb));
    std::uint8_t buffer[8160 * 2] = {};
    std::uint32_t rates[2] = {};
    ExtraDataInTs records[2] = {};
    unsigned count = 0;
    unsigned long size = 64;
    float ber = 0;
    int value = 0;
    double rate = 0;
    bool is188 = false;
    CurChannelParameter channel{};
    const std::function<long long()> calls[] = {
        [] { return ZelResetCard(10); },
        [] { return ZelInitCard(0, 0, 0, 1, 6000000, 474000, 6875, 2, 10); },
        [] { return ZelInitCard2(0, 0, 0, 1, 6000000, 474000, 6875, 2, 10, 0); },
        [] { return ZelSetParameterToQAM(0, 0, 0, 7, 1, 0, 0, 0, 0, 10); },
        [] { return ZelInitFifo(10, 0, 50, 0, 10); },
        [] { return ZelStartReceive(10); },
        [] { return ZelStopReTran(10); },
        [&] { return ZelReadData(buffer, rates, 1, 10); },
        [&] { return ZelReadData2(buffer, rates, records, count, 1, 10); },
        [&] { return ZelGetInputPacketLen(&is188, 10); },
        [&] { return ZelGetInputBitrates(&rate, 10); },
        [&] { return ZelGetQAM_BER(&ber, 10); },
        [&] { return ZelGetQAM_AGC(&value, 10); },
        [&] { return ZelGetQAM_SignalQuality(&value, 10); },
        [&] { return ZelGetQAM_CurChannelParameter(&channel, 10); },
        [&] { return ZelReadXingzuotuData(buffer, size, 10); },
        [] { return ZelStartTransmit(10); },
        [&] { return ZelWriteData(buffer, 1, 10); },
        [] { return ZelSetReceivePidFilter(0, nullptr, 10); },
    };
    testing::internal::CaptureStdout();
    for (std::size_t k = 0; k < std::size(calls); ++k)
        EXPECT_EQ(calls[k](), -1) << "call " << k;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no enumeration, no open
    EXPECT_TRUE(usb->requests().empty());
    EXPECT_EQ(pci->resetWrites(), 0u);
    EXPECT_EQ(messages_, std::vector<std::string>{"设备号错误!"});
}

TEST_F(CardTest, ExportsNeedingAnOpenCardFailBeforeInitialisation) {
    plugPci(simConfig(sim::SimKind::Pci));
    int agc = 0;
    EXPECT_EQ(ZelResetCard(0), -1);
    EXPECT_EQ(ZelStartReceive(0), -1);
    EXPECT_EQ(ZelGetQAM_AGC(&agc, 0), -1);
    EXPECT_EQ(ZelSetReceivePidFilter(0, nullptr, 0), -1);
}

TEST_F(CardTest, NoDeviceGivesMinusTwoAndLeavesTheUsbKind) {
    testing::internal::CaptureStdout();
    const long init = initAsi();
    const DeviceKind kind = zel::state().deviceKind;
    const long init2 = ZelInitCard2(0, 0, 0, 1, 6000000, 474000, 6875, 2, 0, 0);
    const std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_EQ(init, -2);
    EXPECT_EQ(kind, DeviceKind::UsbBox);
    EXPECT_EQ(init2, -2);
    EXPECT_EQ(trace, "");  // no interface to attempt
    EXPECT_EQ(messages_, std::vector<std::string>{"打开设备失败!"});
}

TEST_F(CardTest, InitialisationPrefersTheUsbBoxAndTheLazyOpenThePciCard) {
    auto pci = plugPci(simConfig(sim::SimKind::Pci));
    auto usb = plugUsb(simConfig(sim::SimKind::Usb));
    testing::internal::CaptureStdout();
    ASSERT_EQ(initAsi(), 0);
    const std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_EQ(zel::state().deviceKind, DeviceKind::UsbBox);
    EXPECT_EQ(trace.rfind("Attempting to open \\\\?\\usb#", 0), 0u) << trace;
    EXPECT_EQ(trace.find("FAILED"), std::string::npos);
    EXPECT_FALSE(usb->requests().empty());

    zel::resetLibraryState();
    ASSERT_EQ(ZelInitFifo(200, 0, 50, 0, 0), 0);
    EXPECT_EQ(zel::state().deviceKind, DeviceKind::PciCard);
}

TEST_F(CardTest, AUsbInterfaceThatFailsToOpenIsTracedAndTheNextOneTried) {
    auto bad = simConfig(sim::SimKind::Usb);
    bad.openFails = true;
    plugUsb(bad);
    plugUsb(simConfig(sim::SimKind::Usb));
    testing::internal::CaptureStdout();
    ASSERT_EQ(initAsi(), 0);
    const std::string trace = testing::internal::GetCapturedStdout();
    const auto attempt = trace.find("Attempting to open ");
    const auto failed = trace.find("FAILED to open ");
    const auto second = trace.find("Attempting to open ", attempt + 1);
    EXPECT_TRUE(attempt == 0 && failed != std::string::npos && second > failed) << trace;
}

TEST_F(CardTest, AsiOnAUsbBoxThatNeverSynchronises) {
    auto c = simConfig(sim::SimKind::Usb);
    c.noSync = true;
    auto usb = plugUsb(c);

    EXPECT_EQ(initAsi(), 0);
    std::vector<std::uint64_t> syncTimes;
    for (auto r : usb->requests()) {
        if (r.request == zel::kVendorSyncStatus) syncTimes.push_back(r.timeMs);
    }
    ASSERT_EQ(syncTimes.size(), 3u);
    EXPECT_EQ(syncTimes[1] - syncTimes[0], 2000u);
    EXPECT_EQ(syncTimes[2] - syncTimes[1], 2000u);
    EXPECT_TRUE(messages_.empty());

    const std::size_t before = usb->requests().size();
    EXPECT_EQ(ZelInitCard2(0, 0, 0, 1, 6000000, 474000, 6875, 2, 0, 0), -4);
    int syncRequests = 0;
    for (std::size_t k = before; k < usb->requests().size(); ++k) {
        syncRequests += usb->requests()[k].request == zel::kVendorSyncStatus;
    }
    EXPECT_EQ(syncRequests, 1);
    EXPECT_EQ(messages_, std::vector<std::string>{"TS流未同步上!"});
}

TEST_F(CardTest, UsbCableInitialisationReportsTheLockStatus) {
    struct Case {
        const char* name;
        bool noLock;
        std::uint32_t frequencyKHz;
        long plain;
        long withMessages;
        const char* message;
    };
    const Case cases[] = {
        {"locked", false, 474000, 0, 0, nullptr},
        {"other frequency", false, 482000, -5, -5, "Tuner未锁定!"},
        {"no signal", true, 474000, -5, -5, "Tuner未锁定!"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        zel::resetLibraryState();
        for (auto& d : devices_)
            sim::unplug(d);
        messages_.clear();
        auto c = simConfig(sim::SimKind::Usb);
        c.noLock = k.noLock;
        plugUsb(c);
        EXPECT_EQ(ZelInitCard(1, 0, 0, 2, 6000000, k.frequencyKHz, 6875, 2, 0), k.plain);
        EXPECT_TRUE(messages_.empty());
        EXPECT_EQ(ZelInitCard2(1, 0, 0, 2, 6000000, k.frequencyKHz, 6875, 2, 0, 1), k.withMessages);
        if (k.message) {
            EXPECT_EQ(messages_, std::vector<std::string>{k.message});
        }
        EXPECT_EQ(ZelGetCurSelQamMode(), 7u);
    }
}

TEST_F(CardTest, UsbInputSelectionFailureClosesTheCard) {
    auto c = simConfig(sim::SimKind::Usb);
    c.refusedRequests = {zel::kVendorInputSelect};
    plugUsb(c);
    EXPECT_EQ(initAsi(), -3);
    EXPECT_EQ(zel::slot(0).handle, 0u);
    EXPECT_EQ(messages_,
              std::vector<std::string>{"选择ASI/CABLE错误!请再试一次或重新复位码流分析仪!"});
}

TEST_F(CardTest, QamModeValuesAndTheRawParameterBlock) {
    EXPECT_EQ(ZelGetCurSelQamMode(), 7u);
    ZelSetCurSelQamMode(9);
    EXPECT_EQ(ZelGetCurSelQamMode(), 9u);

    plugPci(simConfig(sim::SimKind::Pci));
    EXPECT_EQ(ZelSetParameterToQAM(0, 0, 6875000, 9, 1, 0, 474000000, 0, 0, 0), -4);
    zel::resetLibraryState();
    plugUsb(simConfig(sim::SimKind::Usb));
    EXPECT_EQ(ZelSetParameterToQAM(0, 0, 6875000, 9, 1, 0, 474000000, 0, 0, 0), 0);
    EXPECT_EQ(zel::state().measureModeCode, 9u);
}

TEST_F(CardTest, PciAsiInitialisationSetsTheModeWithoutTuning) {
    auto pci = plugPci(simConfig(sim::SimKind::Pci));
    ASSERT_EQ(ZelInitCard(0, 1, 1, 1, 6000000, 474000, 6875, 2, 0), 0);
    EXPECT_EQ(pci->registerValue(zel::kRegMode), 0x0u | 1 << 2 | 1 << 3 | 1 << 5);
    EXPECT_EQ(pci->registerValue(zel::kRegRateWord), 6000000u);
    EXPECT_EQ(zel::slot(0).txBlockSize, 8160u);
    EXPECT_EQ(pci->tunerWrites(), 0u);
    EXPECT_EQ(ZelResetCard(0), 0);
    EXPECT_EQ(pci->resetWrites(), 2u);
}

TEST_F(CardTest, PciCardThatNeverGoesIdleGivesPciError) {
    auto c = simConfig(sim::SimKind::Pci);
    c.busy = true;
    plugPci(c);
    EXPECT_EQ(initAsi(), -3);
    EXPECT_EQ(messages_, std::vector<std::string>{"PCI ERROR!"});
    EXPECT_EQ(ZelInitCard2(0, 0, 0, 1, 6000000, 474000, 6875, 2, 0, 0), -3);
    EXPECT_EQ(messages_.size(), 1u);
}

TEST_F(CardTest, PciCableLocksOnlyOnTheSimulatedChannel) {
    struct Case {
        std::uint32_t frequencyKHz;
        std::uint32_t symbolRateK;
        unsigned qamIndex;
        bool inversion;
        long result;
    };
    const Case cases[] = {
        {474000, 6875, 2, false, 0},  {474000, 6875, 2, true, 0},   {474000, 6875, 4, false, -4},
        {474000, 5217, 2, false, -4}, {482000, 6875, 2, false, -4},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.frequencyKHz << " " << k.symbolRateK << " q"
                                        << k.qamIndex << " inv" << k.inversion);
        zel::resetLibraryState();
        for (auto& d : devices_)
            sim::unplug(d);
        auto c = simConfig(sim::SimKind::Pci);
        c.inversion = k.inversion;
        auto pci = plugPci(c);
        EXPECT_EQ(initCable(k.frequencyKHz, k.symbolRateK, k.qamIndex), k.result);
        EXPECT_EQ(zel::slot(0).qamLocked, k.result == 0);
        EXPECT_EQ(pci->demodulatorLocked(), k.result == 0);
        if (k.result == 0) {
            EXPECT_EQ(zel::state().lastAcquisition.frequencyKHz, k.frequencyKHz);
            EXPECT_NEAR(zel::state().lastAcquisition.symbolRateK, k.symbolRateK, 2);
        }
    }
}

TEST_F(CardTest, LockedPciCardReinitialisesWithoutTouchingTunerOrDemodulator) {
    auto pci = plugPci(simConfig(sim::SimKind::Pci));
    ASSERT_EQ(initCable(474000, 6875, 2), 0);
    const unsigned tuner = pci->tunerWrites();
    const unsigned demodulator = pci->demodulatorWritesExcept(130);
    EXPECT_GT(tuner, 0u);
    ASSERT_EQ(initCable(474000, 6875, 2), 0);
    EXPECT_EQ(pci->tunerWrites(), tuner);
    // Only the lock check's write of register 130.
    EXPECT_EQ(pci->demodulatorWritesExcept(130), demodulator);
}

// Every export that needs an open card answers -1 and leaves its outputs alone, as for a card
// never opened.
void expectCardClosed() {
    std::uint8_t buffer[8160] = {};
    std::uint32_t rates[1] = {77};
    ExtraDataInTs records[1] = {};
    unsigned count = 99;
    float ber = 5.0f;
    int agc = 12345;
    int quality = 54321;
    double mbps = 9.5;
    bool is188 = false;
    struct Call {
        const char* name;
        std::function<long long()> call;
    };
    const Call calls[] = {
        {"ZelResetCard", [] { return ZelResetCard(0); }},
        {"ZelStartReceive", [] { return ZelStartReceive(0); }},
        {"ZelStopReTran", [] { return ZelStopReTran(0); }},
        {"ZelReadData", [&] { return ZelReadData(buffer, rates, 1, 0); }},
        {"ZelReadData2", [&] { return ZelReadData2(buffer, rates, records, count, 1, 0); }},
        {"ZelGetInputPacketLen", [&] { return ZelGetInputPacketLen(&is188, 0); }},
        {"ZelGetInputBitrates", [&] { return ZelGetInputBitrates(&mbps, 0); }},
        {"ZelGetQAM_BER", [&] { return ZelGetQAM_BER(&ber, 0); }},
        {"ZelGetQAM_AGC", [&] { return ZelGetQAM_AGC(&agc, 0); }},
        {"ZelGetQAM_SignalQuality", [&] { return ZelGetQAM_SignalQuality(&quality, 0); }},
        {"ZelStartTransmit", [] { return ZelStartTransmit(0); }},
        {"ZelWriteData", [&] { return ZelWriteData(buffer, 1, 0); }},
        {"ZelSetReceivePidFilter", [] { return ZelSetReceivePidFilter(0, nullptr, 0); }},
    };
    for (const Call& c : calls)
        EXPECT_EQ(c.call(), -1) << c.name;
    EXPECT_EQ(rates[0], 77u);
    EXPECT_EQ(count, 99u);
    EXPECT_EQ(ber, 5.0f);
    EXPECT_EQ(agc, 12345);
    EXPECT_EQ(quality, 54321);
    EXPECT_EQ(mbps, 9.5);
    EXPECT_FALSE(is188);
    EXPECT_FALSE(zel::slot(0).receiving);
    EXPECT_FALSE(zel::slot(0).transmitting);
}

TEST_F(CardTest, AFailedOpenLeavesTheCardClosed) {
    auto failing = [](sim::SimKind kind) {
        auto c = simConfig(kind);
        c.openFails = true;
        return c;
    };
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::function<long()> open;
    };
    const Case cases[] = {
        {"no device, initialisation", [] {}, [this] { return initAsi(); }},
        {"no device, FIFO set-up", [] {}, [] { return ZelInitFifo(10, 0, 50, 0, 0); }},
        {"PCI card refusing, initialisation", [&] { plugPci(failing(sim::SimKind::Pci)); },
         [this] { return initAsi(); }},
        {"PCI card refusing, FIFO set-up", [&] { plugPci(failing(sim::SimKind::Pci)); },
         [] { return ZelInitFifo(10, 0, 50, 0, 0); }},
        {"USB box refusing, initialisation", [&] { plugUsb(failing(sim::SimKind::Usb)); },
         [this] { return initAsi(); }},
        {"USB box refusing, channel status", [&] { plugUsb(failing(sim::SimKind::Usb)); },
         [] {
             CurChannelParameter p{};
             return ZelGetQAM_CurChannelParameter(&p, 0);
         }},
        {"an open card whose re-initialisation finds no device",
         [&] {
             auto pci = plugPci(simConfig(sim::SimKind::Pci));
             ASSERT_EQ(initAsi(), 0);
             ASSERT_EQ(ZelInitFifo(10, 0, 50, 0, 0), 0);
             sim::unplug(pci);
         },
         [this] { return initAsi(); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        zel::resetLibraryState();
        for (auto& d : devices_)
            sim::unplug(d);
        devices_.clear();
        testing::internal::CaptureStdout();
        k.arrange();
        EXPECT_EQ(k.open(), -2);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(zel::slot(0).handle, 0u);
        expectCardClosed();
    }
}

// The simulated engine shows a transfer's result only after its bus time has passed: a transfer
// that polled at once would see 200 unchanged data words.
TEST_F(CardTest, I2cTransfersWaitForTheBusBeforePolling) {
    auto pci = plugPci(simConfig(sim::SimKind::Pci));
    ASSERT_EQ(initAsi(), 0);
    std::uint8_t value = 0;
    struct Case {
        const char* name;
        std::function<int()> transfer;
        int result;
        unsigned attempts;
    };
    const Case cases[] = {
        {"demodulator write", [] { return zel::i2cWrite(0, zel::kDemodulatorAddress, 67, 16); }, 0,
         1},
        {"demodulator read", [&] { return zel::i2cRead(0, zel::kDemodulatorAddress, 67, value); },
         0, 1},
        // Nobody answers 0x50: three attempts, then the not-acknowledged bits 8-15.
        {"write nobody acknowledges", [] { return zel::i2cWrite(0, 0x50, 1, 2); }, 0x02, 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const auto before = clock_.elapsed();
        const unsigned polls = pci->registerReads(zel::kRegI2cData);
        EXPECT_EQ(k.transfer(), k.result);
        // One poll per attempt: each waited long enough for its transfer.
        EXPECT_EQ(pci->registerReads(zel::kRegI2cData) - polls, k.attempts);
        // A short wait: well under a millisecond per attempt on a standard-mode bus.
        EXPECT_LE(clock_.elapsed() - before, k.attempts * std::chrono::milliseconds(1));
    }
    EXPECT_EQ(value, 16);
}

TEST_F(CardTest, I2cTransferThatNeverCompletes) {
    auto c = simConfig(sim::SimKind::Pci);
    c.i2cStuck = true;
    auto pci = plugPci(c);
    ASSERT_EQ(initAsi(), 0);
    const unsigned readsBefore = pci->registerReads(zel::kRegI2cData);
    EXPECT_EQ(zel::i2cWrite(0, zel::kDemodulatorAddress, 67, 16), -1);
    EXPECT_EQ(pci->registerReads(zel::kRegI2cData) - readsBefore, 200u);
    EXPECT_EQ(pci->statusClears(), 2u);  // the initialisation's and the give-up's
    std::uint8_t value = 0;
    EXPECT_EQ(zel::i2cRead(0, zel::kDemodulatorAddress, 67, value), -1);
    // A stuck engine keeps the card from locking.
    EXPECT_EQ(initCable(474000, 6875, 2), -4);
}

TEST(QamTables, SweepRangeBySymbolRateAndConstellation) {
    struct Case {
        std::uint32_t s;
        std::uint32_t q;
        int range;
        int step;
    };
    const Case cases[] = {
        {6875, 4, 343, -100}, {6875, 0, 1400, -100}, {6500, 1, 700, -100}, {6499, 1, 550, -100},
        {5000, 4, 250, -100}, {3500, 0, 1200, -100}, {3499, 2, 500, -100}, {1501, 4, 230, -100},
        {1500, 4, 290, -110}, {1500, 3, 270, -100},  {1000, 2, 230, -100},
    };
    for (const Case& k : cases) {
        const zel::SweepRange r = zel::sweepRange(k.s, k.q);
        EXPECT_EQ(r.range, k.range) << k.s << " q" << k.q;
        EXPECT_EQ(r.step, k.step) << k.s << " q" << k.q;
    }
}

TEST(QamTables, SymbolRateRegisterAndReadBack) {
    // S / 28920 kHz x 2^32.
    EXPECT_EQ(zel::symbolRateValue(6875), 1021020060u);
    EXPECT_NEAR(zel::readBackSymbolRate(zel::symbolRateValue(6875)), 6875, 1);
    EXPECT_NEAR(zel::readBackSymbolRate(zel::symbolRateValue(1000)), 1000, 1);
}

}  // namespace
}  // namespace orv::test
