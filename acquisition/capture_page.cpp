#include "acquisition/capture_page.h"

#include <charconv>
#include <cstdio>

namespace orv {
namespace {

constexpr std::chrono::milliseconds kElapsedPeriod{1000};
constexpr std::chrono::milliseconds kPollPeriod{100};

// The count field holds digits only; an empty field, or one too long to read, is taken as empty
// or as more than the most.
std::optional<long long> countOf(std::string_view text) {
    if (text.empty()) return std::nullopt;
    long long n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec == std::errc::result_out_of_range) return kMaxCaptures;
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return n;
}

}  // namespace

CapturePageModel::CapturePageModel(TimerService& timers, CaptureStore& store)
    : timers_(timers), store_(store) {}

CapturePageModel::~CapturePageModel() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (running_) stopLocked();
}

CaptureTriggerResult CapturePageModel::trigger(AnalysisContext& ctx, const CaptureChoice* chosen,
                                               std::string_view countText, bool confirmed,
                                               const std::string& file,
                                               const OfflineOptions& options) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (running_ || !controls_.trigger) return CaptureTriggerResult::Busy;
    error_.clear();
    question_.clear();
    if (chosen == nullptr) return CaptureTriggerResult::Ignored;
    const int wanted = capturesWanted(countOf(countText), chosen->target.page);
    bool offline = false;
    {
        const std::lock_guard<std::mutex> ctxLock(ctx.mutex);
        if (!ctx.initDone) return CaptureTriggerResult::Ignored;
        const CapturePlan plan = planCapture(ctx, chosen->target, wanted);
        if (!plan.request) {
            error_ = plan.error;
            return CaptureTriggerResult::Off;
        }
        if (!plan.unseenQuestion.empty() && !confirmed) {
            question_ = plan.unseenQuestion;
            return CaptureTriggerResult::AskUnseen;
        }
        offline = ctx.analysisMode == AnalysisMode::Offline;
        if (!offline) {
            store_.follow(&ctx);
            armCapture(ctx, *plan.request, &store_);
        }
    }
    store_.clear();
    if (offline && !reader_.start(file, options, chosen->target, wanted, store_)) {
        error_ = "the capture of the file is still running";
        return CaptureTriggerResult::Busy;
    }
    live_ = offline ? nullptr : &ctx;
    if (offline)
        rearm_.reset();
    else
        rearm_.emplace(chosen->target, wanted, store_);
    offline_ = offline;
    running_ = true;
    wanted_ = wanted;
    elapsedSeconds_ = 0;
    listed_ = 0;
    shown_.reset();
    countField_ = std::to_string(wanted);
    controls_ = {.trigger = false,
                 .stop = true,
                 .save = false,
                 .clear = false,
                 .typeList = false,
                 .countField = false,
                 .tabs = false};
    timers_.arm(kCaptureElapsedTimer, kElapsedPeriod, [this] { onElapsed(); });
    timers_.arm(kCapturePollTimer, kPollPeriod, [this] { onPoll(); });
    return CaptureTriggerResult::Started;
}

void CapturePageModel::onElapsed() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!running_) return;
    ++elapsedSeconds_;
    timers_.arm(kCaptureElapsedTimer, kElapsedPeriod, [this] { onElapsed(); });
}

void CapturePageModel::onPoll() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!running_) return;
    if (live_ != nullptr && rearm_) {
        const std::lock_guard<std::mutex> ctxLock(live_->mutex);
        rearm_->poll(*live_);
    }
    if (rearm_ && rearm_->failed()) {
        // The run came back without what was chosen (a program change took the program away).
        error_ = rearm_->plan().error;
        stopLocked();
        return;
    }
    listed_ = std::min(store_.size(), static_cast<std::size_t>(wanted_));
    if (listed_ > 0 && !shown_) shown_ = 0;
    if (listed_ >= static_cast<std::size_t>(wanted_) || (offline_ && reader_.finished())) {
        stopLocked();
        return;
    }
    timers_.arm(kCapturePollTimer, kPollPeriod, [this] { onPoll(); });
}

void CapturePageModel::stop() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (running_) stopLocked();
}

void CapturePageModel::stopLocked() {
    timers_.kill(kCaptureElapsedTimer);
    timers_.kill(kCapturePollTimer);
    // No copy arrives after the stop: the re-reading ends, or the live request is withdrawn.
    if (offline_) reader_.stop();
    if (live_ != nullptr) {
        const std::lock_guard<std::mutex> ctxLock(live_->mutex);
        disarmCapture(*live_);
    }
    store_.follow(nullptr);
    rearm_.reset();
    // What arrived since the last poll is listed too.
    listed_ = std::min(store_.size(), static_cast<std::size_t>(wanted_));
    if (listed_ > 0 && !shown_) shown_ = 0;
    running_ = false;
    controls_.trigger = false;
    controls_.stop = false;
    controls_.clear = true;
    controls_.save = true;
}

void CapturePageModel::clear() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (running_) return;
    if (live_ != nullptr) {
        const std::lock_guard<std::mutex> ctxLock(live_->mutex);
        if (live_->captureSink == &store_) disarmCapture(*live_);
    }
    live_ = nullptr;
    store_.clear();
    elapsedSeconds_ = 0;
    listed_ = 0;
    shown_.reset();
    controls_ = {};
}

CaptureSaveResult CapturePageModel::save(const std::string& path) {
    return saveCaptures(store_.copiesFrom(0), path);
}

CaptureControls CapturePageModel::controls() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return controls_;
}

std::string CapturePageModel::elapsedText() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", elapsedSeconds_ / 3600,
                  elapsedSeconds_ / 60 % 60, elapsedSeconds_ % 60);
    return text;
}

std::string CapturePageModel::countField() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return countField_;
}

std::vector<std::string> CapturePageModel::copyLines() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines;
    for (std::size_t i = 1; i <= listed_; ++i) {
        char text[48];
        std::snprintf(text, sizeof text, "收到第 %03zu 个数据", i);
        lines.emplace_back(text);
    }
    return lines;
}

std::optional<std::size_t> CapturePageModel::shownCopy() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

void CapturePageModel::choose(std::size_t line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (line < listed_) shown_ = line;
}

bool CapturePageModel::running() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

std::string CapturePageModel::pendingQuestion() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return question_;
}

std::string CapturePageModel::lastError() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

}  // namespace orv
