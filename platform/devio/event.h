// Events (CreateEvent, SetEvent, WaitForSingleObject) in the device layer's handle table, so a
// driver and the library can hand them to each other by handle or by name. Waits are real time.
// An event can also be watched with poll(2) through a descriptor that is readable while it is
// signalled, so a caller can wait on it together with descriptors of its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/devio/devio.h"

namespace orv::devio {

class Event {
  public:
    Event(bool manualReset, bool initialState) : manual_(manualReset), signalled_(initialState) {}
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // True when signalled within timeoutMs (an auto-reset event is then reset).
    bool wait(std::uint32_t timeoutMs);
    // An eventfd that poll(2) reports readable while the event is signalled, made at the first
    // request and closed with the event; -1 (errno set) when the system gives none. Polling it
    // does not reset the event: a wait does. A reader that drains it only delays readiness to
    // the next set().
    int descriptor();

  private:
    void drainDescriptor();  // with the mutex held

    std::mutex mutex_;
    std::condition_variable cv_;
    bool manual_;
    bool signalled_;
    int descriptor_ = -1;
};

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 0x102;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;

// A new event, or with a name that exists already the existing one (lastError() is then
// kErrorAlreadyExists, otherwise kErrorSuccess). A name lives while its event does (a handle or
// an owner of the event keeps it).
Handle createEvent(bool manualReset, bool initialState, const char* name);
// A named event held by a driver without a handle (the existing one when the name is taken).
std::shared_ptr<Event> createNamedEvent(bool manualReset, bool initialState,
                                        const std::string& name);
bool setEvent(Handle handle);
bool resetEvent(Handle handle);
std::uint32_t waitForSingleObject(Handle handle, std::uint32_t timeoutMs);
// The event behind a handle (null for anything else), for drivers that keep it beyond the handle.
std::shared_ptr<Event> eventFromHandle(Handle handle);

}  // namespace orv::devio
