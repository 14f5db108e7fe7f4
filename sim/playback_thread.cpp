#include "sim/playback_thread.h"

namespace orv::sim {

void PlaybackThread::start(std::chrono::nanoseconds period, std::function<void()> tick) {
    stop();
    stopRequested_ = false;
    thread_ = std::thread([this, period, tick = std::move(tick)] {
        auto due = std::chrono::steady_clock::now();
        std::unique_lock lock(mutex_);
        while (!stopRequested_) {
            if (cv_.wait_until(lock, due, [this] { return stopRequested_; })) break;
            lock.unlock();
            tick();
            lock.lock();
            due += period;
        }
    });
}

void PlaybackThread::stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

}  // namespace orv::sim
