// The library's clock: every wait of the card library goes through sleepMs, so a test can run
// the retries and time budgets on a virtual clock that advances at once.
#pragma once

#include <cstdint>

namespace orv::devio {

void sleepMs(std::uint32_t ms);
// Milliseconds of a monotonic clock (virtual while a VirtualClock is alive).
std::uint64_t nowMs();

// While alive, sleepMs advances virtual time instead of sleeping. One at a time per process.
class VirtualClock {
  public:
    VirtualClock();
    ~VirtualClock();
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;
    std::uint64_t elapsedMs() const;  // virtual time slept since construction
};

}  // namespace orv::devio
