#include "shell/gui/analysis_session.h"

#include <QFileInfo>

#include "platform/message.h"
#include "presentation/error_log_writer.h"

namespace orv::gui {

// The file thread and what it shares with the GUI thread.
struct AnalysisSession::FileJob {
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> initialised{false};
    std::atomic<bool> mainPass{false};
    std::atomic<uint64_t> done{0};
    std::atomic<uint64_t> total{0};
    std::mutex editsMutex;
    std::vector<ContextEdit> edits;  // guarded by editsMutex
    OfflineResult result;            // written by the thread, read after the join

    // Settings changes made while the thread ran; the caller holds ctx.mutex.
    void applyEdits(AnalysisContext& ctx) {
        std::vector<ContextEdit> pending;
        {
            const std::lock_guard<std::mutex> lock(editsMutex);
            pending.swap(edits);
        }
        for (const ContextEdit& e : pending)
            e(ctx);
    }
};

// The run control's hooks, called on the GUI thread with ctx.mutex held.
class AnalysisSession::OnlineFrontEnd final : public RunFrontEnd {
  public:
    explicit OnlineFrontEnd(AnalysisSession& s) : s_(s) {}
    int refreshResults(AnalysisContext& ctx) override {
        const std::lock_guard<std::mutex> lock(s_.pageMutex_);
        return s_.page_.refresh(ctx);
    }
    void saveEvents(AnalysisContext& ctx) override {
        const std::lock_guard<std::mutex> lock(s_.pageMutex_);
        writeErrorLog(ctx, s_.page_);
    }
    void resetResults(AnalysisContext& ctx) override {
        const std::lock_guard<std::mutex> lock(s_.pageMutex_);
        s_.page_.reset(ctx);
    }
    void runEnded() override {
        QMetaObject::invokeMethod(
            &s_, [s = &s_] { s->onlineEnded(); }, Qt::QueuedConnection);
    }

  private:
    AnalysisSession& s_;
};

AnalysisSession::AnalysisSession(QObject* parent)
    : QObject(parent), ctx_(std::make_unique<AnalysisContext>()) {
    switches_.fill(1);
    ctx_->monitorEnabled = switches_;
    frontEnd_ = std::make_unique<OnlineFrontEnd>(*this);
    run_ = std::make_unique<RunControl>(*ctx_, timers_, *frontEnd_);
    pageRefresh_.setSingleShot(true);
    connect(&pageRefresh_, &QTimer::timeout, this, &AnalysisSession::refreshPage);
}

AnalysisSession::~AnalysisSession() {
    stopAndWait();
    run_.reset();
}

bool AnalysisSession::loadSettings() {
    if (!loadMonitorSwitches(*ctx_)) return false;
    switches_ = ctx_->monitorEnabled;
    log_ = ctx_->logSettings;
    return true;
}

bool AnalysisSession::analysisActive() const {
    return fileActive_ || (kind_ == RunKind::Online && run_->status().active);
}

OfflineProgressView AnalysisSession::offlineProgress() const {
    OfflineProgressView v;
    if (!job_) return v;
    v.visible = true;
    v.initialised = job_->initialised.load();
    const uint64_t total = job_->total.load();
    if (total > 0) v.percent = static_cast<int>(job_->done.load() * 100 / total);
    return v;
}

bool AnalysisSession::access(const std::function<void(AnalysisContext&, ResultsPage&)>& f) {
    if (job_ && !job_->mainPass.load()) return false;
    const std::lock_guard<std::mutex> lock(ctx_->mutex);
    const std::lock_guard<std::mutex> pageLock(pageMutex_);
    f(*ctx_, page_);
    return true;
}

bool AnalysisSession::accessUnlocked(const std::function<void(AnalysisContext&)>& f) {
    if (job_ && !job_->mainPass.load()) return false;
    f(*ctx_);
    return true;
}

bool AnalysisSession::contextReadable() const {
    return !job_ || job_->mainPass.load();
}

void AnalysisSession::edit(ContextEdit change) {
    if (job_) {
        const std::lock_guard<std::mutex> lock(job_->editsMutex);
        job_->edits.push_back(std::move(change));
        return;
    }
    const std::lock_guard<std::mutex> lock(ctx_->mutex);
    change(*ctx_);
}

void AnalysisSession::setSwitches(const MonitorSwitches& s) {
    switches_ = s;
    edit([s](AnalysisContext& ctx) { ctx.monitorEnabled = s; });
}

void AnalysisSession::setLogSettings(const LogSettings& s) {
    log_ = s;
    edit([s](AnalysisContext& ctx) { ctx.logSettings = s; });
}

bool AnalysisSession::startOffline(const QString& path) {
    if (analysisActive() || job_) return false;
    {
        const std::lock_guard<std::mutex> lock(ctx_->mutex);
        const std::lock_guard<std::mutex> pageLock(pageMutex_);
        page_.reset(*ctx_);
        page_.clearEventList();
    }
    kind_ = RunKind::Offline;
    fileActive_ = true;
    stopWhenEnded_ = false;
    titleBeforeFile_ = title_;
    file_ = path;
    title_ = QString::fromUtf8(kTitleOffline) + QFileInfo(path).fileName();
    job_ = std::make_unique<FileJob>();
    FileJob* job = job_.get();
    const std::string file = path.toStdString();
    replayFile_ = {};
    job->thread = std::thread([this, job, file] {
        OfflineProgress progress;
        progress.initialised = [job] { job->initialised.store(true); };
        progress.advanced = [this, job](uint64_t done, uint64_t total) {
            job->done.store(done);
            job->total.store(total);
            const std::lock_guard<std::mutex> lock(ctx_->mutex);
            job->applyEdits(*ctx_);
            // The panel's stop button: the pass ends at its next test of runState.
            if (job->stopRequested.load()) ctx_->runState = RunState::InterfaceFailure;
            job->mainPass.store(true);
        };
        // Called between blocks and, when the batch fills, inside a block (ctx.mutex then held by
        // this thread): only the page's own lock is taken here.
        progress.drainEvents = [this] {
            const std::lock_guard<std::mutex> lock(pageMutex_);
            page_.drainPending(*ctx_);
        };
        job->result = analyseFile(*ctx_, file, progress);
        QMetaObject::invokeMethod(
            this, [this] { fileThreadEnded(); }, Qt::QueuedConnection);
    });
    pageRefresh_.start(kRefreshPeriodMs);
    Q_EMIT runStarted();
    Q_EMIT stateChanged();
    return true;
}

void AnalysisSession::fileThreadEnded() {
    if (!job_) return;
    job_->thread.join();
    const std::unique_ptr<FileJob> job = std::move(job_);
    {
        const std::lock_guard<std::mutex> lock(ctx_->mutex);
        job->applyEdits(*ctx_);
    }
    if (!job->result.mainPassStarted) {
        // Nothing was analysed (the message of the failed step was shown): back to idle.
        pageRefresh_.stop();
        {
            const std::lock_guard<std::mutex> lock(ctx_->mutex);
            const std::lock_guard<std::mutex> pageLock(pageMutex_);
            teardownRun(*ctx_);
            resetAll(*ctx_);
            page_.reset(*ctx_);
        }
        if (job->result.status == OfflineStatus::NoBitrate)
            showMessage("文件初始化失败", "前40000包中没有可用的PCR，无法测得码流速率");
        fileActive_ = false;
        kind_ = RunKind::None;
        title_ = titleBeforeFile_;
        Q_EMIT stopped();
        Q_EMIT stateChanged();
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(ctx_->mutex);
        const std::lock_guard<std::mutex> pageLock(pageMutex_);
        page_.refresh(*ctx_);
    }
    replayFile_ = {file_.toStdString(), job->result.startOffset};
    Q_EMIT passFinished();
    if (stopWhenEnded_) finishFileStop();
    Q_EMIT stateChanged();
}

void AnalysisSession::finishFileStop() {
    pageRefresh_.stop();
    {
        const std::lock_guard<std::mutex> lock(ctx_->mutex);
        const std::lock_guard<std::mutex> pageLock(pageMutex_);
        writeErrorLog(*ctx_, page_);
        teardownRun(*ctx_);
        resetAll(*ctx_);
        page_.reset(*ctx_);
    }
    fileActive_ = false;
    stopWhenEnded_ = false;
    replayFile_ = {};
    kind_ = RunKind::None;
    title_ = QString::fromUtf8(kTitleStopped.data(), static_cast<int>(kTitleStopped.size()));
    Q_EMIT stopped();
    Q_EMIT stateChanged();
}

void AnalysisSession::refreshPage() {
    if (!fileActive_) return;
    int next = kRefreshPeriodMs;
    access([&next](AnalysisContext& ctx, ResultsPage& page) { next = page.refresh(ctx); });
    pageRefresh_.start(next > 0 ? next : kRefreshPeriodMs);
}

bool AnalysisSession::startOnline() {
    if (analysisActive() || job_) return false;
    card_ = std::make_unique<CardSource>(interface_);
    kind_ = RunKind::Online;
    run_->start(*card_);
    title_ = QString::fromStdString(run_->status().windowTitle);
    if (title_.isEmpty()) title_ = QString::fromUtf8(kTitleOnline.data(), kTitleOnline.size());
    Q_EMIT runStarted();
    Q_EMIT stateChanged();
    return true;
}

void AnalysisSession::onlineEnded() {
    if (kind_ != RunKind::Online || run_->status().active) return;
    const RunStatus status = run_->status();
    if (!status.windowTitle.empty()) title_ = QString::fromStdString(status.windowTitle);
    kind_ = RunKind::None;
    Q_EMIT stopped();
    Q_EMIT stateChanged();
}

void AnalysisSession::stop() {
    if (job_) {
        // The rest of the stop follows when the thread has ended.
        job_->stopRequested.store(true);
        stopWhenEnded_ = true;
        return;
    }
    if (fileActive_) {
        finishFileStop();
        return;
    }
    if (kind_ == RunKind::Online) {
        run_->stop();
        title_ = QString::fromUtf8(kTitleStopped.data(), static_cast<int>(kTitleStopped.size()));
        kind_ = RunKind::None;
        Q_EMIT stopped();
        Q_EMIT stateChanged();
    }
}

void AnalysisSession::stopAndWait() {
    if (job_) {
        job_->stopRequested.store(true);
        stopWhenEnded_ = true;
        // The thread tests the request after every block; the join is that short.
        fileThreadEnded();
        return;
    }
    stop();
}

}  // namespace orv::gui
