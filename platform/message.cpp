#include "platform/message.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
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

std::shared_ptr<const ReasonedMessageHook>& reasonedSlot() {
    static std::shared_ptr<const ReasonedMessageHook> slot;
    return slot;
}

template <class Hook>
Hook exchangeHook(std::shared_ptr<const Hook>& slot, Hook hook) {
    auto next = hook ? std::make_shared<const Hook>(std::move(hook)) : nullptr;
    std::lock_guard lock(hookMutex());
    std::shared_ptr<const Hook> previous = std::exchange(slot, std::move(next));
    return previous ? *previous : Hook{};
}

}  // namespace

std::string withReason(std::string_view utf8, std::string_view reason) {
    std::string line(utf8);
    if (!reason.empty()) {
        line += " (";
        line += reason;
        line += ')';
    }
    return line;
}

void showMessage(std::string_view utf8) {
    showMessage(utf8, {});
}

void showMessage(std::string_view utf8, std::string_view reason) {
    std::shared_ptr<const MessageHook> hook;
    std::shared_ptr<const ReasonedMessageHook> reasoned;
    {
        std::lock_guard lock(hookMutex());
        hook = hookSlot();
        reasoned = reasonedSlot();
    }
    if (reasoned && *reasoned) {
        (*reasoned)(utf8, reason);
        return;
    }
    if (hook && *hook) {
        (*hook)(utf8);
        return;
    }
    const std::string line = withReason(utf8, reason);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

MessageHook setMessageHook(MessageHook hook) {
    return exchangeHook(hookSlot(), std::move(hook));
}

ReasonedMessageHook setReasonedMessageHook(ReasonedMessageHook hook) {
    return exchangeHook(reasonedSlot(), std::move(hook));
}

}  // namespace orv
