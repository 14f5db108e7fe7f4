#include "acquisition/capture_rereader.h"

#include <utility>

#include "engine/analysis_context.h"

namespace orv {

CaptureRereader::~CaptureRereader() {
    stop();
}

bool CaptureRereader::start(const std::string& path, const OfflineOptions& options,
                            const CaptureTarget& target, int wanted, CaptureStore& store) {
    if (thread_.joinable()) return false;
    stop_.store(false);
    finished_.store(false);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        outcome_ = {};
    }
    thread_ =
        std::thread(&CaptureRereader::run, this, path, options, target, wanted, std::ref(store));
    return true;
}

void CaptureRereader::stop() {
    stop_.store(true);
    join();
}

void CaptureRereader::join() {
    if (thread_.joinable()) thread_.join();
}

CaptureRereadOutcome CaptureRereader::outcome() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return outcome_;
}

void CaptureRereader::run(std::string path, OfflineOptions options, CaptureTarget target,
                          int wanted, CaptureStore& store) {
    // Every switch off: the walk logs nothing.
    auto ctx = std::make_unique<AnalysisContext>();
    CaptureRereadOutcome out;
    OfflineProgress progress;
    progress.initialised = [&] {
        const CapturePlan plan = planCapture(*ctx, target, wanted);
        out.error = plan.error;
        out.unseenQuestion = plan.unseenQuestion;
        if (!plan.request || stop_.load()) {
            ctx->runState = RunState::Interrupted;
            return;
        }
        store.follow(ctx.get());
        const std::lock_guard<std::mutex> lock(ctx->mutex);
        armCapture(*ctx, *plan.request, &store);
        out.armed = true;
    };
    progress.advanced = [&](uint64_t, uint64_t) {
        if (stop_.load() || ctx->capture.made >= ctx->capture.maxCaptures)
            ctx->runState = RunState::Interrupted;
    };
    options.mainBlockPackets = kCaptureBlockPackets;
    const OfflineResult result = analyseFile(*ctx, path, progress, options);
    store.follow(nullptr);
    out.status = result.status;
    out.stopped = stop_.load();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        outcome_ = out;
    }
    finished_.store(true);
}

}  // namespace orv
