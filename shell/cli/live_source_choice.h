// What the live commands (monitor, capture) share: the live source named on the command line and
// the guard that lets SIGINT/SIGTERM end their event loop.
#pragma once

#include <signal.h>

#include <memory>
#include <string_view>

#include "acquisition/live_source.h"
#include "platform/event_loop.h"
#include "shell/cli/monitor_command.h"

namespace orv::cli {

// "card" (with the interface settings of the options) or an IP URL; nullptr after a message when
// the source is neither.
std::unique_ptr<LiveSource> makeLiveSource(const MonitorOptions& o, std::string_view command);

// SIGINT and SIGTERM end the loop for as long as this lives (one guard at a time); the previous
// handlers come back after.
class QuitOnSignals {
  public:
    explicit QuitOnSignals(EventLoop& loop);
    ~QuitOnSignals();
    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

  private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

}  // namespace orv::cli
