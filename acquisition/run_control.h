// Run control of online analysis over any live source: the start and stop commands, the restart
// after an interruption or a program change, and the timers of a run: the initialisation
// dialog's progress (200 ms), the end of the initialisation phase (1.5 s after the first PMT), the
// run start event (5 s later), the close of the initialisation (5 s after that), the one-second
// bitrate timer, the periodic save of the event list and the results page's refresh cycle.
//
// Threads: the timers run on the timer service's thread; start, stop and restart may be called
// from any thread (one command at a time: they and the timers take turns). The acquisition
// thread feeds the context under ctx.mutex; status() and withContext() take that mutex and may be
// called from any thread. The front end's hooks that take the context are called with ctx.mutex
// held.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/acquisition_thread.h"
#include "acquisition/init_dialog.h"
#include "acquisition/live_source.h"
#include "engine/analysis_context.h"
#include "platform/timer_service.h"
#include "platform/wait_clock.h"

namespace orv {

// Timer ids of a run on the front end's timer service (pages keep clear of 1100..1199).
enum class RunTimer : TimerService::TimerId {
    InitProgress = 1100,
    EndOfInit,
    RunStart,
    CloseInit,
    Bitrate,
    PeriodicSave,
    ResultsRefresh,
    RestartStart,
};

inline constexpr std::string_view kTitleOnline = "码流分析仪-在线分析";
inline constexpr std::string_view kTitleStopped = "码流分析仪-停止分析";

inline constexpr std::chrono::milliseconds kInitProgressPeriod{200};
inline constexpr std::chrono::milliseconds kRestartDelay{100};
inline constexpr std::chrono::milliseconds kCloseInitDelay{5000};
inline constexpr std::chrono::milliseconds kBitratePeriod{1000};
inline constexpr std::chrono::milliseconds kBitrateRetryPeriod{2000};

// The period of the periodic save: the settings' minutes (30 when not a positive number).
std::chrono::milliseconds periodicSavePeriod(const LogSettings& settings);

// What a run needs of its front end (the results page and the error log writer). The hooks that
// take the context are called with ctx.mutex held, on the timer service's thread.
class RunFrontEnd {
  public:
    virtual ~RunFrontEnd() = default;
    // The results pages rebuild (at the run start event) or refresh (on the cycle this starts):
    // returns the delay in ms until the next refresh, 0 for none.
    virtual int refreshResults(AnalysisContext& /*ctx*/) { return 0; }
    // The event list, with the events still pending, goes to the error log: at the periodic save
    // (when it is switched on) and at every stop.
    virtual void saveEvents(AnalysisContext& /*ctx*/) {}
    // The analysis stopped: the results pages clear.
    virtual void resetResults(AnalysisContext& /*ctx*/) {}
    // The run ended and does not restart by itself (a stop, or a restart that found the input
    // failed). Called without the lock.
    virtual void runEnded() {}
};

// A consistent view of a run, taken under ctx.mutex.
struct RunStatus {
    bool active = false;           // a run goes on, or restarts in a moment
    bool restartPending = false;   // stopped for a restart that starts 100 ms later
    bool interfaceFailed = false;  // the last run ended because the input could not be set up
    int restarts = 0;              // restarts by the run itself since start(source)
    std::string windowTitle;       // empty before the first start
    InitDialog dialog;
    std::string source;  // the source's description

    AnalysisMode analysisMode = AnalysisMode::Idle;
    RunState runState = RunState::Running;
    bool initDone = false;
    bool interruptSeen = false;
    int packetLength = 188;
    std::uint64_t packetCounter = 0;
    BitrateMbps bitrate;
    LastRunEvent lastRunEvent;
    int pendingEvents = 0;  // the event log's pendingCount (1000 or more: closed)
    int programCount = 0;
    int pmtFoundCount = 0;

    AcquisitionCounts counts;
    std::optional<ExtraDataInTs> qamInfo;
    std::optional<MdiReading> mdi;
};

class RunControl {
  public:
    // The acquisition thread waits on `waits` (a manual clock in tests).
    RunControl(AnalysisContext& ctx, TimerService& timers, RunFrontEnd& frontEnd, WaitClock& waits);
    // The same waiting on the steady clock.
    RunControl(AnalysisContext& ctx, TimerService& timers, RunFrontEnd& frontEnd);
    // Stops a run still going (on the timer service's thread).
    ~RunControl();
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // The start command on `source` (which must outlive the run): the six resets, online mode,
    // the acquisition thread, the initialisation dialog and its progress timer. Ignored while a
    // run goes on; a restart about to start is replaced by this one.
    void start(LiveSource& source);
    // The stop command: the thread is stopped and joined, the source closed, the event list
    // saved with every event logged, the run torn down and reset, the results cleared. A stop
    // while a restart is pending cancels the restart.
    void stop();
    // Stop, then 100 ms later start again on the same source; when the input had failed
    // (runState 3) it stays stopped with runState 0 instead.
    void restart();

    RunStatus status() const;
    // Runs f(const AnalysisContext&) under ctx.mutex and returns its result.
    template <class F>
    decltype(auto) withContext(F&& f) const {
        const std::lock_guard<std::mutex> lock(ctx_.mutex);
        return std::forward<F>(f)(static_cast<const AnalysisContext&>(ctx_));
    }
    // Blocks until no run goes on and none is about to restart, or the timeout passed; true when
    // the run has ended. Not on the timer service's thread.
    bool waitUntilEnded(std::chrono::milliseconds timeout) const;

  private:
    class Hooks final : public InitHooks {
      public:
        explicit Hooks(RunControl& rc) : rc_(rc) {}
        void armTimer(InitTimer timer, int milliseconds) override;
        void setDialogLine(int controlId, std::string_view text) override;
        void addDialogPid(std::string_view text) override;
        double readCardBitrate() override;

      private:
        RunControl& rc_;
    };
    enum class Phase { Idle, Running, RestartPending };

    void arm(RunTimer timer, std::chrono::milliseconds delay, void (RunControl::*handler)());
    void kill(RunTimer timer);
    void startRun(LiveSource& source);
    void stopRun();
    void ended();

    void onInitProgress();
    void onEndOfInit();
    void onRunStart();
    void onCloseInit();
    void onBitrateTick();
    void onPeriodicSave();
    void onResultsRefresh();
    void onRestartStart();

    AnalysisContext& ctx_;
    TimerService& timers_;
    RunFrontEnd& frontEnd_;
    SteadyWaitClock steadyWaits_;
    AcquisitionThread thread_;
    Hooks hooks_{*this};

    // Taken by every command and timer, so that they never overlap (a stop from another thread
    // while a timer restarts the run). Taken before ctx.mutex; the acquisition thread never
    // takes it.
    std::recursive_mutex commands_;
    // Guarded by ctx.mutex.
    Phase phase_ = Phase::Idle;
    LiveSource* source_ = nullptr;
    // Why the run was restarted (Interrupted or ProgramChange), or Running for a first start: the
    // run start event names it. Kept here rather than in runState, which the new run needs at 0.
    RunState cause_ = RunState::Running;
    bool interfaceFailed_ = false;
    int restarts_ = 0;
    std::string title_;
    InitDialog dialog_;
    mutable std::condition_variable endedCv_;
};

}  // namespace orv
