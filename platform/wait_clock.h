// The time a worker thread waits on: the steady clock in the program, a manual clock in tests, so
// that a test runs minutes of a thread's waits in milliseconds. A thread waits for a flag with a
// time-out; whoever sets the flag calls notify() afterwards.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orv {

class WaitClock {
  public:
    virtual ~WaitClock() = default;
    // Blocks until `flag` is set or `timeout` has passed; returns the flag.
    virtual bool waitFor(const std::atomic<bool>& flag, std::chrono::milliseconds timeout) = 0;
    // Wakes the waiters so that they test their flags again. Callable from any thread.
    virtual void notify() = 0;
    // A thread that waits on this clock is about to be started (called by whoever starts it) and
    // has ended (called by the thread as it ends). A manual clock moves its time on only while
    // every such thread is waiting, so what a thread does between two waits happens at one
    // instant of its time.
    virtual void threadStarting() {}
    virtual void threadEnding() {}
};

// Real waits on the steady clock.
class SteadyWaitClock final : public WaitClock {
  public:
    bool waitFor(const std::atomic<bool>& flag, std::chrono::milliseconds timeout) override;
    void notify() override;

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
};

}  // namespace orv
