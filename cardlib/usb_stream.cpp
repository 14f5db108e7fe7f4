#include "cardlib/usb_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "cardlib/card_state.h"
#include "cardlib/signal_conversions.h"
#include "platform/devio/clock.h"
#include "platform/devio/zelcard_interface.h"
#include "platform/message.h"

namespace orv::zel {
namespace {

constexpr std::size_t kRingSpare = 2 * 1024 * 1024;
constexpr int kMaxEmptyTransfers = 1000;
constexpr std::uint32_t kResyncWaitMs = 10;
constexpr std::size_t kUnitsPerGroup = 40;

UsbStreamState& usb() {
    return state().usb;
}

// Empties the ring and asks for the framing to be found again.
void resetRing() {
    UsbStreamState& u = usb();
    u.ringRead = u.ringWrite = u.ringAvailable = 0;
    u.resyncPending = true;
}

bool isPacketPrefix(const std::uint8_t* p) {
    return p[0] == 0x55 && p[1] == 0x55;
}
bool isInfoPrefix(const std::uint8_t* p) {
    return p[0] == 0x55 && p[1] == 0xAA;
}

// The first offset where a group of 40 packets is followed by an information packet.
std::size_t findFraming(const std::uint8_t* data, std::size_t bytes, std::size_t unit) {
    const std::size_t span = 41 * unit;
    for (std::size_t i = 0; i + span < bytes; ++i) {
        if (isPacketPrefix(data + i) && isPacketPrefix(data + i + unit) &&
            isInfoPrefix(data + i + 40 * unit)) {
            return i;
        }
    }
    return bytes;
}

void appendToRing(const std::uint8_t* data, std::size_t bytes) {
    UsbStreamState& u = usb();
    // Never overwrite bytes not yet consumed: what does not fit is lost.
    bytes = std::min(bytes, u.ring.size() - u.ringAvailable);
    const std::size_t first = std::min(bytes, u.ring.size() - u.ringWrite);
    std::memcpy(u.ring.data() + u.ringWrite, data, first);
    std::memcpy(u.ring.data(), data + first, bytes - first);
    u.ringWrite = (u.ringWrite + bytes) % u.ring.size();
    u.ringAvailable += bytes;
}

// Collects transfers until the ring holds `need` bytes. False on a transfer error.
bool collect(unsigned card, std::size_t need, bool framed, std::size_t unit) {
    UsbStreamState& u = usb();
    std::vector<std::uint8_t> transfer;
    try {
        transfer.resize(kUsbTransferSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::size_t target = need - std::min(need, u.ringAvailable);
    std::size_t collected = 0;
    int empty = 0;
    const StreamRequest request = makeStreamRequest(kStreamReadN);
    do {
        std::uint32_t bytes = 0;
        if (!devio::deviceIoControl(slot(card).handle, kIoctlUsbStreamRead, &request,
                                    sizeof request, transfer.data(),
                                    static_cast<std::uint32_t>(transfer.size()), &bytes)) {
            const std::uint32_t error = devio::lastError();
            if (error != devio::kErrorIoPending) {
                showMessage(devio::errorText(error));
                return false;
            }
            bytes = 0;
        }
        u.totalBytes += bytes;
        if (bytes == 0) {
            if (++empty > kMaxEmptyTransfers) break;
            continue;
        }
        empty = 0;
        const std::uint8_t* data = transfer.data();
        if (u.resyncPending && framed) {
            if (bytes <= 60 * unit) {
                devio::sleepMs(kResyncWaitMs);
                continue;
            }
            const std::size_t at = findFraming(data, bytes, unit);
            if (at == bytes) {
                devio::sleepMs(kResyncWaitMs);
                continue;
            }
            data += at;
            bytes -= static_cast<std::uint32_t>(at);
            u.resyncPending = false;
        }
        appendToRing(data, bytes);
        collected += bytes;
    } while (collected < target || (target == 0 && collected == 0));
    return true;
}

bool allocateBuffers(std::size_t need) {
    UsbStreamState& u = usb();
    try {
        if (u.ring.empty()) {
            u.ring.resize(need + kRingSpare);
            resetRing();
        }
    } catch (const std::bad_alloc&) {
        showMessage("ALLOC FAILED!");
        resetRing();
        return false;
    }
    try {
        if (u.staging.empty()) u.staging.resize(need);
    } catch (const std::bad_alloc&) {
        showMessage("ALLOC FAILED!");
        return false;
    }
    return true;
}

std::uint32_t timingValue(std::uint32_t blockBytes, double rateMbps) {
    // 27 MHz ticks over ten blocks, minus one; a rate of 0 gives the longest time there is.
    constexpr double kMax = std::numeric_limits<std::uint32_t>::max() - 1.0;
    if (!(rateMbps > 0)) return static_cast<std::uint32_t>(kMax);
    const double value = blockBytes * 10.0 * 8.0 * 27.0 / rateMbps - 1.0;
    return static_cast<std::uint32_t>(std::clamp(value, 0.0, kMax));
}

}  // namespace

void resetUsbStream() {
    UsbStreamState& u = usb();
    u.ring = {};
    u.staging = {};
    resetRing();
    u.resyncPending = false;
}

void decodeInfoUnit(const std::uint8_t* p, ExtraDataInTs& r) {
    r.statusByte = p[10];
    r.statusFlag = p[11] == 1;
    r.errorRatio = errorRatio(std::uint32_t(p[30] & 0x0F) << 16 | p[31] << 8 | p[32], p[29]);
    r.statusCode = p[33];
    r.offsetValue = static_cast<float>(p[34] * double(state().symbolRateK) * 1000.0 / 512.0);
    r.scaledValue = static_cast<float>(p[35] * 1000000.0 / 262144.0);
    r.levelDbuv = signalLevelDbuv(p[36], p[37]);
    r.qualityDb = qualityDb(p[38], state().measureModeCode);
    std::memcpy(r.rawTail, p + 41, sizeof r.rawTail);
    std::memcpy(r.rawRatio, p + 29, sizeof r.rawRatio);
    std::memcpy(r.rawCodes, p + 33, sizeof r.rawCodes);
    std::memcpy(r.rawLevel, p + 36, sizeof r.rawLevel);
    r.rawQuality = p[38];
}

long long readUsb(void* buffer, void* rates, ExtraDataInTs* records, unsigned* recordCount,
                  unsigned long blocks, unsigned card) {
    UsbStreamState& u = usb();
    if (recordCount) *recordCount = 0;
    const std::size_t packet = u.packetLen;
    const std::size_t unit = packet + 2;
    const std::size_t blockBytes = slot(card).rxBlockSize;
    const bool plain = state().usbPlainStream != 0;
    if (blocks == 0 || blockBytes == 0) return 0;
    std::size_t need = plain ? blocks * blockBytes : blocks * 41 * unit;
    // The staging area is sized by the first read after a receive start; a larger read is cut
    // to that size instead of overrunning it.
    if (!u.staging.empty() && need > u.staging.size()) {
        blocks = u.staging.size() / (plain ? blockBytes : 41 * unit);
        need = plain ? blocks * blockBytes : blocks * 41 * unit;
    }
    if (!allocateBuffers(need)) return 0;
    if (need >= u.ringAvailable && !collect(card, need, !plain, unit)) return 0;
    // Too little arrived (the box went quiet): keep what the ring holds for the next read.
    if (u.ringAvailable < need) return 0;

    const std::size_t first = std::min(need, u.ring.size() - u.ringRead);
    std::memcpy(u.staging.data(), u.ring.data() + u.ringRead, first);
    std::memcpy(u.staging.data() + first, u.ring.data(), need - first);
    u.ringRead = (u.ringRead + need) % u.ring.size();
    u.ringAvailable -= need;

    auto* out = static_cast<std::uint8_t*>(buffer);
    if (plain) {
        std::memcpy(out, u.staging.data(), need);
        return static_cast<long long>(blocks);
    }
    const std::uint8_t* s = u.staging.data();
    if (!isPacketPrefix(s) || s[40 * unit] != 0x55 ||
        (s[40 * unit + 1] != 0x55 && s[40 * unit + 1] != 0xAA)) {
        resetRing();
        return -1;
    }

    auto* timing = static_cast<std::uint32_t*>(rates);
    u.infoCount = u.groupCount = 0;
    u.parseOffset = 0;
    for (;;) {
        const std::size_t at = u.parseOffset;
        if (at + 2 > need) break;
        if (isPacketPrefix(s + at) && u.groupCount < blocks && at + kUnitsPerGroup * unit <= need) {
            std::uint8_t* block = out + u.groupCount * blockBytes;
            for (std::size_t j = 0; j < kUnitsPerGroup; ++j) {
                std::memcpy(block + j * packet, s + at + j * unit + 2, packet);
            }
            u.parseOffset += kUnitsPerGroup * unit;
            ++u.groupCount;
        } else if (isInfoPrefix(s + at) && u.infoCount < blocks && at + unit <= need) {
            const std::uint8_t* p = s + at;
            const std::uint32_t bytesPerSecond =
                p[6] | p[7] << 8 | p[8] << 16 | std::uint32_t(p[9]) << 24;
            u.cachedRateMbps = bytesPerSecond * 8.0 / 1000000.0;
            if (timing) {
                timing[u.infoCount] =
                    timingValue(static_cast<std::uint32_t>(blockBytes), u.cachedRateMbps);
            }
            if (records) decodeInfoUnit(p, records[u.infoCount]);
            ++u.infoCount;
            u.parseOffset += unit;
        } else {
            break;
        }
    }
    // A complete read holds as many groups as information packets, `blocks` of each.
    if (u.infoCount != blocks || u.groupCount != blocks) {
        resetRing();
        return -2;
    }
    if (recordCount) *recordCount = u.infoCount;
    return static_cast<long long>(blocks);
}

}  // namespace orv::zel
