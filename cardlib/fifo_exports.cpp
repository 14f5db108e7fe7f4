// FIFO set-up, receive start and stop, packet length and input rate.
#include <cstdint>
#include <cstring>
#include <string>

#include "cardlib/card_state.h"
#include "cardlib/device_open.h"
#include "cardlib/pci_access.h"
#include "cardlib/usb_stream.h"
#include "cardlib/usb_vendor.h"
#include "cardlib/zelcard.h"
#include "platform/clock.h"
#include "platform/devio/event.h"
#include "platform/devio/shared_memory.h"
#include "platform/devio/zelcard_interface.h"

namespace orv::zel {
namespace {

constexpr int kLatchPolls = 100;  // the latch answers at once; a dead card must not hang us
constexpr std::uint32_t kUsbSettleMs = 200;

void closeEventSlot(unsigned card, int k) {
    ZelHandle& h = hZelCardEvent[card].slot[k];
    if (h != 0) devio::closeHandle(h);
    h = 0;
}

long initFifoPci(unsigned long rxEntries, unsigned long txEntries, unsigned long rxParam,
                 unsigned long txParam, unsigned card) {
    ZelReceiveFifo[card].param = static_cast<std::uint32_t>(rxParam);
    ZelReceiveFifo[card].entryCount = static_cast<std::uint32_t>(rxEntries);
    ZelTransmitFifo[card].param = static_cast<std::uint32_t>(txParam);
    ZelTransmitFifo[card].entryCount = static_cast<std::uint32_t>(txEntries);
    const std::uint32_t args[4] = {
        static_cast<std::uint32_t>(rxEntries), static_cast<std::uint32_t>(txEntries),
        static_cast<std::uint32_t>(rxParam), static_cast<std::uint32_t>(txParam)};
    PciFifoSetupOutput out{};
    std::uint32_t returned = 0;
    if (!devio::deviceIoControl(slot(card).handle, kIoctlPciFifoSetup, args, sizeof args, &out,
                                sizeof out, &returned) ||
        out.rxAccepted == 0 || out.txAccepted == 0) {
        return -3;
    }
    ZelReceiveFifo[card].entries = out.rxEntries;
    ZelTransmitFifo[card].entries = out.txEntries;
    ZelReceiveFifo[card].readCounter = out.rxReadCounter;
    ZelReceiveFifo[card].writeCounter = out.rxWriteCounter;
    ZelTransmitFifo[card].readCounter = out.txReadCounter;
    ZelTransmitFifo[card].writeCounter = out.txWriteCounter;
    BitRateFifo[card] = static_cast<std::uint32_t*>(
        devio::resolveMemory(out.bitRates, std::size_t{4} * static_cast<std::uint32_t>(rxEntries)));

    for (int k : {5, 4, 0, 1, 2, 3}) {
        closeEventSlot(card, k);
        hZelCardEvent[card].slot[k] = devio::createEvent(k == 3, false, nullptr);
    }
    static constexpr int kOrder[6] = {1, 3, 0, 2, 5, 4};
    devio::Handle handles[6];
    for (int k = 0; k < 6; ++k)
        handles[k] = hZelCardEvent[card].slot[kOrder[k]];
    std::uint8_t accepted[6] = {};
    if (!devio::deviceIoControl(slot(card).handle, kIoctlPciEventSetup, handles, sizeof handles,
                                accepted, sizeof accepted, &returned)) {
        return -4;
    }
    for (int k = 0; k < 6; ++k) {
        if (accepted[k] == 0) closeEventSlot(card, kOrder[k]);
    }
    return 0;
}

long initFifoUsb(unsigned long rxParam, unsigned card) {
    const std::uint32_t arg = static_cast<std::uint32_t>(rxParam);
    std::uint8_t name[64] = {};
    std::uint32_t returned = 0;
    if (!devio::deviceIoControl(slot(card).handle, kIoctlUsbEventName, &arg, 4, name, sizeof name,
                                &returned)) {
        return -4;
    }
    std::string global = "Global\\";
    for (std::uint32_t k = 0; k < returned / 2; ++k)
        global += static_cast<char>(name[2 * k]);
    closeEventSlot(card, 1);
    ZelHandle& event = hZelCardEvent[card].slot[1];
    event = devio::createEvent(false, false, global.c_str());
    // Only the driver's own event will do: a fresh one would never be signalled.
    if (devio::lastError() == devio::kErrorAlreadyExists) return 0;
    closeEventSlot(card, 1);
    return -4;
}

// Freezes the measurement registers; false when the latch never answers.
bool latch(unsigned card) {
    writeRegister(card, kRegMeasureLatch, 1);
    for (int poll = 0; poll < kLatchPolls; ++poll) {
        std::uint32_t value = 0;
        readRegister(card, kRegMeasureLatch, value);
        if (value & 1) return true;
        sleepMs(1);
    }
    return false;
}

void release(unsigned card) {
    writeRegister(card, kRegMeasureLatch, 0);
}

long pciPacketLength(unsigned card, bool& is188) {
    if (!latch(card)) {
        release(card);
        return -2;
    }
    std::uint32_t format = 0;
    readRegister(card, kRegInputFormat, format);
    if (format < 0x10000) {
        release(card);
        return -2;
    }
    is188 = (format & 0xFFFF) != 0;
    release(card);
    return 0;
}

long usbPacketLength(unsigned card, bool& is188) {
    UsbStreamState& u = state().usb;
    if (state().usbPlainStream != 0) {
        is188 = false;
        return 0;
    }
    if (u.streaming || u.packetLenKnown) {
        is188 = u.packetLen == 188;
        return 0;
    }
    std::uint8_t status[kVendorOutputSize] = {};
    std::uint32_t returned = 0;
    if (!vendorIn(card, kVendorSyncStatus, 6, status, returned) || returned < 6) {
        is188 = true;
        return -1;
    }
    is188 = (status[5] & 1) != 0;
    u.packetLen = is188 ? 188 : 204;
    return 0;
}

long startReceivePci(unsigned card) {
    CardSlot& s = slot(card);
    std::uint32_t mode = 0;
    readRegister(card, kRegMode, mode);
    bool is188 = false;
    if ((mode & 4) == 0 && pciPacketLength(card, is188) != 0) return -3;
    s.rxBlockSize = is188 ? 7520 : 8160;
    writeRegister(card, kRegRxBlockSize, s.rxBlockSize - 4);
    if (!runCommand(card, kCmdStartReceive)) return -4;
    s.receiving = true;
    return 0;
}

long startReceiveUsb(unsigned card) {
    UsbStreamState& u = state().usb;
    CardSlot& s = slot(card);
    sleepMs(kUsbSettleMs);
    if (!u.packetLenKnown) {
        for (int query = 0; query < 3 && !u.packetLenKnown; ++query) {
            bool is188 = true;
            if (usbPacketLength(card, is188) == 0) {
                u.packetLen = is188 ? 188 : 204;
                s.rxBlockSize = is188 ? 7520 : 8160;
                u.packetLenKnown = true;
            }
        }
        if (!u.packetLenKnown) return -2;
        sleepMs(kUsbSettleMs);
    }
    resetUsbStream();
    const std::uint32_t zero = 0;
    std::uint32_t returned = 0;
    if (!devio::deviceIoControl(s.handle, kIoctlUsbStreamEnable, &zero, 4, nullptr, 0, &returned)) {
        return -2;
    }
    static constexpr std::uint8_t kStartCode[8] = {'t', 'k', 'v', 'b', 'm', 'e', 'l', 'q'};
    if (!vendorOut(card, kVendorStartCode, kStartCode)) return -3;
    const StreamRequest start = makeStreamRequest(kStreamStartN);
    if (!devio::deviceIoControl(s.handle, kIoctlUsbPipeStart, &start, sizeof start, nullptr, 0,
                                &returned)) {
        sleepMs(2000);
        return -4;
    }
    u.streaming = true;
    s.receiving = true;
    return 0;
}

}  // namespace
}  // namespace orv::zel

using namespace orv::zel;
namespace devio = orv::devio;

long ZelInitFifo(unsigned long rxEntries, unsigned long txEntries, unsigned long rxParam,
                 unsigned long txParam, unsigned card) {
    if (!validCard(card)) return -1;
    if (openLazily(card) != 0) return -2;
    if (isBusy(card)) return -2;
    if (state().deviceKind == DeviceKind::UsbBox) return initFifoUsb(rxParam, card);
    return initFifoPci(rxEntries, txEntries, rxParam, txParam, card);
}

long ZelStartReceive(unsigned card) {
    if (!isCardOpen(card)) return -1;
    if (slot(card).receiving) return -2;
    return state().deviceKind == DeviceKind::UsbBox ? startReceiveUsb(card) : startReceivePci(card);
}

long ZelStopReTran(unsigned card) {
    if (!isCardOpen(card)) return -1;
    CardSlot& s = slot(card);
    if (state().deviceKind == DeviceKind::UsbBox) {
        resetUsbStream();
        orv::sleepMs(kUsbSettleMs);
        std::uint32_t returned = 0;
        if (!devio::deviceIoControl(s.handle, kIoctlUsbStreamStop, nullptr, 0, nullptr, 0,
                                    &returned)) {
            return -1;
        }
        state().usb.streaming = false;
        state().usb.packetLenKnown = false;
    } else {
        runCommand(card, kCmdStop);
    }
    s.receiving = false;
    s.transmitting = false;
    return 0;
}

long ZelGetInputPacketLen(bool* is188, unsigned card) {
    if (!isCardOpen(card)) return -1;
    bool value = true;
    const long r = state().deviceKind == DeviceKind::UsbBox ? usbPacketLength(card, value)
                                                            : pciPacketLength(card, value);
    if (is188 && (r == 0 || state().deviceKind == DeviceKind::UsbBox)) *is188 = value;
    return r;
}

long ZelGetInputBitrates(double* mbps, unsigned card) {
    if (!isCardOpen(card)) return -1;
    if (state().deviceKind == DeviceKind::UsbBox) {
        UsbStreamState& u = state().usb;
        double rate = u.cachedRateMbps;
        if (!u.streaming) {
            std::uint8_t status[kVendorOutputSize] = {};
            std::uint32_t returned = 0;
            if (vendorIn(card, kVendorSyncStatus, 6, status, returned) && returned >= 6) {
                const std::uint32_t bytes =
                    std::uint32_t(status[1]) << 24 | status[2] << 16 | status[3] << 8 | status[4];
                rate = u.cachedRateMbps = bytes * 8.0 / 1000000.0;
            } else {
                rate = -1.0;
            }
        }
        if (mbps) *mbps = rate;
        return 0;
    }
    CardSlot& s = slot(card);
    std::uint32_t mode = 0;
    readRegister(card, kRegMode, mode);
    if (mode & 4) {
        s.rxBlockSize = 8160;
    } else {
        std::uint32_t format = 0;
        readRegister(card, kRegInputFormat, format);
        if (format > 0xFFFF) s.rxBlockSize = (format & 0xFFFF) != 0 ? 7520 : 8160;
    }
    std::uint32_t count = 0;
    if (!latch(card) || readRegister(card, kRegRateCount, count) == 0) {
        release(card);
        return -2;
    }
    const double rate = count == 0 ? 0.0 : s.rxBlockSize * 10.0 * 8.0 * 27.0 / (count + 1.0);
    release(card);
    if (mbps) *mbps = rate;
    return 0;
}
