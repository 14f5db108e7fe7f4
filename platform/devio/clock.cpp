#include "platform/devio/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace orv::devio {
namespace {

std::atomic<bool> virtualActive{false};
std::atomic<std::uint64_t> virtualNow{0};
std::atomic<std::uint64_t> virtualStart{0};

}  // namespace

void sleepMs(std::uint32_t ms) {
    if (virtualActive.load(std::memory_order_acquire)) {
        virtualNow.fetch_add(ms, std::memory_order_acq_rel);
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint64_t nowMs() {
    if (virtualActive.load(std::memory_order_acquire)) return virtualNow.load();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

VirtualClock::VirtualClock() {
    // Virtual time starts where real time stands, so time stamps stay monotonic across scopes.
    const std::uint64_t start = nowMs();
    virtualNow.store(start);
    virtualStart.store(start);
    virtualActive.store(true, std::memory_order_release);
}

VirtualClock::~VirtualClock() {
    virtualActive.store(false, std::memory_order_release);
}

std::uint64_t VirtualClock::elapsedMs() const {
    return virtualNow.load() - virtualStart.load();
}

}  // namespace orv::devio
