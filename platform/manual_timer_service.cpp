#include "platform/manual_timer_service.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace orv {

using std::chrono::milliseconds;

void ManualTimerService::arm(TimerId id, milliseconds delay, std::function<void()> callback) {
    const std::lock_guard<std::mutex> lock(mutex_);
    timers_[id] = Timer{now_ + std::max(delay, milliseconds(0)), nextOrder_++, std::move(callback)};
}

void ManualTimerService::kill(TimerId id) {
    const std::lock_guard<std::mutex> lock(mutex_);
    timers_.erase(id);
}

void ManualTimerService::post(std::function<void()> work) {
    const std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(work));
}

bool ManualTimerService::waitFor(const std::atomic<bool>& flag, milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (flag.load() || timeout <= milliseconds(0)) return flag.load();
    Sleeper self{&flag, now_ + timeout};
    sleepers_.push_back(&self);
    ++waiting_;
    quiet_.notify_all();
    sleepersWake_.wait(lock, [&self] { return self.released; });
    sleepers_.erase(std::find(sleepers_.begin(), sleepers_.end(), &self));
    return flag.load();
}

void ManualTimerService::notify() {
    const std::lock_guard<std::mutex> lock(mutex_);
    releaseLocked();
}

void ManualTimerService::threadStarting() {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++threads_;
}

void ManualTimerService::threadEnding() {
    const std::lock_guard<std::mutex> lock(mutex_);
    --threads_;
    quiet_.notify_all();
}

milliseconds ManualTimerService::now() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

bool ManualTimerService::isArmed(TimerId id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return timers_.count(id) != 0;
}

std::optional<milliseconds> ManualTimerService::dueIn(TimerId id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = timers_.find(id);
    if (it == timers_.end()) return std::nullopt;
    return it->second.due - now_;
}

void ManualTimerService::releaseLocked() {
    bool any = false;
    for (Sleeper* s : sleepers_) {
        if (s->released || (!s->flag->load() && s->deadline > now_)) continue;
        // Counted here rather than by the woken thread, so that a settle that follows at once
        // already knows this thread is running.
        s->released = true;
        --waiting_;
        any = true;
    }
    if (any) sleepersWake_.notify_all();
}

void ManualTimerService::settle(std::unique_lock<std::mutex>& lock) {
    if (!quiet_.wait_for(lock, settleLimit_, [this] { return waiting_ >= threads_; }))
        throw std::runtime_error("a thread on the manual clock did not come back to a wait");
}

void ManualTimerService::advance(milliseconds span) {
    std::unique_lock<std::mutex> lock(mutex_);
    const milliseconds target = now_ + std::max(span, milliseconds(0));
    for (;;) {
        settle(lock);
        if (!posted_.empty()) {
            std::function<void()> work = std::move(posted_.front());
            posted_.pop_front();
            lock.unlock();
            work();
            lock.lock();
            continue;
        }
        // The next instant anything falls due: a wait's deadline or a timer.
        std::optional<milliseconds> next;
        for (const Sleeper* s : sleepers_)
            if (!s->released) next = next ? std::min(*next, s->deadline) : s->deadline;
        auto firstTimer = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (firstTimer == timers_.end() || it->second.due < firstTimer->second.due ||
                (it->second.due == firstTimer->second.due &&
                 it->second.order < firstTimer->second.order))
                firstTimer = it;
        }
        if (firstTimer != timers_.end())
            next = next ? std::min(*next, firstTimer->second.due) : firstTimer->second.due;
        if (!next || *next > target) {
            now_ = target;
            return;
        }
        now_ = std::max(now_, *next);
        // Waits end before timers of the same instant fire: what a thread receives at an
        // instant is handled before the timers look at it.
        const int before = waiting_;
        releaseLocked();
        if (waiting_ != before || firstTimer == timers_.end() || firstTimer->second.due > now_)
            continue;
        std::function<void()> callback = std::move(firstTimer->second.callback);
        timers_.erase(firstTimer);
        lock.unlock();
        callback();
        lock.lock();
    }
}

}  // namespace orv
