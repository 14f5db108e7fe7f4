#include "platform/devio/event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/devio/handle_table.h"

namespace orv::devio {

Event::~Event() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

int Event::descriptor() {
    std::lock_guard lock(mutex_);
    if (descriptor_ < 0) {
        descriptor_ = ::eventfd(signalled_ ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    return descriptor_;
}

void Event::drainDescriptor() {
    if (descriptor_ < 0) return;
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(descriptor_, &count, sizeof count);
}

void Event::set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
        // Every set writes, so the descriptor turns readable again even after a reader drained it.
        if (descriptor_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(descriptor_, &one, sizeof one);
        }
    }
    if (manual_) {
        cv_.notify_all();
    } else {
        cv_.notify_one();
    }
}

void Event::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
    drainDescriptor();
}

bool Event::wait(std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    auto ready = [this] { return signalled_; };
    if (timeoutMs == kInfinite) {
        cv_.wait(lock, ready);
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        return false;
    }
    if (!manual_) {
        signalled_ = false;
        drainDescriptor();
    }
    return true;
}

Handle createEvent(bool manualReset, bool initialState, const char* name) {
    auto& r = detail::registry();
    std::lock_guard lock(r.mutex);
    if (name == nullptr || *name == '\0') {
        setLastError(kErrorSuccess);
        return r.insert(detail::NamedEvent{std::make_shared<Event>(manualReset, initialState), {}});
    }
    std::erase_if(r.namedEvents, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<Event>& entry = r.namedEvents[name];
    std::shared_ptr<Event> event = entry.lock();
    const bool existed = event != nullptr;
    if (!existed) {
        event = std::make_shared<Event>(manualReset, initialState);
        entry = event;
    }
    const Handle handle = r.insert(detail::NamedEvent{std::move(event), name});
    setLastError(existed ? kErrorAlreadyExists : kErrorSuccess);
    return handle;
}

std::shared_ptr<Event> createNamedEvent(bool manualReset, bool initialState,
                                        const std::string& name) {
    auto& r = detail::registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.namedEvents, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<Event>& entry = r.namedEvents[name];
    std::shared_ptr<Event> event = entry.lock();
    if (!event) {
        event = std::make_shared<Event>(manualReset, initialState);
        entry = event;
    }
    return event;
}

std::shared_ptr<Event> eventFromHandle(Handle handle) {
    auto& r = detail::registry();
    std::lock_guard lock(r.mutex);
    auto it = r.handles.find(handle);
    if (it == r.handles.end()) return nullptr;
    auto* named = std::get_if<detail::NamedEvent>(&it->second);
    return named ? named->event : nullptr;
}

bool setEvent(Handle handle) {
    auto event = eventFromHandle(handle);
    if (!event) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    event->set();
    return true;
}

bool resetEvent(Handle handle) {
    auto event = eventFromHandle(handle);
    if (!event) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    event->reset();
    return true;
}

std::uint32_t waitForSingleObject(Handle handle, std::uint32_t timeoutMs) {
    auto event = eventFromHandle(handle);
    if (!event) {
        setLastError(kErrorInvalidHandle);
        return kWaitFailed;
    }
    return event->wait(timeoutMs) ? kWaitObject0 : kWaitTimeout;
}

}  // namespace orv::devio
