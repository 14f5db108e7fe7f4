// The headless timer service: an event loop that runs timers and posted work on the thread that
// calls run(), until quit(). arm, kill, post and quit may be called from any thread; quit also
// from a signal handler (quitFromSignal).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "platform/timer_service.h"

namespace orv {

class EventLoop final : public TimerService {
  public:
    EventLoop();
    ~EventLoop() override;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void arm(TimerId id, std::chrono::milliseconds delay, std::function<void()> callback) override;
    void kill(TimerId id) override;
    void post(std::function<void()> work) override;

    // Runs due timers (earliest first; armed first, fired first at the same time) and posted work
    // (in the order posted, before the timers of the same turn) until quit() has been called.
    // A quit before run() makes run() return at once. Returns with the timers still armed.
    void run();
    void quit();
    // The same from a signal handler: only an atomic store and a write(2).
    void quitFromSignal() noexcept;

  private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        Clock::time_point due;
        std::uint64_t order;
        std::function<void()> callback;
    };

    void wake() noexcept;
    void drainWakeups() noexcept;

    std::mutex mutex_;
    std::map<TimerId, Timer> timers_;
    std::deque<std::function<void()>> posted_;
    std::uint64_t nextOrder_ = 0;
    std::atomic<bool> quit_{false};
    int wakeFd_ = -1;  // an eventfd the loop polls; written to wake it
};

}  // namespace orv
