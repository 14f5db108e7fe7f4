// The PES analysis page ("PES分析") without its window: for the chosen program, the curves of its
// video component's DTS-PCR, DTS distance, PTS-PCR, PTS distance and vbv_delay and of the chosen
// audio component's four delays and distances over the last 100 PES headers, the values at the
// curves' current position, the scrambling state and time, and in offline analysis the replay of
// the program from the analysed file. Curves hold the values in ms as measured. A GUI draws this
// model and forwards its controls; every operation takes ctx.mutex itself, so call them on the
// page's thread (the timer service's) without holding it.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "platform/timer_service.h"
#include "platform/wait_clock.h"
#include "presentation/pes_curve_data.h"
#include "presentation/timing_curve.h"
#include "presentation/timing_replay.h"

namespace orv {

inline constexpr TimerService::TimerId kPesPageTimer = 1710;
inline constexpr std::chrono::milliseconds kPesOnlineRefresh{600};
inline constexpr std::chrono::milliseconds kPesReplayRefresh{300};
inline constexpr std::size_t kPesWindowSamples = 100;

// The curves, in the order of their check boxes.
enum class VideoCurve { DtsPcr, DtsDistance, PtsPcr, PtsDistance, VbvDelay };
enum class AudioCurve { DtsPcr, DtsDistance, PtsPcr, PtsDistance };
inline constexpr int kVideoCurves = 5;
inline constexpr int kAudioCurves = 4;

enum class PesField {
    PcrPid,            // "PCR_PID ："
    Scrambling,        // "加扰状态:"
    Time,              // "时间："
    VideoDtsPcr,       // "视频DTS-PCR："
    VideoDtsDistance,  // "视频DTS间隔："
    VideoPtsPcr,       // "视频PTS-PCR："
    VideoPtsDistance,  // "视频PTS间隔："
    VbvDelay,          // "VbvDelay："
    VbvBufSize,        // "VbvBufSize："
    Gop,               // "I:B:P/GOP："
    AudioDtsPcr,       // "音频DTS-PCR："
    AudioDtsDistance,  // "音频DTS间隔："
    AudioPtsPcr,       // "音频PTS-PCR："
    AudioPtsDistance,  // "音频PTS间隔："
};
inline constexpr int kPesFieldCount = 14;

enum class PesSide { Video, Audio };

struct PesGraph {
    std::vector<Curve> curves;
    CurveScale scale;  // ms
    std::string rangeText = "800";
    bool playing = false;
};

class PesPage {
  public:
    PesPage(AnalysisContext& ctx, TimerService& timers, WaitClock& waits,
            TimerService::TimerId timer = kPesPageTimer);
    ~PesPage();
    PesPage(const PesPage&) = delete;
    PesPage& operator=(const PesPage&) = delete;

    void setReplayFile(ReplayFile file) { file_ = std::move(file); }

    // --- Hooks and controls ---
    void refresh();
    void selectProgram(int programIndex);
    void selectAudio(int entry);  // an entry of the audio PID selector
    void setVideoCurveChecked(VideoCurve c, bool checked);
    void setAudioCurveChecked(AudioCurve c, bool checked);
    void play(PesSide side);
    void pause(PesSide side);
    std::string& rangeText(PesSide side) { return graph(side).rangeText; }
    void applyRanges();  // the page's OK action
    void reset();
    // The two rebuild flags of the offline source's rebuild after the main pass: while a side's
    // flag is set, refresh draws that side's curves even when the side is paused. The window
    // clears both when the page is shown.
    void setRebuildFlags(bool video, bool audio) {
        rebuildVideo_ = video;
        rebuildAudio_ = audio;
    }
    bool rebuildVideo() const { return rebuildVideo_; }
    bool rebuildAudio() const { return rebuildAudio_; }

    // --- What the page shows ---
    const std::vector<std::string>& selectorEntries() const { return selector_; }
    std::optional<int> selectedProgram() const { return selected_; }
    const std::vector<std::string>& videoPidEntries() const { return videoPids_; }
    const std::vector<std::string>& audioPidEntries() const { return audioPids_; }
    int audioEntry() const { return audio_; }
    const std::string& field(PesField f) const { return fields_[static_cast<int>(f)]; }
    const PesGraph& videoGraph() const { return video_; }
    const PesGraph& audioGraph() const { return audioGraph_; }
    const Curve& curve(VideoCurve c) const { return video_.curves[static_cast<int>(c)]; }
    const Curve& curve(AudioCurve c) const { return audioGraph_.curves[static_cast<int>(c)]; }
    bool playing(PesSide side) const { return graph(side).playing; }
    bool replayRunning() const { return replay_.running(); }

  private:
    PesGraph& graph(PesSide s) { return s == PesSide::Video ? video_ : audioGraph_; }
    const PesGraph& graph(PesSide s) const { return s == PesSide::Video ? video_ : audioGraph_; }
    void onTimer();
    bool online() const;
    bool initDone() const;
    // ctx.mutex held by the callers below.
    void drawVideo(const AnalysisContext& ctx);
    void drawAudio(const AnalysisContext& ctx);
    void setFields(int from, int to, const std::string& text);

    AnalysisContext& ctx_;
    TimerService& timers_;
    TimerService::TimerId timer_;
    TimingReplay replay_;
    ReplayFile file_;

    std::vector<std::string> selector_;
    std::optional<int> selected_;
    std::vector<std::string> videoPids_, audioPids_;
    int audio_ = 0;
    std::array<std::string, kPesFieldCount> fields_;
    std::array<bool, kVideoCurves> videoChecked_{true, true, true, true, true};
    std::array<bool, kAudioCurves> audioChecked_{true, true, true, true};
    PesGraph video_, audioGraph_;
    bool rebuildVideo_ = false, rebuildAudio_ = false;
};

}  // namespace orv
