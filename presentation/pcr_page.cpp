#include "presentation/pcr_page.h"

#include <cinttypes>
#include <cstdio>
#include <mutex>

#include "presentation/scale_field.h"

namespace orv {
namespace {

constexpr std::string_view kNoValue = " - ";
constexpr std::string_view kReferenceClock = "27,000,000 Hz";
constexpr ScaleRule kJitterRangeRule{1000, 10000, false};
constexpr ScaleRule kObservationRule{100, 100, false};
constexpr ScaleRule kIntervalMaxRule{1000, 1000, false};
constexpr ScaleRule kIntervalMinRule{0, 1000};
constexpr double kFallbackIntervalMax = 50;

bool hasComponents(const ProgramEntry& p) {
    return p.pmtReceived && (p.video.present || p.componentCount > 0);
}

std::string hex4(const char* prefix, unsigned v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%04x", prefix, v);
    return buf;
}

std::string intText(int64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%" PRId64, v);
    return buf;
}

std::string msText(double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%2.2f", v);
    return buf;
}

std::string pcrText(int64_t pcr) {
    return "PCR: " + intText(pcr);
}

}  // namespace

PcrPage::PcrPage(AnalysisContext& ctx, TimerService& timers, WaitClock& waits,
                 TimerService::TimerId timer)
    : ctx_(ctx), timers_(timers), timer_(timer), replay_(ctx, waits, ReplayKind::Pcr) {}

PcrPage::~PcrPage() {
    timers_.kill(timer_);
    replay_.stop();
}

bool PcrPage::online() const {
    const std::lock_guard<std::mutex> lock(ctx_.mutex);
    return ctx_.analysisMode == AnalysisMode::Online;
}

void PcrPage::fillSelector(const AnalysisContext& ctx) {
    if (!selector_.empty()) return;
    for (const ProgramEntry& p : ctx.programs) {
        char buf[96];
        if (hasComponents(p))
            std::snprintf(buf, sizeof buf, "节目0x%04x  PID=0x%04x  PCR_PID=0x%04x ",
                          p.programNumber, p.pmtPid, p.pcrPid);
        else
            std::snprintf(buf, sizeof buf, "节目0x%04x  PID=0x%04x ", p.programNumber, p.pmtPid);
        selector_.emplace_back(buf);
    }
}

void PcrPage::updateList(const AnalysisContext& ctx) {
    const std::size_t n = std::min(ctx.programs.size(), ctx.timing.pcrTracks.size());
    for (std::size_t i = 0; i < n; ++i) {
        const ProgramEntry& p = ctx.programs[i];
        const PcrTrack& t = ctx.timing.pcrTracks[i];
        if (!hasComponents(p) || t.hasData != 1) continue;
        const std::string name = hex4("节目0x", p.programNumber);
        PcrListRow* row = nullptr;
        for (PcrListRow& r : rows_)
            if (r[0] == name) row = &r;
        if (row == nullptr) {
            row = &rows_.emplace_back();
            (*row)[0] = name;
            (*row)[1] = hex4("0x", t.pcrPid != 0 ? t.pcrPid : p.pcrPid);
        }
        (*row)[2] = intText(t.currentJitterNs);
        (*row)[3] = intText(t.largestJitterNs);
        (*row)[4] = intText(t.smallestJitterNs);
        (*row)[5] = msText(t.currentIntervalMs);
        (*row)[6] = msText(t.longestIntervalMs);
        (*row)[7] = msText(t.shortestIntervalMs);
    }
}

void PcrPage::setFields(std::string_view text) {
    for (std::string& f : fields_)
        f = text;
}

void PcrPage::trackFields(const PcrTrack& t) {
    fields_[static_cast<int>(PcrField::ReferenceClock)] = kReferenceClock;
    fields_[static_cast<int>(PcrField::LargestJitter)] = intText(t.largestJitterNs);
    fields_[static_cast<int>(PcrField::SmallestJitter)] = intText(t.smallestJitterNs);
    fields_[static_cast<int>(PcrField::LongestInterval)] = msText(t.longestIntervalMs);
    fields_[static_cast<int>(PcrField::ShortestInterval)] = msText(t.shortestIntervalMs);
}

void PcrPage::drawCurves() {
    jitterCurve_.points.clear();
    intervalCurve_.points.clear();
    position_.reset();
    // Only the slots that hold a PCR are drawn: a ring not yet full has empty slots first.
    const int start = windowStart();
    for (int x = 0; x < kPcrWindowSamples; ++x) {
        const PcrSlot& s = copies_[static_cast<std::size_t>(start + x)];
        if (s.pcr <= 0) continue;
        jitterCurve_.points.push_back({x, static_cast<double>(s.jitterNs)});
        intervalCurve_.points.push_back({x, s.intervalMs});
        position_ = x;
    }
}

void PcrPage::drawHistograms(const AnalysisContext& ctx) {
    jitterBars_ = {};
    intervalBars_ = {};
    if (!ctx.initDone || !selected_) return;
    const auto i = static_cast<std::size_t>(*selected_);
    if (i >= ctx.timing.pcrTracks.size()) return;
    const PcrTrack& t = ctx.timing.pcrTracks[i];
    for (int b = 0; b < kPcrJitterBins; ++b)
        jitterBars_[b] = histogramPercent(t.jitterHistogram[b], t.jitterSamples);
    for (int b = 0; b < kPcrIntervalBins; ++b)
        intervalBars_[b] = histogramPercent(t.intervalHistogram[b], t.jitterSamples);
}

void PcrPage::refresh() {
    bool isOnline = false;
    {
        const std::lock_guard<std::mutex> lock(ctx_.mutex);
        AnalysisContext& ctx = ctx_;
        isOnline = ctx.analysisMode == AnalysisMode::Online;
        fillSelector(ctx);
        updateList(ctx);
        const bool known = selected_ && *selected_ < ctx.programCount() &&
                           *selected_ < static_cast<int>(ctx.timing.pcrTracks.size());
        if (known) {
            const auto i = static_cast<std::size_t>(*selected_);
            PcrTrack& t = ctx.timing.pcrTracks[i];
            if (!hasComponents(ctx.programs[i])) {
                setFields(kNoValue);
            } else if (t.hasData == 1) {
                copies_ = pcrRingInTimeOrder(t);
                drawCurves();
                trackFields(t);
                if (position_) {
                    const PcrSlot& s =
                        copies_[static_cast<std::size_t>(windowStart() + *position_)];
                    fields_[static_cast<int>(PcrField::Pcr)] = pcrText(s.pcr);
                    fields_[static_cast<int>(PcrField::CurrentJitter)] = intText(s.jitterNs);
                    fields_[static_cast<int>(PcrField::CurrentInterval)] = msText(s.intervalMs);
                } else {
                    // The window holds no PCR: no sample to show.
                    fields_[static_cast<int>(PcrField::Pcr)] = kNoValue;
                    fields_[static_cast<int>(PcrField::CurrentJitter)] = kNoValue;
                    fields_[static_cast<int>(PcrField::CurrentInterval)] = kNoValue;
                }
                t.hasData = 0;
            }
        }
        drawHistograms(ctx);
    }
    if (isOnline) timers_.arm(timer_, kPcrOnlineRefresh, [this] { onTimer(); });
}

void PcrPage::selectProgram(int index) {
    bool offline = false;
    {
        const std::lock_guard<std::mutex> lock(ctx_.mutex);
        AnalysisContext& ctx = ctx_;
        offline = ctx.analysisMode == AnalysisMode::Offline;
        if (index < 0 || index >= ctx.programCount() ||
            index >= static_cast<int>(ctx.timing.pcrTracks.size()))
            return;
        selected_ = index;
        shift_ = 0;
        const PcrTrack& t = ctx.timing.pcrTracks[static_cast<std::size_t>(index)];
        const int64_t latest = t.pcr[static_cast<std::size_t>(t.latestSlot())];
        if (latest <= 0) {
            copies_ = {};
            jitterCurve_.points.clear();
            intervalCurve_.points.clear();
            position_.reset();
            setFields(kNoValue);
        } else {
            fields_[static_cast<int>(PcrField::Pcr)] = pcrText(latest);
            fields_[static_cast<int>(PcrField::CurrentJitter)] = intText(t.currentJitterNs);
            fields_[static_cast<int>(PcrField::CurrentInterval)] = msText(t.currentIntervalMs);
            trackFields(t);
            copies_ = pcrRingInTimeOrder(t);
            drawCurves();
        }
        drawHistograms(ctx);
    }
    if (offline) {
        // A replay of another program starts from the beginning of the file.
        replay_.rewind();
        pause();
    }
}

void PcrPage::play() {
    buttons_ = {false, true, false, false};
    if (online()) {
        refresh();
        return;
    }
    if (selected_) replay_.start(file_, *selected_);
    timers_.arm(timer_, kPcrReplayFirstRefresh, [this] { onTimer(); });
}

void PcrPage::onTimer() {
    timers_.kill(timer_);
    refresh();  // online it arms the timer again
    if (online()) return;
    if (replay_.finished() || !replay_.running())
        pause();
    else
        timers_.arm(timer_, kPcrReplayRefresh, [this] { onTimer(); });
}

void PcrPage::pause() {
    {
        const std::lock_guard<std::mutex> lock(ctx_.mutex);
        if (!ctx_.initDone) return;
    }
    shift_ = 0;
    timers_.kill(timer_);
    buttons_ = {true, false, true, true};
    if (!online()) replay_.stop();
}

void PcrPage::scrollBack() {
    if (shift_ >= -(kPcrMaxShift - 1)) --shift_;
    drawCurves();
}

void PcrPage::scrollForward() {
    if (shift_ <= kPcrMaxShift - 1) ++shift_;
    drawCurves();
}

void PcrPage::showHistograms() {
    mode_ = PcrDisplayMode::Histograms;
}

void PcrPage::showCurves() {
    mode_ = PcrDisplayMode::Curves;
}

void PcrPage::applyScales() {
    if (mode_ == PcrDisplayMode::Curves) {
        const double range = applyScaleField(scales_.jitterRange, kJitterRangeRule);
        jitterScale_ = {-range, range, scales_.jitterRange, "-" + scales_.jitterRange};
    }
    observationPoints_ =
        static_cast<int>(applyScaleField(scales_.observationPoints, kObservationRule));
    double top = applyScaleField(scales_.intervalMax, kIntervalMaxRule);
    double bottom = applyScaleField(scales_.intervalMin, kIntervalMinRule);
    if (!(bottom < top)) {
        top = kFallbackIntervalMax;
        bottom = 0;
        scales_.intervalMax = scaleText(top);
        scales_.intervalMin = scaleText(bottom);
    }
    intervalScale_ = {bottom, top, scales_.intervalMax, scales_.intervalMin};
}

void PcrPage::reset() {
    timers_.kill(timer_);
    // The replay writes the run's records: it ends before the run is torn down.
    replay_.rewind();
    selector_.clear();
    selected_.reset();
    rows_.clear();
    setFields("");
    copies_ = {};
    jitterCurve_.points.clear();
    intervalCurve_.points.clear();
    position_.reset();
    shift_ = 0;
    buttons_ = {};
    jitterBars_ = {};
    intervalBars_ = {};
}

}  // namespace orv
