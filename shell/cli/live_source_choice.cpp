#include "shell/cli/live_source_choice.h"

#include <signal.h>

#include <atomic>

#include "acquisition/card_source.h"
#include "acquisition/ip_source.h"
#include "shell/cli/card_options.h"

namespace orv::cli {
namespace {

// The loop a signal ends.
std::atomic<EventLoop*> signalLoop{nullptr};

extern "C" void quitOnSignal(int) {
    if (EventLoop* loop = signalLoop.load()) loop->quitFromSignal();
}

}  // namespace

std::unique_ptr<LiveSource> makeLiveSource(const MonitorOptions& o, std::string_view command) {
    const std::optional<SourceChoice> choice = chooseSource(o.source, command);
    if (!choice) return nullptr;
    if (choice->url) return std::make_unique<IpSource>(*choice->url);
    return std::make_unique<CardSource>(o.interface);
}

QuitOnSignals::QuitOnSignals(EventLoop& loop) {
    signalLoop.store(&loop);
    struct sigaction action {};
    action.sa_handler = quitOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

QuitOnSignals::~QuitOnSignals() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    signalLoop.store(nullptr);
}

}  // namespace orv::cli
