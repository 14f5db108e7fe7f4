#include "acquisition/run_control.h"

#include <mutex>

#include "engine/event_log.h"
#include "engine/program_discovery.h"

namespace orv {
namespace {

using std::chrono::milliseconds;
using Lock = std::lock_guard<std::mutex>;
using CommandLock = std::lock_guard<std::recursive_mutex>;

constexpr RunTimer kRunTimers[] = {
    RunTimer::InitProgress, RunTimer::EndOfInit,    RunTimer::RunStart,       RunTimer::CloseInit,
    RunTimer::Bitrate,      RunTimer::PeriodicSave, RunTimer::ResultsRefresh,
};

constexpr int kDefaultSaveMinutes = 30;

int runEventFor(RunState cause) {
    switch (cause) {
        case RunState::Interrupted:
            return kEventInterrupted;
        case RunState::ProgramChange:
            return kEventProgramChange;
        default:
            return kEventRunStart;
    }
}

}  // namespace

milliseconds periodicSavePeriod(const LogSettings& settings) {
    const int minutes =
        settings.saveIntervalMinutes > 0 ? settings.saveIntervalMinutes : kDefaultSaveMinutes;
    return milliseconds(static_cast<std::int64_t>(minutes) * 60'000);
}

// --- What the initialisation phase asks of the run (called with ctx.mutex held) ---

void RunControl::Hooks::armTimer(InitTimer timer, int ms) {
    const milliseconds delay(ms);
    switch (timer) {
        case InitTimer::EndOfInit:
            rc_.arm(RunTimer::EndOfInit, delay, &RunControl::onEndOfInit);
            break;
        case InitTimer::RunStart:
            rc_.arm(RunTimer::RunStart, delay, &RunControl::onRunStart);
            break;
        case InitTimer::BitrateTick:
            rc_.arm(RunTimer::Bitrate, delay, &RunControl::onBitrateTick);
            break;
    }
}

void RunControl::Hooks::setDialogLine(int controlId, std::string_view text) {
    rc_.dialog_.setLine(controlId, text);
}

void RunControl::Hooks::addDialogPid(std::string_view text) {
    rc_.dialog_.addPid(text);
}

double RunControl::Hooks::readCardBitrate() {
    return rc_.source_ != nullptr ? rc_.source_->inputBitrateMbps() : 0.0;
}

// --- Commands ---

RunControl::RunControl(AnalysisContext& ctx, TimerService& timers, RunFrontEnd& frontEnd,
                       WaitClock& waits)
    : ctx_(ctx), timers_(timers), frontEnd_(frontEnd), thread_(ctx, waits) {}

RunControl::RunControl(AnalysisContext& ctx, TimerService& timers, RunFrontEnd& frontEnd)
    : ctx_(ctx), timers_(timers), frontEnd_(frontEnd), thread_(ctx, steadyWaits_) {}

RunControl::~RunControl() {
    stop();
}

void RunControl::arm(RunTimer timer, milliseconds delay, void (RunControl::*handler)()) {
    timers_.arm(static_cast<TimerService::TimerId>(timer), delay,
                [this, handler] { (this->*handler)(); });
}

void RunControl::kill(RunTimer timer) {
    timers_.kill(static_cast<TimerService::TimerId>(timer));
}

void RunControl::start(LiveSource& source) {
    const CommandLock command(commands_);
    {
        const Lock lock(ctx_.mutex);
        if (phase_ == Phase::Running) return;
        restarts_ = 0;
        interfaceFailed_ = false;
    }
    kill(RunTimer::RestartStart);
    startRun(source);
}

void RunControl::startRun(LiveSource& source) {
    {
        const Lock lock(ctx_.mutex);
        dialog_.close();
        resetAll(ctx_);
        if (ctx_.runState == RunState::Interrupted || ctx_.runState == RunState::ProgramChange)
            cause_ = ctx_.runState;
        else
            cause_ = RunState::Running;
        // The new run starts clean: a cause left in runState would cut every walk of the
        // initialisation phase short at its first PAT packet and read as a new interruption.
        ctx_.runState = RunState::Running;
        ctx_.interruptSeen = false;
        ctx_.analysisActive = true;
        ctx_.analysisMode = AnalysisMode::Online;
        ctx_.initProgress = 0;
        ctx_.initHooks = &hooks_;
        source_ = &source;
        title_ = kTitleOnline;
        phase_ = Phase::Running;
        dialog_.show();
    }
    thread_.start(source);
    arm(RunTimer::InitProgress, kInitProgressPeriod, &RunControl::onInitProgress);
}

void RunControl::stop() {
    const CommandLock command(commands_);
    Phase phase;
    {
        const Lock lock(ctx_.mutex);
        phase = phase_;
    }
    if (phase == Phase::Idle) return;
    if (phase == Phase::Running) {
        stopRun();
    } else {
        kill(RunTimer::RestartStart);
    }
    {
        const Lock lock(ctx_.mutex);
        phase_ = Phase::Idle;
    }
    ended();
}

void RunControl::stopRun() {
    {
        const Lock lock(ctx_.mutex);
        title_ = kTitleStopped;
    }
    // The thread ends by itself once asked; every block it fed is in the context after this.
    thread_.stop();
    source_->close();
    for (const RunTimer t : kRunTimers)
        kill(t);
    const Lock lock(ctx_.mutex);
    frontEnd_.saveEvents(ctx_);
    teardownRun(ctx_);
    resetAll(ctx_);
    dialog_.close();
    ctx_.initHooks = nullptr;
    frontEnd_.resetResults(ctx_);
}

void RunControl::ended() {
    endedCv_.notify_all();
    frontEnd_.runEnded();
}

void RunControl::restart() {
    const CommandLock command(commands_);
    Phase phase;
    {
        const Lock lock(ctx_.mutex);
        phase = phase_;
        if (phase == Phase::Idle && source_ == nullptr) return;
    }
    if (phase == Phase::Running) stopRun();
    bool failed;
    {
        const Lock lock(ctx_.mutex);
        failed = ctx_.runState == RunState::InterfaceFailure;
        if (failed) {
            ctx_.runState = RunState::Running;
            interfaceFailed_ = true;
            phase_ = Phase::Idle;
        } else {
            phase_ = Phase::RestartPending;
        }
    }
    if (failed) {
        ended();
        return;
    }
    arm(RunTimer::RestartStart, kRestartDelay, &RunControl::onRestartStart);
}

void RunControl::onRestartStart() {
    const CommandLock command(commands_);
    LiveSource* source;
    {
        const Lock lock(ctx_.mutex);
        if (phase_ != Phase::RestartPending) return;
        ++restarts_;
        source = source_;
    }
    startRun(*source);
}

// --- Timers of the run ---

void RunControl::onInitProgress() {
    const CommandLock command(commands_);
    bool failed = false;
    {
        const Lock lock(ctx_.mutex);
        if (phase_ != Phase::Running) return;
        if (ctx_.runState == RunState::InterfaceFailure) {
            dialog_.close();
            failed = true;
        } else {
            // The bar keeps moving while nothing is found: it goes back to the start at 60
            // while the program table is empty.
            int step = ctx_.initProgress + 1;
            if (step >= 100) step = 0;
            if (step == 60 && ctx_.programs.empty()) step = 1;
            ctx_.initProgress = step;
            dialog_.progress = step;
        }
    }
    if (failed) {
        restart();
        return;
    }
    arm(RunTimer::InitProgress, kInitProgressPeriod, &RunControl::onInitProgress);
}

void RunControl::onEndOfInit() {
    const CommandLock command(commands_);
    const Lock lock(ctx_.mutex);
    if (phase_ != Phase::Running || ctx_.analysisMode != AnalysisMode::Online || ctx_.initDone)
        return;
    finishInit(ctx_);
}

void RunControl::onRunStart() {
    const CommandLock command(commands_);
    {
        const Lock lock(ctx_.mutex);
        if (phase_ != Phase::Running || ctx_.analysisMode != AnalysisMode::Online) return;
        const RunState state = ctx_.runState != RunState::Running ? ctx_.runState : cause_;
        if (state == RunState::InterfaceFailure) {
            arm(RunTimer::Bitrate, milliseconds(100), &RunControl::onBitrateTick);
            return;
        }
        beginRun(ctx_, runEventFor(state));
        ctx_.runState = RunState::Running;
        ctx_.interruptSeen = false;
        cause_ = RunState::Running;
        const int next = frontEnd_.refreshResults(ctx_);
        if (next > 0)
            arm(RunTimer::ResultsRefresh, milliseconds(next), &RunControl::onResultsRefresh);
    }
    arm(RunTimer::CloseInit, kCloseInitDelay, &RunControl::onCloseInit);
}

void RunControl::onCloseInit() {
    const CommandLock command(commands_);
    milliseconds savePeriod;
    {
        const Lock lock(ctx_.mutex);
        if (phase_ != Phase::Running) return;
        kill(RunTimer::InitProgress);
        dialog_.close();
        if (ctx_.analysisMode == AnalysisMode::Idle) return;
        savePeriod = periodicSavePeriod(ctx_.logSettings);
    }
    arm(RunTimer::Bitrate, kBitratePeriod, &RunControl::onBitrateTick);
    arm(RunTimer::PeriodicSave, savePeriod, &RunControl::onPeriodicSave);
}

void RunControl::onBitrateTick() {
    const CommandLock command(commands_);
    LiveSource* source;
    {
        const Lock lock(ctx_.mutex);
        if (phase_ != Phase::Running) return;
        source = source_;
    }
    // Asked of the source without the lock: the card answers through its driver.
    const double input = source->inputBitrateMbps();
    const int inputLength = source->packetLength();
    bool restartNow = false;
    {
        const Lock lock(ctx_.mutex);
        if (ctx_.analysisMode == AnalysisMode::Online) {
            const double r = ctx_.runState == RunState::Interrupted ? 0.0 : input;
            BitrateMbps& b = ctx_.streamBitrate;
            b.current = r;
            if (r > b.max) b.max = r;
            if (r < b.min) b.min = r;
            b.mean = (r + b.max + b.mean + b.min) / 4.0;
            if (r > 1.0 && ctx_.runState == RunState::Running &&
                (inputLength == static_cast<int>(kTsPacketSize) ||
                 inputLength == static_cast<int>(kRsPacketSize)))
                ctx_.packetLength = inputLength;
        }
        switch (ctx_.runState) {
            case RunState::Running:
                arm(RunTimer::Bitrate, kBitratePeriod, &RunControl::onBitrateTick);
                break;
            case RunState::Interrupted:
                if (ctx_.interruptSeen) {
                    ctx_.interruptSeen = false;
                    restartNow = true;
                } else {
                    arm(RunTimer::Bitrate, kBitrateRetryPeriod, &RunControl::onBitrateTick);
                }
                break;
            case RunState::ProgramChange:
            case RunState::InterfaceFailure:
                restartNow = true;
                break;
        }
    }
    if (restartNow) restart();
}

void RunControl::onPeriodicSave() {
    const CommandLock command(commands_);
    milliseconds period;
    {
        const Lock lock(ctx_.mutex);
        if (phase_ != Phase::Running) return;
        if (ctx_.logSettings.saveLogEnabled) frontEnd_.saveEvents(ctx_);
        period = periodicSavePeriod(ctx_.logSettings);
    }
    arm(RunTimer::PeriodicSave, period, &RunControl::onPeriodicSave);
}

void RunControl::onResultsRefresh() {
    const CommandLock command(commands_);
    int next;
    {
        const Lock lock(ctx_.mutex);
        if (phase_ != Phase::Running) return;
        next = frontEnd_.refreshResults(ctx_);
    }
    if (next > 0) arm(RunTimer::ResultsRefresh, milliseconds(next), &RunControl::onResultsRefresh);
}

// --- Readers ---

RunStatus RunControl::status() const {
    const Lock lock(ctx_.mutex);
    RunStatus s;
    s.active = phase_ != Phase::Idle;
    s.restartPending = phase_ == Phase::RestartPending;
    s.interfaceFailed = interfaceFailed_;
    s.restarts = restarts_;
    s.windowTitle = title_;
    s.dialog = dialog_;
    if (source_ != nullptr) {
        s.source = source_->describe();
        s.mdi = source_->mediaDeliveryIndex();
    }
    s.analysisMode = ctx_.analysisMode;
    s.runState = ctx_.runState;
    s.initDone = ctx_.initDone;
    s.interruptSeen = ctx_.interruptSeen;
    s.packetLength = ctx_.packetLength;
    s.packetCounter = ctx_.packetCounter;
    s.bitrate = ctx_.streamBitrate;
    s.lastRunEvent = ctx_.log.lastRunEvent;
    s.pendingEvents = ctx_.log.pendingCount.load();
    s.programCount = ctx_.programCount();
    s.pmtFoundCount = ctx_.pmtFoundCount;
    s.counts = thread_.counts();
    s.qamInfo = thread_.latestQamInfo();
    return s;
}

bool RunControl::waitUntilEnded(milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(ctx_.mutex);
    return endedCv_.wait_for(lock, timeout, [this] { return phase_ == Phase::Idle; });
}

}  // namespace orv
