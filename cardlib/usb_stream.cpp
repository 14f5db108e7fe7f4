#include "cardlib/usb_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "cardlib/card_state.h"
#include "cardlib/usb_framing.h"
#include "platform/clock.h"
#include "platform/devio/zelcard_interface.h"
#include "platform/message.h"

namespace orv::zel {
namespace {

constexpr std::size_t kRingSpare = 2 * 1024 * 1024;
constexpr int kMaxEmptyTransfers = 1000;
constexpr std::uint32_t kResyncWaitMs = 10;

UsbStreamState& usb() {
    return state().usb;
}

// Empties the ring and asks for the framing to be found again.
void resetRing() {
    UsbStreamState& u = usb();
    u.ringRead = u.ringWrite = u.ringAvailable = 0;
    u.resyncPending = true;
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
                sleepMs(kResyncWaitMs);
                continue;
            }
            const std::size_t at = findFraming(data, bytes, unit);
            if (at == bytes) {
                sleepMs(kResyncWaitMs);
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

}  // namespace

void resetUsbStream() {
    UsbStreamState& u = usb();
    u.ring = {};
    u.staging = {};
    resetRing();
    u.resyncPending = false;
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
    // The caller's blocks are rxBlockSize bytes: a packet length that no longer matches them
    // (a query between stop and the next start) must not write 40 longer packets into them.
    if (!plain && blockBytes != kUnitsPerGroup * packet) return 0;
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
    // A read may begin with the rest of a run of information units that the previous read cut:
    // in step, and refusing it would throw away every other read of such a stream.
    if (!(isPacketPrefix(s) || isInfoPrefix(s)) || s[40 * unit] != 0x55 ||
        (s[40 * unit + 1] != 0x55 && s[40 * unit + 1] != 0xAA)) {
        resetRing();
        return -1;
    }

    const FramedParse parse =
        parseFramed(s, need, packet, blocks, {out, static_cast<std::uint32_t*>(rates), records},
                    u.cachedRateMbps);
    u.parseOffset = parse.offset;
    u.groupCount = parse.groups;
    u.infoCount = parse.infos;
    if (parse.result < 0) {
        resetRing();
        return parse.result;
    }
    if (recordCount) *recordCount = u.infoCount;
    return static_cast<long long>(blocks);
}

}  // namespace orv::zel
