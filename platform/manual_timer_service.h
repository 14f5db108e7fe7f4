// Timers and thread waits on a virtual clock, for tests: time stands still until the test moves it
// on, and then every timer and every wait falls due in order, so minutes of a run take
// milliseconds and every step is reproducible.
//
// Threads that wait on this clock announce themselves (WaitClock::threadStarting/threadEnding);
// advance() moves the time on only while each of them waits, so the work a thread does between
// two waits happens at one instant of virtual time. Timer callbacks and posted work run on the
// thread that calls advance().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/timer_service.h"
#include "platform/wait_clock.h"

namespace orv {

class ManualTimerService final : public TimerService, public WaitClock {
  public:
    ManualTimerService() = default;
    ManualTimerService(const ManualTimerService&) = delete;
    ManualTimerService& operator=(const ManualTimerService&) = delete;

    // TimerService: callable from any thread.
    void arm(TimerId id, std::chrono::milliseconds delay, std::function<void()> callback) override;
    void kill(TimerId id) override;
    void post(std::function<void()> work) override;

    // WaitClock
    bool waitFor(const std::atomic<bool>& flag, std::chrono::milliseconds timeout) override;
    void notify() override;
    void threadStarting() override;
    void threadEnding() override;

    // Virtual time since construction.
    std::chrono::milliseconds now() const;

    // Moves the time on by `span`. On the way, at each instant something falls due: the waits
    // that end there end, and once every waiting thread waits again, the timers due fire one by
    // one in the order of their due time (armed first, fired first at the same time); posted
    // work runs first whenever there is some. Not from a callback. Throws std::runtime_error when
    // a waiting thread does not wait again within the settle limit (a thread that never waits).
    void advance(std::chrono::milliseconds span);
    // Runs what is due now without moving the time.
    void runDue() { advance(std::chrono::milliseconds(0)); }

    bool isArmed(TimerId id) const;
    // Time left until the timer fires; nullopt when it is not armed.
    std::optional<std::chrono::milliseconds> dueIn(TimerId id) const;

    // Real time advance() allows a thread to reach its next wait.
    void setSettleLimit(std::chrono::milliseconds limit) { settleLimit_ = limit; }

  private:
    struct Timer {
        std::chrono::milliseconds due;
        std::uint64_t order;
        std::function<void()> callback;
    };
    struct Sleeper {
        const std::atomic<bool>* flag;
        std::chrono::milliseconds deadline;
        bool released = false;
    };

    // Releases the waits whose flag is set or whose deadline has come; mutex_ held.
    void releaseLocked();
    // Waits until every announced thread waits; mutex_ held through `lock`.
    void settle(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::condition_variable sleepersWake_;
    std::condition_variable quiet_;
    std::chrono::milliseconds now_{0};
    std::uint64_t nextOrder_ = 0;
    std::map<TimerId, Timer> timers_;
    std::deque<std::function<void()>> posted_;
    std::vector<Sleeper*> sleepers_;
    int threads_ = 0;  // announced threads
    int waiting_ = 0;  // waits not yet released
    std::chrono::milliseconds settleLimit_{60'000};
};

}  // namespace orv
