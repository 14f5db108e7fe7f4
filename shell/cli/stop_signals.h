// SIGINT and SIGTERM ask a command to stop, for as long as a StopOnSignals lives: the handler
// only sets a flag that the command's loop tests (the previous handlers come back after).
#pragma once

#include <signal.h>

#include <atomic>

namespace orv::cli {

class StopOnSignals {
  public:
    StopOnSignals() {
        flag().store(false);
        struct sigaction action {};
        action.sa_handler = [](int) { flag().store(true); };
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~StopOnSignals() {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    bool requested() const { return flag().load(); }

  private:
    static std::atomic<bool>& flag() {
        static std::atomic<bool> stop{false};
        static_assert(std::atomic<bool>::is_always_lock_free);
        return stop;
    }
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

}  // namespace orv::cli
