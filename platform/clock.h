// The process's monotonic clock and its waits. Whatever waits or measures elapsed time goes
// through here (the card library's settle times, retries and I2C delays, the simulated devices'
// transfer times), so a test can run on a virtual clock: while a VirtualClock is alive a wait
// returns at once and moves the virtual time on by its length.
#pragma once

#include <chrono>
#include <cstdint>

namespace orv {

// Time since an arbitrary start, never going back.
std::chrono::microseconds monotonicNow();
inline std::uint64_t nowMs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(monotonicNow()).count());
}

void sleepFor(std::chrono::microseconds duration);
inline void sleepMs(std::uint32_t ms) {
    sleepFor(std::chrono::milliseconds(ms));
}

// While alive, waits advance virtual time instead of sleeping. One at a time per process; the
// virtual time starts where the real clock stands, so time stamps stay monotonic across scopes.
class VirtualClock {
  public:
    VirtualClock();
    ~VirtualClock();
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    std::chrono::microseconds elapsed() const;  // virtual time waited since construction
    std::uint64_t elapsedMs() const {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(elapsed()).count());
    }
};

}  // namespace orv
