// The one place user-facing messages go (the Windows program's message boxes): the GUI installs a
// hook that shows a dialog, the command line prints to stderr (the default), tests capture. The
// text is UTF-8. Callable from any thread; the hook runs on the calling thread.
//
// A message may carry the system's reason beside its text (the errno text of a failed open, say).
// The text stays exactly the system's own; a plain hook sees only the text, a reasoned hook sees
// both, and the stderr default prints the reason after the text: "text (reason)".
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace orv {

using MessageHook = std::function<void(std::string_view utf8)>;
using ReasonedMessageHook = std::function<void(std::string_view utf8, std::string_view reason)>;

// Shows a message through the installed hook (stderr, one line, when none is installed).
void showMessage(std::string_view utf8);
// The same with the system's reason for it (empty: none). A reasoned hook, when one is installed,
// takes every message, with or without a reason, before a plain hook.
void showMessage(std::string_view utf8, std::string_view reason);

// Installs a hook (an empty one restores the stderr default) and returns the previous one.
MessageHook setMessageHook(MessageHook hook);
ReasonedMessageHook setReasonedMessageHook(ReasonedMessageHook hook);

// How the stderr default writes a message with its reason.
std::string withReason(std::string_view utf8, std::string_view reason);

// Installs a hook for the lifetime of the scope, then restores the previous one.
class ScopedMessageHook {
  public:
    explicit ScopedMessageHook(MessageHook hook) : previous_(setMessageHook(std::move(hook))) {}
    ~ScopedMessageHook() { setMessageHook(std::move(previous_)); }
    ScopedMessageHook(const ScopedMessageHook&) = delete;
    ScopedMessageHook& operator=(const ScopedMessageHook&) = delete;

  private:
    MessageHook previous_;
};

class ScopedReasonedMessageHook {
  public:
    explicit ScopedReasonedMessageHook(ReasonedMessageHook hook)
        : previous_(setReasonedMessageHook(std::move(hook))) {}
    ~ScopedReasonedMessageHook() { setReasonedMessageHook(std::move(previous_)); }
    ScopedReasonedMessageHook(const ScopedReasonedMessageHook&) = delete;
    ScopedReasonedMessageHook& operator=(const ScopedReasonedMessageHook&) = delete;

  private:
    ReasonedMessageHook previous_;
};

}  // namespace orv
