#include "presentation/pes_page.h"

#include <cinttypes>
#include <cstdio>
#include <mutex>

#include "presentation/scale_field.h"

namespace orv {
namespace {

const std::string kNoValue = " - ";
constexpr ScaleRule kRangeRule{800, 3000, false};
constexpr double kVideoBottomMs = -200;

bool hasComponents(const ProgramEntry& p) {
    return p.pmtReceived && (p.video.present || p.componentCount > 0);
}

std::string pidText(unsigned pid) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "PID:0x%04x", pid);
    return buf;
}

std::string msText(double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%2.2f ms", v);
    return buf;
}

// The system time at the last PES header in ns (27 MHz ticks x 1000 / 27).
std::string timeText(int64_t ticks) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%" PRId64 " ns", ticks / 27 * 1000 + ticks % 27 * 1000 / 27);
    return buf;
}

std::vector<Curve> emptyCurves(int n) {
    return std::vector<Curve>(static_cast<std::size_t>(n));
}

// The four curves of the samples; the PCR-relative ones hidden while the program has no PCR.
template <std::size_t N>
void drawTimeStamps(std::vector<Curve>& curves, const std::vector<PesSample>& samples,
                    const std::array<bool, N>& checked, bool hasPcr) {
    for (Curve& c : curves)
        c.points.clear();
    for (std::size_t x = 0; x < samples.size(); ++x) {
        const PesSample& s = samples[x];
        const int i = static_cast<int>(x);
        curves[0].points.push_back({i, s.dtsPcrMs});
        curves[1].points.push_back({i, s.dtsDistanceMs});
        curves[2].points.push_back({i, s.ptsPcrMs});
        curves[3].points.push_back({i, s.ptsDistanceMs});
    }
    for (std::size_t c = 0; c < 4; ++c)
        curves[c].visible = checked[c] && (hasPcr || (c != 0 && c != 2));
}

}  // namespace

PesPage::PesPage(AnalysisContext& ctx, TimerService& timers, WaitClock& waits,
                 TimerService::TimerId timer)
    : ctx_(ctx), timers_(timers), timer_(timer), replay_(ctx, waits, ReplayKind::Pes) {
    reset();
}

PesPage::~PesPage() {
    timers_.kill(timer_);
    replay_.stop();
}

bool PesPage::online() const {
    const std::lock_guard<std::mutex> lock(ctx_.mutex);
    return ctx_.analysisMode == AnalysisMode::Online;
}

bool PesPage::initDone() const {
    const std::lock_guard<std::mutex> lock(ctx_.mutex);
    return ctx_.initDone;
}

void PesPage::setFields(int from, int to, const std::string& text) {
    for (int f = from; f <= to; ++f)
        fields_[static_cast<std::size_t>(f)] = text;
}

void PesPage::drawVideo(const AnalysisContext& ctx) {
    const int index = *selected_;
    const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(index)];
    const VideoTiming& v = p.timing.video;
    const bool hasPcr = programHasPcr(ctx, index);
    const std::vector<PesSample> samples = pesSamples(v.pes, kPesWindowSamples);
    drawTimeStamps(video_.curves, samples, videoChecked_, hasPcr);

    // vbv_delay of the latest pictures, oldest first.
    Curve& vbv = video_.curves[static_cast<int>(VideoCurve::VbvDelay)];
    vbv.points.clear();
    vbv.visible = videoChecked_[static_cast<int>(VideoCurve::VbvDelay)];
    const auto vbvCount =
        static_cast<int>(std::min<uint64_t>({v.es.vbvCount, kVbvDelayRingSize, kPesWindowSamples}));
    for (int i = 0; i < vbvCount; ++i) {
        const int slot = ((v.es.vbvIndex - vbvCount + i) % kVbvDelayRingSize + kVbvDelayRingSize) %
                         kVbvDelayRingSize;
        vbv.points.push_back(
            {i, static_cast<double>(v.es.vbvDelayMs[static_cast<std::size_t>(slot)])});
    }

    // The values at the curves' current position: their last sample.
    if (samples.empty()) {
        setFields(static_cast<int>(PesField::VideoDtsPcr),
                  static_cast<int>(PesField::VideoPtsDistance), kNoValue);
    } else {
        const PesSample& s = samples.back();
        fields_[static_cast<int>(PesField::VideoDtsPcr)] = hasPcr ? msText(s.dtsPcrMs) : kNoValue;
        fields_[static_cast<int>(PesField::VideoDtsDistance)] = msText(s.dtsDistanceMs);
        fields_[static_cast<int>(PesField::VideoPtsPcr)] = hasPcr ? msText(s.ptsPcrMs) : kNoValue;
        fields_[static_cast<int>(PesField::VideoPtsDistance)] = msText(s.ptsDistanceMs);
    }
    char buf[48];
    if (vbv.points.empty()) {
        fields_[static_cast<int>(PesField::VbvDelay)] = kNoValue;
    } else {
        std::snprintf(buf, sizeof buf, "%2.2f", vbv.points.back().y);
        fields_[static_cast<int>(PesField::VbvDelay)] = buf;
    }
    const uint64_t bits =
        (uint64_t{v.es.vbvBufferSizeExtension} * 1024u + v.es.vbvBufferSizeValue) * 16384u;
    std::snprintf(buf, sizeof buf, "%" PRIu64 " bits", bits);
    fields_[static_cast<int>(PesField::VbvBufSize)] = buf;
    fields_[static_cast<int>(PesField::Gop)] =
        v.es.lastPictureTallyValid ? pictureTallyText(v.es.lastPictureTally) : kNoValue;
}

void PesPage::drawAudio(const AnalysisContext& ctx) {
    const int index = *selected_;
    const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(index)];
    if (audio_ < 0 || audio_ >= p.audioCount) return;
    const PesTiming& t = p.timing.audio[static_cast<std::size_t>(audio_)].pes;
    const bool hasPcr = programHasPcr(ctx, index);
    const std::vector<PesSample> samples = pesSamples(t, kPesWindowSamples);
    drawTimeStamps(audioGraph_.curves, samples, audioChecked_, hasPcr);
    if (samples.empty()) {
        setFields(static_cast<int>(PesField::AudioDtsPcr),
                  static_cast<int>(PesField::AudioPtsDistance), kNoValue);
        return;
    }
    const PesSample& s = samples.back();
    fields_[static_cast<int>(PesField::AudioDtsPcr)] = hasPcr ? msText(s.dtsPcrMs) : kNoValue;
    fields_[static_cast<int>(PesField::AudioDtsDistance)] = msText(s.dtsDistanceMs);
    fields_[static_cast<int>(PesField::AudioPtsPcr)] = hasPcr ? msText(s.ptsPcrMs) : kNoValue;
    fields_[static_cast<int>(PesField::AudioPtsDistance)] = msText(s.ptsDistanceMs);
}

void PesPage::refresh() {
    bool arm = false;
    {
        const std::lock_guard<std::mutex> lock(ctx_.mutex);
        AnalysisContext& ctx = ctx_;
        if (selector_.empty()) {
            for (const ProgramEntry& p : ctx.programs) {
                char buf[64];
                std::snprintf(buf, sizeof buf, "节目号:0x%04x  PMT_PID:0x%04x", p.programNumber,
                              p.pmtPid);
                selector_.emplace_back(buf);
            }
            arm = ctx.analysisMode == AnalysisMode::Online;
        }
        if (selected_ && *selected_ < ctx.programCount()) {
            const int index = *selected_;
            ProgramEntry& p = ctx.programs[static_cast<std::size_t>(index)];
            if (!hasComponents(p)) {
                setFields(0, kPesFieldCount - 1, kNoValue);
            } else {
                if (videoPids_.empty() && p.video.present)
                    videoPids_.push_back(pidText(p.video.pid));
                if (audioPids_.empty())
                    for (int a = 0; a < p.audioCount && a < kMaxAudioComponents; ++a)
                        audioPids_.push_back(pidText(p.audio[static_cast<std::size_t>(a)].pid));
                char buf[16];
                std::snprintf(buf, sizeof buf, "0x%04x", p.pcrPid);
                fields_[static_cast<int>(PesField::PcrPid)] = buf;

                const bool audioChosen = audio_ >= 0 && audio_ < p.audioCount;
                PesTiming* audio =
                    audioChosen ? &p.timing.audio[static_cast<std::size_t>(audio_)].pes : nullptr;
                PesTiming& video = p.timing.video.pes;
                // The scrambling state of the video component, or of the chosen audio component
                // when the program has no video.
                const PesTiming* shown = p.video.present ? &video : audio;
                if (shown != nullptr && shown->scrambled) {
                    fields_[static_cast<int>(PesField::Scrambling)] = "组件被加扰";
                    setFields(static_cast<int>(PesField::Time), kPesFieldCount - 1, kNoValue);
                } else {
                    fields_[static_cast<int>(PesField::Scrambling)] = "组件未加扰";
                    const PesTiming* estimate = p.video.present ? &video : audio;
                    fields_[static_cast<int>(PesField::Time)] =
                        programHasPcr(ctx, index) && estimate != nullptr
                            ? timeText(estimate->pcrEstimate)
                            : "PCR:0";
                    if (p.video.present && video.hasData && (video_.playing || rebuildVideo_)) {
                        drawVideo(ctx);
                        video.hasData = 0;
                    }
                    if (audio != nullptr && audio->hasData &&
                        (audioGraph_.playing || rebuildAudio_)) {
                        drawAudio(ctx);
                        audio->hasData = 0;
                    }
                }
            }
        }
    }
    if (arm) timers_.arm(timer_, kPesOnlineRefresh, [this] { onTimer(); });
}

void PesPage::selectProgram(int index) {
    {
        const std::lock_guard<std::mutex> lock(ctx_.mutex);
        if (index < 0 || index >= ctx_.programCount()) return;
    }
    // The chosen program's components fill the PID selectors at the next refresh; a replay of
    // the program before is over.
    replay_.rewind();
    if (!online()) {
        video_.playing = false;
        audioGraph_.playing = false;
        timers_.kill(timer_);
    }
    selected_ = index;
    videoPids_.clear();
    audioPids_.clear();
    audio_ = 0;
    for (Curve& c : video_.curves)
        c.points.clear();
    for (Curve& c : audioGraph_.curves)
        c.points.clear();
    setFields(0, kPesFieldCount - 1, "");
}

void PesPage::selectAudio(int entry) {
    if (entry < 0 || entry >= static_cast<int>(audioPids_.size())) return;
    audio_ = entry;
    const std::lock_guard<std::mutex> lock(ctx_.mutex);
    if (!selected_ || *selected_ >= ctx_.programCount()) return;
    const ProgramEntry& p = ctx_.programs[static_cast<std::size_t>(*selected_)];
    if (p.audioCount > 0 && !p.timing.video.pes.scrambled) drawAudio(ctx_);
}

void PesPage::setVideoCurveChecked(VideoCurve c, bool checked) {
    videoChecked_[static_cast<int>(c)] = checked;
    const std::lock_guard<std::mutex> lock(ctx_.mutex);
    if (!selected_ || *selected_ >= ctx_.programCount()) return;
    if (ctx_.programs[static_cast<std::size_t>(*selected_)].video.present) drawVideo(ctx_);
}

void PesPage::setAudioCurveChecked(AudioCurve c, bool checked) {
    audioChecked_[static_cast<int>(c)] = checked;
    const std::lock_guard<std::mutex> lock(ctx_.mutex);
    if (!selected_ || *selected_ >= ctx_.programCount()) return;
    drawAudio(ctx_);
}

void PesPage::play(PesSide side) {
    if (!initDone()) return;
    PesGraph& g = graph(side);
    PesGraph& other = graph(side == PesSide::Video ? PesSide::Audio : PesSide::Video);
    g.playing = true;
    if (online()) {
        refresh();
        return;
    }
    if (!other.playing) {
        if (selected_) replay_.start(file_, *selected_);
        timers_.arm(timer_, kPesReplayRefresh, [this] { onTimer(); });
    }
}

void PesPage::pause(PesSide side) {
    if (!initDone()) return;
    graph(side).playing = false;
    if (!online() && !video_.playing && !audioGraph_.playing) {
        timers_.kill(timer_);
        replay_.stop();
    }
}

void PesPage::onTimer() {
    timers_.kill(timer_);
    refresh();
    if (online()) {
        timers_.arm(timer_, kPesOnlineRefresh, [this] { onTimer(); });
        return;
    }
    if (replay_.finished() || !replay_.running()) {
        pause(PesSide::Video);
        pause(PesSide::Audio);
    } else {
        timers_.arm(timer_, kPesReplayRefresh, [this] { onTimer(); });
    }
}

void PesPage::applyRanges() {
    const double v = applyScaleField(video_.rangeText, kRangeRule);
    video_.scale = {kVideoBottomMs, v, video_.rangeText + "ms", "-200ms"};
    const double a = applyScaleField(audioGraph_.rangeText, kRangeRule);
    audioGraph_.scale = {0, a, audioGraph_.rangeText + "ms", "0 ms"};
}

void PesPage::reset() {
    timers_.kill(timer_);
    replay_.rewind();
    selector_.clear();
    selected_.reset();
    videoPids_.clear();
    audioPids_.clear();
    audio_ = 0;
    setFields(0, kPesFieldCount - 1, "");
    video_.curves = emptyCurves(kVideoCurves);
    audioGraph_.curves = emptyCurves(kAudioCurves);
    video_.playing = audioGraph_.playing = false;
    rebuildVideo_ = rebuildAudio_ = false;
    if (video_.scale.topLabel.empty()) {
        video_.scale = {kVideoBottomMs, 800, "800 ms", "-200ms"};
        audioGraph_.scale = {0, 800, "800 ms", "0 ms"};
    }
}

}  // namespace orv
