// A device's playback clock: a thread that calls a tick once per period of real time until it is
// stopped (cooperatively: stop() wakes it and joins). Late ticks are caught up, not skipped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace orv::sim {

class PlaybackThread {
  public:
    PlaybackThread() = default;
    ~PlaybackThread() { stop(); }
    PlaybackThread(const PlaybackThread&) = delete;
    PlaybackThread& operator=(const PlaybackThread&) = delete;

    void start(std::chrono::nanoseconds period, std::function<void()> tick);
    void stop();
    bool running() const { return thread_.joinable(); }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stopRequested_ = false;
    std::thread thread_;
};

}  // namespace orv::sim
