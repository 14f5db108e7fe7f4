// Events (CreateEvent, SetEvent, WaitForSingleObject) in the device layer's handle table, so a
// driver and the library can hand them to each other by handle or by name. Waits are real time.
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
    void set();
    void reset();
    // True when signalled within timeoutMs (an auto-reset event is then reset).
    bool wait(std::uint32_t timeoutMs);

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool manual_;
    bool signalled_;
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
