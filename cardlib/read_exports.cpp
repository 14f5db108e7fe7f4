// Stream reading: the PCI card's ring copy and the USB box's framed stream.
#include <atomic>
#include <cstdint>
#include <cstring>

#include "cardlib/card_state.h"
#include "cardlib/usb_stream.h"
#include "cardlib/zelcard.h"
#include "platform/devio/shared_memory.h"

namespace orv::zel {
namespace {

// The ring of one FIFO as the driver shares it.
struct SharedRing {
    std::uint32_t entryCount = 0;
    const std::uint32_t* entries = nullptr;  // entry tokens
    std::uint64_t* readCounter = nullptr;
    std::uint64_t* writeCounter = nullptr;

    explicit SharedRing(const Infifo& fifo)
        : entryCount(fifo.entryCount),
          entries(static_cast<const std::uint32_t*>(
              devio::resolveMemory(fifo.entries, std::size_t{4} * fifo.entryCount))),
          readCounter(static_cast<std::uint64_t*>(devio::resolveMemory(fifo.readCounter, 8))),
          writeCounter(static_cast<std::uint64_t*>(devio::resolveMemory(fifo.writeCounter, 8))) {}

    bool valid() const { return entryCount > 0 && entries && readCounter && writeCounter; }
    // The counters are shared with the driver thread; each side writes only its own.
    std::atomic_ref<std::uint64_t> read() const { return std::atomic_ref(*readCounter); }
    std::atomic_ref<std::uint64_t> write() const { return std::atomic_ref(*writeCounter); }
    std::uint8_t* entry(std::uint64_t counter, std::size_t bytes) const {
        return static_cast<std::uint8_t*>(
            devio::resolveMemory(entries[counter % entryCount], bytes));
    }
};

long long readPci(void* buffer, void* rates, unsigned long blocks, unsigned card) {
    SharedRing ring(ZelReceiveFifo[card]);
    if (!ring.valid()) return 0;
    const std::size_t blockBytes = slot(card).rxBlockSize;
    std::uint64_t read = ring.read().load(std::memory_order_relaxed);
    const std::uint64_t fill = ring.write().load(std::memory_order_acquire) - read;
    const std::uint64_t n = fill < blocks ? fill : blocks;
    auto* out = static_cast<std::uint8_t*>(buffer);
    auto* timing = static_cast<std::uint32_t*>(rates);
    for (std::uint64_t k = 0; k < n; ++k, ++read) {
        const std::uint8_t* entry = ring.entry(read, blockBytes);
        if (entry == nullptr) return static_cast<long long>(k);
        if (timing) timing[k] = BitRateFifo[card] ? BitRateFifo[card][read % ring.entryCount] : 0;
        std::memcpy(out + k * blockBytes, entry, blockBytes);
        ring.read().store(read + 1, std::memory_order_release);
    }
    return static_cast<long long>(n);
}

long long writePci(const void* blocks, unsigned long count, unsigned card) {
    SharedRing ring(ZelTransmitFifo[card]);
    if (!ring.valid()) return 0;
    const std::size_t blockBytes = slot(card).txBlockSize;
    std::uint64_t write = ring.write().load(std::memory_order_relaxed);
    const std::uint64_t used = write - ring.read().load(std::memory_order_acquire);
    const std::uint64_t free = used >= ring.entryCount ? 0 : ring.entryCount - used;
    const std::uint64_t n = free < count ? free : count;
    const auto* in = static_cast<const std::uint8_t*>(blocks);
    for (std::uint64_t k = 0; k < n; ++k, ++write) {
        std::uint8_t* entry = ring.entry(write, blockBytes);
        if (entry == nullptr) return static_cast<long long>(k);
        std::memcpy(entry, in + k * blockBytes, blockBytes);
        ring.write().store(write + 1, std::memory_order_release);
    }
    return static_cast<long long>(n);
}

}  // namespace
}  // namespace orv::zel

using namespace orv::zel;

long long ZelReadData(void* buffer, void* rates, unsigned long blocks, unsigned card) {
    if (!isCardOpen(card)) return -1;
    if (state().deviceKind == DeviceKind::UsbBox) {
        return readUsb(buffer, rates, nullptr, nullptr, blocks, card);
    }
    return readPci(buffer, rates, blocks, card);
}

long long ZelReadData2(void* buffer, void* rates, ExtraDataInTs* records, unsigned& recordCount,
                       unsigned long blocks, unsigned card) {
    if (!isCardOpen(card)) return -1;
    if (state().deviceKind == DeviceKind::UsbBox) {
        return readUsb(buffer, rates, records, &recordCount, blocks, card);
    }
    recordCount = 0;
    return readPci(buffer, rates, blocks, card);
}

long long ZelWriteData(void* blocks, unsigned long count, unsigned card) {
    if (!isCardOpen(card)) return -1;
    return writePci(blocks, count, card);
}
