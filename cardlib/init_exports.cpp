// Card initialisation: input mode, the USB box's input selection and QAM parameter block, and on
// the PCI card the tuner and demodulator start-up.
#include <array>
#include <cstdint>

#include "cardlib/card_state.h"
#include "cardlib/device_open.h"
#include "cardlib/pci_access.h"
#include "cardlib/qam_demod.h"
#include "cardlib/usb_vendor.h"
#include "cardlib/zelcard.h"
#include "platform/clock.h"
#include "platform/devio/zelcard_interface.h"
#include "platform/message.h"

namespace orv::zel {
namespace {

constexpr int kAsiSyncRequests = 3;
constexpr std::uint32_t kAsiSyncRetryMs = 2000;

struct InitArgs {
    unsigned inputSelect;
    unsigned plainStream;
    unsigned output204;
    unsigned portCode;
    unsigned long rateWord;
    unsigned long frequencyKHz;
    unsigned long symbolRateK;
    unsigned qamIndex;
    unsigned card;
};

enum class Variant { Plain, WithMessages };

void putBigEndian(std::uint8_t* at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k)
        at[k] = static_cast<std::uint8_t>(value >> (24 - 8 * k));
}

// The 16-byte QAM parameter block of vendor request 3.
std::array<std::uint8_t, 16> qamBlock(std::uint8_t b0, std::uint8_t b1, std::uint32_t word2,
                                      std::uint32_t word6, std::uint32_t word10, std::uint8_t b14,
                                      std::uint8_t b15) {
    std::array<std::uint8_t, 16> block{};
    block[0] = b0;
    block[1] = b1;
    putBigEndian(&block[2], word2);
    putBigEndian(&block[6], word6);
    putBigEndian(&block[10], word10);
    block[14] = b14;
    block[15] = b15;
    return block;
}

bool sendTuning(const InitArgs& a, bool retune) {
    const auto block =
        qamBlock(0x01, retune ? 0x01 : 0x00, static_cast<std::uint32_t>(a.frequencyKHz * 1000), 0,
                 static_cast<std::uint32_t>(a.symbolRateK * 1000), 0,
                 static_cast<std::uint8_t>(a.qamIndex + 5));
    return vendorOut(a.card, kVendorQamParameters, block);
}

bool selectInput(const InitArgs& a) {
    const std::uint8_t selection = static_cast<std::uint8_t>(a.plainStream | a.inputSelect << 1);
    if (vendorOut(a.card, kVendorInputSelect, {&selection, 1})) return true;
    showMessage("选择ASI/CABLE错误!请再试一次或重新复位码流分析仪!");
    closeCard(a.card);
    return false;
}

// Channel status bits of request 4: 0 locked, -4 request failed, -5 not locked.
long usbLockStatus(const InitArgs& a, Variant variant) {
    std::uint8_t status[kVendorOutputSize] = {};
    std::uint32_t returned = 0;
    if (!vendorIn(a.card, kVendorChannelStatus, 64, status, returned)) return -4;
    struct LockBit {
        std::uint8_t mask;
        const char* message;
    };
    static constexpr LockBit kBits[] = {
        {0x80, "Tuner未锁定!"}, {0x02, "波未锁定!"}, {0x04, "帧未同步!"}};
    for (const LockBit& bit : kBits) {
        if ((status[0] & bit.mask) == 0) {
            if (variant == Variant::WithMessages) showMessage(bit.message);
            return -5;
        }
    }
    return 0;
}

long initUsbPlain(const InitArgs& a) {
    if (!selectInput(a)) return -3;
    if (a.inputSelect == 0) {
        state().modeCode = a.qamIndex + 5;
        // The ASI input waits at most three requests for synchronisation and succeeds anyway.
        for (int request = 0; request < kAsiSyncRequests; ++request) {
            std::uint8_t status[kVendorOutputSize] = {};
            std::uint32_t returned = 0;
            if (!vendorIn(a.card, kVendorSyncStatus, 64, status, returned)) {
                closeCard(a.card);
                return -4;
            }
            if (status[0] == 1) break;
            if (request + 1 < kAsiSyncRequests) sleepMs(kAsiSyncRetryMs);
        }
        return 0;
    }
    if (!sendTuning(a, false)) {
        showMessage("QAM设置错误!");
        return -3;
    }
    return usbLockStatus(a, Variant::Plain);
}

long initUsbWithMessages(const InitArgs& a, bool retuneOnly) {
    if (!retuneOnly && !selectInput(a)) return -3;
    state().modeCode = a.qamIndex + 5;
    if (!retuneOnly) {
        std::uint8_t status[kVendorOutputSize] = {};
        std::uint32_t returned = 0;
        if (!vendorIn(a.card, kVendorSyncStatus, 64, status, returned)) {
            showMessage("得到TS流同步状态错误!");
            return -4;
        }
        if (status[0] != 1) {
            showMessage("TS流未同步上!");
            return -4;
        }
    }
    if (a.inputSelect == 0) return 0;
    if (!sendTuning(a, retuneOnly)) return -3;
    return usbLockStatus(a, Variant::WithMessages);
}

long initPci(const InitArgs& a, Variant variant) {
    const unsigned card = a.card;
    writeRegister(card, kRegStatus, kStatusClear);
    writeRegister(card, kRegMode,
                  (a.inputSelect & 3) | (a.plainStream & 1) << 2 | (a.portCode & 3) << 3 |
                      (a.output204 & 1) << 5);
    writeRegister(card, kRegRateWord, static_cast<std::uint32_t>(a.rateWord));
    if (!runCommand(card, kCmdApplyMode)) {
        if (variant == Variant::Plain) showMessage("PCI ERROR!");
        return -3;
    }
    writeRegister(card, kRegQamBer, 0);
    writeRegister(card, kRegQamLevel, 0);
    CardSlot& s = slot(card);
    s.inputSelect = a.inputSelect;
    s.portCode = a.portCode;
    s.txBlockSize = a.output204 * 640 + 7520;
    s.frequencyKHz = static_cast<std::uint32_t>(a.frequencyKHz);
    s.symbolRateK = static_cast<std::uint32_t>(a.symbolRateK);
    s.qamIndex = a.qamIndex;
    if (a.inputSelect != 1 && a.portCode != 2) return 0;
    // A demodulator still locked on the channel asked for keeps its tuning. Locked on another
    // channel it must be tuned again, or a scan would report every frequency after a hit.
    const LastAcquisition& last = state().lastAcquisition;
    const bool sameChannel = s.qamLocked && last.frequencyKHz == s.frequencyKHz &&
                             last.qamIndex == s.qamIndex &&
                             last.symbolRateK == readBackSymbolRate(symbolRateValue(s.symbolRateK));
    if (sameChannel && demodLocked(card)) return 0;
    s.qamLocked = qamStartUp(card, s.frequencyKHz, s.symbolRateK, s.qamIndex);
    return s.qamLocked ? 0 : -4;
}

// The steps both initialisation exports share: card check, open, busy test.
long prepare(const InitArgs& a, Variant variant) {
    if (!validCard(a.card)) {
        if (variant == Variant::WithMessages) showMessage("设备号错误!");
        return -1;
    }
    if (openForConfiguring(a.card) != 0) {
        if (variant == Variant::WithMessages) showMessage("打开设备失败!");
        return -2;
    }
    if (isBusy(a.card)) {
        if (variant == Variant::WithMessages) showMessage("Is Recieving or Transmitting!");
        return -2;
    }
    state().symbolRateK = static_cast<std::uint32_t>(a.symbolRateK);
    return 0;
}

}  // namespace
}  // namespace orv::zel

using namespace orv::zel;

long ZelResetCard(unsigned card) {
    if (!isCardOpen(card)) return -1;
    if (isBusy(card)) return -2;
    if (state().deviceKind == DeviceKind::UsbBox) return 0;
    writeRegister(card, kRegReset, 3);
    orv::sleepMs(3);
    writeRegister(card, kRegReset, 0);
    orv::sleepMs(100);
    return 0;
}

long ZelInitCard(unsigned inputSelect, unsigned plainStream, unsigned output204, unsigned portCode,
                 unsigned long rateWord, unsigned long frequencyKHz, unsigned long symbolRateK,
                 unsigned qamIndex, unsigned card) {
    const InitArgs a{inputSelect,  plainStream, output204, portCode, rateWord,
                     frequencyKHz, symbolRateK, qamIndex,  card};
    if (long r = prepare(a, Variant::Plain); r != 0) return r;
    if (state().deviceKind == DeviceKind::PciCard) return initPci(a, Variant::Plain);
    state().usbPlainStream = plainStream;
    return initUsbPlain(a);
}

long ZelInitCard2(unsigned inputSelect, unsigned plainStream, unsigned output204, unsigned portCode,
                  unsigned long rateWord, unsigned long frequencyKHz, unsigned long symbolRateK,
                  unsigned qamIndex, unsigned card, unsigned retuneOnly) {
    const InitArgs a{inputSelect,  plainStream, output204, portCode, rateWord,
                     frequencyKHz, symbolRateK, qamIndex,  card};
    if (long r = prepare(a, Variant::WithMessages); r != 0) return r;
    if (state().deviceKind == DeviceKind::PciCard) return initPci(a, Variant::WithMessages);
    state().usbPlainStream = plainStream;
    return initUsbWithMessages(a, retuneOnly != 0);
}

long ZelSetParameterToQAM(unsigned, unsigned, unsigned long word10, unsigned modeCode,
                          unsigned flag0, unsigned flag1, unsigned long word2, unsigned long word6,
                          unsigned byte14, unsigned card) {
    if (!validCard(card)) return -1;
    if (openForConfiguring(card) != 0) return -2;
    if (isBusy(card)) return -2;
    if (state().deviceKind == DeviceKind::PciCard) return -4;
    const auto block = qamBlock(
        flag0 == 1 ? 0x01 : 0x00, flag1 != 0 ? 0x01 : 0x00, static_cast<std::uint32_t>(word2),
        static_cast<std::uint32_t>(word6), static_cast<std::uint32_t>(word10),
        static_cast<std::uint8_t>(byte14), static_cast<std::uint8_t>(modeCode));
    if (!vendorOut(card, kVendorQamParameters, block)) return -3;
    state().measureModeCode = modeCode;
    return 0;
}

void ZelSetCurSelQamMode(unsigned code) {
    state().modeCode = code;
}

unsigned ZelGetCurSelQamMode() {
    return state().modeCode;
}
