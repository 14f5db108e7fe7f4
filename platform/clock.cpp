#include "platform/clock.h"

#include <atomic>
#include <thread>

namespace orv {
namespace {

// Plain atomics rather than an installed object: device threads read the clock while a test's
// VirtualClock comes and goes, and nothing here can be destroyed under them.
std::atomic<bool> virtualActive{false};
std::atomic<std::int64_t> virtualNowUs{0};
std::atomic<std::int64_t> virtualStartUs{0};
// How far virtual time ran ahead of the real clock in past scopes: added to the real clock so
// that time never goes back when a scope ends.
std::atomic<std::int64_t> aheadUs{0};

std::int64_t realNowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count() +
           aheadUs.load(std::memory_order_acquire);
}

}  // namespace

std::chrono::microseconds monotonicNow() {
    if (virtualActive.load(std::memory_order_acquire)) {
        return std::chrono::microseconds(virtualNowUs.load(std::memory_order_acquire));
    }
    return std::chrono::microseconds(realNowUs());
}

void sleepFor(std::chrono::microseconds duration) {
    if (duration.count() <= 0) return;
    if (virtualActive.load(std::memory_order_acquire)) {
        virtualNowUs.fetch_add(duration.count(), std::memory_order_acq_rel);
        // Lets a device thread that waits on the virtual time see it move.
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(duration);
}

VirtualClock::VirtualClock() {
    const std::int64_t start = monotonicNow().count();
    virtualNowUs.store(start);
    virtualStartUs.store(start);
    virtualActive.store(true, std::memory_order_release);
}

VirtualClock::~VirtualClock() {
    const std::int64_t lead = virtualNowUs.load() - realNowUs();
    if (lead > 0) aheadUs.fetch_add(lead, std::memory_order_acq_rel);
    virtualActive.store(false, std::memory_order_release);
}

std::chrono::microseconds VirtualClock::elapsed() const {
    return std::chrono::microseconds(virtualNowUs.load() - virtualStartUs.load());
}

}  // namespace orv
