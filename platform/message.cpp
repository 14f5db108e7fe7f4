#include "platform/message.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

namespace orv {
namespace {

std::mutex& hookMutex() {
    static std::mutex m;
    return m;
}

// Held by shared pointer so a message can run the hook outside the lock while another thread
// replaces it.
std::shared_ptr<const MessageHook>& hookSlot() {
    static std::shared_ptr<const MessageHook> slot;
    return slot;
}

}  // namespace

void showMessage(std::string_view utf8) {
    std::shared_ptr<const MessageHook> hook;
    {
        std::lock_guard lock(hookMutex());
        hook = hookSlot();
    }
    if (hook && *hook) {
        (*hook)(utf8);
        return;
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(utf8.size()), utf8.data());
}

MessageHook setMessageHook(MessageHook hook) {
    auto next = hook ? std::make_shared<const MessageHook>(std::move(hook)) : nullptr;
    std::lock_guard lock(hookMutex());
    std::shared_ptr<const MessageHook> previous = std::exchange(hookSlot(), std::move(next));
    return previous ? *previous : MessageHook{};
}

}  // namespace orv
