#include "platform/wait_clock.h"

namespace orv {

bool SteadyWaitClock::waitFor(const std::atomic<bool>& flag, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return wake_.wait_for(lock, timeout, [&flag] { return flag.load(); });
}

void SteadyWaitClock::notify() {
    // Taking the mutex orders the flag, set before, with a waiter between its test and its wait.
    { const std::lock_guard<std::mutex> lock(mutex_); }
    wake_.notify_all();
}

}  // namespace orv
