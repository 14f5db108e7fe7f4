// The one place user-facing messages go (the Windows program's message boxes): the GUI installs a
// hook that shows a dialog, the command line prints to stderr (the default), tests capture. The
// text is UTF-8. Callable from any thread; the hook runs on the calling thread.
#pragma once

#include <functional>
#include <string_view>
#include <utility>

namespace orv {

using MessageHook = std::function<void(std::string_view utf8)>;

// Shows a message through the installed hook (stderr, one line, when none is installed).
void showMessage(std::string_view utf8);

// Installs a hook (an empty one restores the stderr default) and returns the previous one.
MessageHook setMessageHook(MessageHook hook);

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

}  // namespace orv
