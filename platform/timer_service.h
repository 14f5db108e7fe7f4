// Timers of the run control and the pages: arm a timer by id for a delay, kill it, and have its
// callback run on the one thread that owns the service (the GUI thread with Qt timers, an event
// loop thread headless, the test itself with a manual clock). Arming an armed timer re-arms it.
#pragma once

#include <chrono>
#include <functional>

namespace orv {

class TimerService {
  public:
    using TimerId = int;
    virtual ~TimerService() = default;
    // After `delay`, `callback` runs once on the service's thread unless the timer is killed or
    // armed again first. Callable from any thread.
    virtual void arm(TimerId id, std::chrono::milliseconds delay,
                     std::function<void()> callback) = 0;
    virtual void kill(TimerId id) = 0;
    // Runs `work` on the service's thread as soon as it can. Callable from any thread.
    virtual void post(std::function<void()> work) = 0;
};

}  // namespace orv
