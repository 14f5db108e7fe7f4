// QAM measurements, channel status, constellation, transmit start, the PID filter entry point,
// the version text and the message hook.
#include <cstdint>
#include <cstring>
#include <string>

#include "cardlib/card_state.h"
#include "cardlib/device_open.h"
#include "cardlib/pci_access.h"
#include "cardlib/signal_conversions.h"
#include "cardlib/usb_vendor.h"
#include "cardlib/zelcard.h"
#include "platform/clock.h"
#include "platform/devio/zelcard_interface.h"
#include "platform/message.h"

namespace orv::zel {
namespace {

// The version text in code page 936 (121 bytes): "码流分析仪第二版.协议:以0X55
// 0X55开头的包为TS流包; 以0XAA 0XAA开头的包为QAM信息包.每隔40的整数倍个TS流包间隔一个QAM信息包."
constexpr char kVersionCp936[] =
    "\xC2\xEB\xC1\xF7\xB7\xD6\xCE\xF6\xD2\xC7\xB5\xDA\xB6\xFE\xB0\xE6.\xD0\xAD\xD2\xE9:\xD2\xD4"
    "0X55 0X55\xBF\xAA\xCD\xB7\xB5\xC4\xB0\xFC\xCE\xAATS\xC1\xF7\xB0\xFC;\xD2\xD4"
    "0XAA 0XAA\xBF\xAA\xCD\xB7\xB5\xC4\xB0\xFC\xCE\xAAQAM\xD0\xC5\xCF\xA2\xB0\xFC.\xC3\xBF\xB8\xF4"
    "40\xB5\xC4\xD5\xFB\xCA\xFD\xB1\xB6\xB8\xF6TS\xC1\xF7\xB0\xFC\xBC\xE4\xB8\xF4\xD2\xBB\xB8\xF6"
    "QAM\xD0\xC5\xCF\xA2\xB0\xFC.";
static_assert(sizeof kVersionCp936 == 122);

constexpr std::uint32_t kChannelStatusWaitMs = 500;

// The steps the USB-only exports share: card check, lazy open, busy test, device kind.
long prepareUsbOnly(unsigned card) {
    if (!validCard(card)) return -1;
    if (openLazily(card) != 0) return -2;
    if (isBusy(card)) return -2;
    if (state().deviceKind == DeviceKind::PciCard) return -4;
    return 0;
}

std::uint32_t readMeasurement(unsigned card, std::uint32_t offset) {
    std::uint32_t value = 0;
    readRegister(card, offset, value);
    return value;
}

}  // namespace
}  // namespace orv::zel

using namespace orv::zel;

long ZelGetQAM_BER(float* ber, unsigned card) {
    if (!isCardOpen(card)) return -1;
    const std::uint32_t value = readMeasurement(card, kRegQamBer);
    if (ber) *ber = static_cast<float>((value & 0xFFFF) / 4194304.0);
    return 0;
}

long ZelGetQAM_AGC(int* agc, unsigned card) {
    if (!isCardOpen(card)) return -1;
    const std::uint32_t value = readMeasurement(card, kRegQamLevel);
    if (agc) *agc = static_cast<int>((value >> 16) & 0x3FF);
    return 0;
}

long ZelGetQAM_SignalQuality(int* quality, unsigned card) {
    if (!isCardOpen(card)) return -1;
    const std::uint32_t value = readMeasurement(card, kRegQamLevel);
    if (quality) *quality = static_cast<int>(value & 0xFFFF);
    return 0;
}

long ZelGetQAM_CurChannelParameter(CurChannelParameter* p, unsigned card) {
    if (long r = prepareUsbOnly(card); r != 0) return r;
    orv::sleepMs(kChannelStatusWaitMs);
    std::uint8_t s[kVendorOutputSize] = {};
    std::uint32_t returned = 0;
    if (!vendorIn(card, kVendorChannelStatus, 64, s, returned)) return -4;
    if (p == nullptr) return 0;
    p->tunerLocked = (s[0] >> 7) & 1;
    p->carrierLocked = (s[0] >> 1) & 1;
    p->frameLocked = (s[0] >> 2) & 1;
    p->errorRatio = errorRatio(std::uint32_t(s[3] & 0x0F) << 16 | s[2] << 8 | s[1], s[4] & 0xC0);
    p->statusCode = s[5] & 0x7F;
    p->offsetValue = static_cast<float>(s[6] * double(state().symbolRateK) * 1000.0 / 512.0);
    p->scaledValue = static_cast<float>(s[7] * 1000000.0 / 262144.0);
    p->levelDbuv = signalLevelDbuv(s[8], s[9]);
    p->qualityDb = qualityDb(s[10], state().measureModeCode);
    const std::uint8_t ratio[4] = {s[4], s[3], s[2], s[1]};
    std::memcpy(p->rawRatio, ratio, sizeof ratio);
    std::memcpy(p->rawStatus, s + 5, sizeof p->rawStatus);
    return 0;
}

long long ZelReadXingzuotuData(void* buffer, unsigned long& size, unsigned card) {
    if (long r = prepareUsbOnly(card); r != 0) return r;
    std::uint32_t returned = 0;
    const auto capacity = static_cast<std::uint32_t>(size > 0xFFFFFFFFul ? 0xFFFFFFFFul : size);
    const bool ok = vendorInto(card, kVendorConstellation, 64, buffer, capacity, returned);
    size = returned;
    return ok ? 0 : -1;
}

long ZelStartTransmit(unsigned card) {
    if (!isCardOpen(card)) return -1;
    CardSlot& s = slot(card);
    if (s.transmitting) return -2;
    writeRegister(card, kRegStatus, kStatusClear);
    writeRegister(card, kRegControl, kCmdStartTransmit);
    for (int reads = 0;; ++reads) {
        if (reads == 100) return -3;
        orv::sleepMs(1);
        std::uint32_t status = 0;
        readRegister(card, kRegStatus, status);
        if ((status & 0x80008) == kStatusIdle) break;
    }
    s.transmitting = true;
    return 0;
}

long ZelSetReceivePidFilter(unsigned short, unsigned short*, unsigned card) {
    // The entry point exists for callers; the hardware has no filter to program.
    return isCardOpen(card) ? 0 : -1;
}

long ZelGetDllVersionForRivudUsb(char* buffer) {
    if (buffer) std::memcpy(buffer, kVersionCp936, sizeof kVersionCp936);
    return 0;
}

void ZelSetMessageHook(ZelMessageHook hook) {
    if (hook == nullptr) {
        orv::setMessageHook({});
        return;
    }
    orv::setMessageHook([hook](std::string_view text) { hook(std::string(text).c_str()); });
}
