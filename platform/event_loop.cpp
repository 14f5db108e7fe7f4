#include "platform/event_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

namespace orv {

EventLoop::EventLoop() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd_ < 0)
        throw std::runtime_error(std::string("event loop: eventfd failed: ") +
                                 std::strerror(errno));
}

EventLoop::~EventLoop() {
    ::close(wakeFd_);
}

void EventLoop::wake() noexcept {
    const std::uint64_t one = 1;
    // A full counter (EAGAIN) already wakes the loop; nothing else can fail here.
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void EventLoop::drainWakeups() noexcept {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
}

void EventLoop::arm(TimerId id, std::chrono::milliseconds delay, std::function<void()> callback) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto d = delay < std::chrono::milliseconds(0) ? std::chrono::milliseconds(0) : delay;
        timers_[id] = Timer{Clock::now() + d, nextOrder_++, std::move(callback)};
    }
    wake();
}

void EventLoop::kill(TimerId id) {
    const std::lock_guard<std::mutex> lock(mutex_);
    timers_.erase(id);
}

void EventLoop::post(std::function<void()> work) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(std::move(work));
    }
    wake();
}

void EventLoop::quit() {
    quitFromSignal();
}

void EventLoop::quitFromSignal() noexcept {
    quit_.store(true);
    wake();
}

void EventLoop::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_.load()) {
        if (!posted_.empty()) {
            std::function<void()> work = std::move(posted_.front());
            posted_.pop_front();
            lock.unlock();
            work();
            lock.lock();
            continue;
        }
        auto first = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (first == timers_.end() || it->second.due < first->second.due ||
                (it->second.due == first->second.due && it->second.order < first->second.order))
                first = it;
        }
        const Clock::time_point now = Clock::now();
        if (first != timers_.end() && first->second.due <= now) {
            std::function<void()> callback = std::move(first->second.callback);
            timers_.erase(first);
            lock.unlock();
            callback();
            lock.lock();
            continue;
        }
        int timeoutMs = -1;
        if (first != timers_.end()) {
            const auto left = first->second.due - now;
            // Rounded up, so the loop does not wake just before the timer is due.
            timeoutMs = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1);
        }
        lock.unlock();
        pollfd pfd{wakeFd_, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) > 0) drainWakeups();
        lock.lock();
    }
    quit_.store(false);
}

}  // namespace orv
