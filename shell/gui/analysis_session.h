// The desktop program's one analysis: the AnalysisContext for the program's life, the results
// page model, and the two kinds of run: a file analysed on a thread of its own, or a live source
// driven by the run control on the GUI thread's timers.
//
// Threads: everything here is called on the GUI thread. The analysis thread of a file feeds the
// context under ctx.mutex; the results page model is guarded by a lock of its own, always taken
// after ctx.mutex. While the file thread is still setting up (before its first block of the main
// pass) it works on the context without the lock, so until then the views do not read it and
// settings changes wait for the thread to pick them up at its next block.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "acquisition/card_source.h"
#include "acquisition/interface_settings.h"
#include "acquisition/offline_source.h"
#include "acquisition/run_control.h"
#include "engine/analysis_context.h"
#include "presentation/results_page.h"
#include "presentation/timing_replay.h"
#include "shell/gui/qt_timer_service.h"
#include "shell/settings/monitor_switches.h"

namespace orv::gui {

inline constexpr const char* kTitleIdle = "码流分析仪";
inline constexpr const char* kTitleOffline = "码流分析仪-离线分析";

enum class RunKind { None, Offline, Online };

// What the progress panel of a file run shows.
struct OfflineProgressView {
    bool visible = false;      // the thread runs
    bool initialised = false;  // the initialisation phase is over
    int percent = 0;           // of the file analysed, 0..100
};

using ContextEdit = std::function<void(AnalysisContext&)>;

class AnalysisSession : public QObject {
    Q_OBJECT

  public:
    explicit AnalysisSession(QObject* parent = nullptr);
    ~AnalysisSession() override;  // stops a run still going, as closing does

    // The settings load at start (registry); false when the program must end.
    bool loadSettings();

    // --- Commands ---
    // Offline analysis of a file on its own thread; false (nothing started) while a run is active.
    bool startOffline(const QString& path);
    // Online analysis of card 0 with the interface settings; false while a run is active.
    bool startOnline();
    // "停止分析": an online run stops at once; a file run is asked to stop and completes the stop
    // when its thread has ended (after at most one block); a finished file run stops at once.
    void stop();
    // The stop of a closing window: the same, waiting for the file thread to end.
    void stopAndWait();

    // --- State (GUI thread) ---
    bool analysisActive() const;
    RunKind runKind() const { return kind_; }
    QString windowTitle() const { return title_; }
    OfflineProgressView offlineProgress() const;
    RunStatus onlineStatus() const { return run_->status(); }
    // The card's last QAM information record of the online run (the USB box sends them).
    std::optional<ExtraDataInTs> latestQamInfo() const {
        return kind_ == RunKind::Online && card_ ? card_->latestQamInfo() : std::nullopt;
    }
    bool fileThreadRunning() const { return job_ != nullptr; }

    // Runs f(ctx, page) with ctx.mutex and the page's lock held; false (f not run) while a file
    // thread is still setting up.
    bool access(const std::function<void(AnalysisContext&, ResultsPage&)>& f);
    // Runs f(ctx) without taking ctx.mutex, for models that take it themselves (the data
    // capture arms its request under it); false (f not run) while a file thread is setting up.
    bool accessUnlocked(const std::function<void(AnalysisContext&)>& f);
    // The file of the current or last file run (the data capture reads it again).
    QString analysedFile() const { return file_; }
    // For the page models that take ctx.mutex themselves (PCR, PES): the context for the
    // program's life, and whether it may be read now (the condition access() tests).
    AnalysisContext& context() { return *ctx_; }
    bool contextReadable() const;
    // The file of the current offline run with the offset of its first sync byte, once its main
    // pass has ended (the timing pages replay it from there); empty path otherwise.
    const ReplayFile& replayFile() const { return replayFile_; }
    // A change of the settings fields of the context (switches, log options): applied at once,
    // or by the file thread at its next block while it is setting up.
    void edit(ContextEdit change);

    // The settings as the user last set them (the dialog opens on these).
    const MonitorSwitches& switches() const { return switches_; }
    const LogSettings& logSettings() const { return log_; }
    void setSwitches(const MonitorSwitches& s);
    void setLogSettings(const LogSettings& s);
    InterfaceSettings& interfaceSettings() { return interface_; }

  Q_SIGNALS:
    void runStarted();
    // A file run's main pass ended: the results are final (the pages rebuild).
    void passFinished();
    // A run was stopped: every page clears (stop-time page reset).
    void stopped();
    void stateChanged();

  private:
    struct FileJob;
    class OnlineFrontEnd;

    void fileThreadEnded();
    void finishFileStop();
    void onlineEnded();
    void refreshPage();

    std::unique_ptr<AnalysisContext> ctx_;
    ResultsPage page_;
    std::mutex pageMutex_;
    QtTimerService timers_;
    std::unique_ptr<OnlineFrontEnd> frontEnd_;
    std::unique_ptr<RunControl> run_;
    std::unique_ptr<CardSource> card_;
    std::unique_ptr<FileJob> job_;
    QTimer pageRefresh_;

    RunKind kind_ = RunKind::None;
    bool fileActive_ = false;  // a file run goes on or shows its results until the stop
    bool stopWhenEnded_ = false;
    QString title_ = kTitleIdle;
    QString titleBeforeFile_;  // restored when a file cannot be analysed
    QString file_;             // the file of the current or last file run
    ReplayFile replayFile_;
    MonitorSwitches switches_{};
    LogSettings log_;
    InterfaceSettings interface_;
};

}  // namespace orv::gui
