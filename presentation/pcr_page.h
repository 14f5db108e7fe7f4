// The PCR analysis page ("PCR分析") without its window: the statistics list of the programs that
// carry PCRs, the program selector, the chosen program's text fields, the jitter and interval
// curves over a window of 100 of the 300 stored samples with its scroll, the two histograms, the
// scale fields, and in offline analysis the replay of the chosen program from the analysed file.
// A GUI draws this model and forwards its controls; every operation takes ctx.mutex itself, so
// call them on the page's thread (the timer service's) without holding it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/analysis_context.h"
#include "platform/timer_service.h"
#include "platform/wait_clock.h"
#include "presentation/pcr_curve_data.h"
#include "presentation/timing_curve.h"
#include "presentation/timing_replay.h"

namespace orv {

// The page's own timer on the front end's timer service.
inline constexpr TimerService::TimerId kPcrPageTimer = 1410;
inline constexpr std::chrono::milliseconds kPcrOnlineRefresh{600};
inline constexpr std::chrono::milliseconds kPcrReplayFirstRefresh{100};
inline constexpr std::chrono::milliseconds kPcrReplayRefresh{300};

inline constexpr int kPcrWindowSamples = 100;
inline constexpr int kPcrMaxShift = 10;

struct ListColumn {
    std::string_view title;
    int width;  // pixels
};
inline constexpr std::array<ListColumn, 8> kPcrListColumns = {{
    {"节目号", 110},
    {"PCR_PID", 110},
    {"当前抖动(ns)", 100},
    {"最大抖动(ns)", 100},
    {"最小抖动(ns)", 100},
    {"当前间隔(ms)", 100},
    {"最大间隔(ms)", 100},
    {"最小间隔(ms)", 100},
}};

using PcrListRow = std::array<std::string, kPcrListColumns.size()>;

// The eight text fields of the chosen program.
enum class PcrField {
    Pcr,
    ReferenceClock,
    CurrentJitter,
    LargestJitter,
    SmallestJitter,
    CurrentInterval,
    LongestInterval,
    ShortestInterval,
};
inline constexpr int kPcrFieldCount = 8;

enum class PcrDisplayMode { Curves, Histograms };

struct PcrButtons {
    bool play = true, pause = false, back = false, forward = false;
};

// The scale edit fields as typed.
struct PcrScaleTexts {
    std::string jitterRange = "1000";       // ns
    std::string observationPoints = "100";  // samples
    std::string intervalMax = "1000";       // ms
    std::string intervalMin = "0";          // ms
};

class PcrPage {
  public:
    PcrPage(AnalysisContext& ctx, TimerService& timers, WaitClock& waits,
            TimerService::TimerId timer = kPcrPageTimer);
    ~PcrPage();
    PcrPage(const PcrPage&) = delete;
    PcrPage& operator=(const PcrPage&) = delete;

    // The file the offline run analysed (replay source).
    void setReplayFile(ReplayFile file) { file_ = std::move(file); }

    // --- Hooks and controls ---
    void refresh();
    void selectProgram(int programIndex);
    void play();
    void pause();
    void scrollBack();      // "<<"
    void scrollForward();   // ">>"
    void showHistograms();  // "显示分布范围"
    void showCurves();      // "显示数值曲线"
    PcrScaleTexts& scaleTexts() { return scales_; }
    void applyScales();  // the page's OK action
    void reset();

    // --- What the page shows ---
    const std::vector<std::string>& selectorEntries() const { return selector_; }
    std::optional<int> selectedProgram() const { return selected_; }
    const std::vector<PcrListRow>& listRows() const { return rows_; }
    const std::string& field(PcrField f) const { return fields_[static_cast<int>(f)]; }
    PcrDisplayMode mode() const { return mode_; }
    int shift() const { return shift_; }
    int windowStart() const { return kPcrWindowSamples + 10 * shift_; }
    const Curve& jitterCurve() const { return jitterCurve_; }
    const Curve& intervalCurve() const { return intervalCurve_; }
    const CurveScale& jitterScale() const { return jitterScale_; }
    const CurveScale& intervalScale() const { return intervalScale_; }
    int observationPoints() const { return observationPoints_; }
    const std::array<int, kPcrJitterBins>& jitterBars() const { return jitterBars_; }
    const std::array<int, kPcrIntervalBins>& intervalBars() const { return intervalBars_; }
    const PcrButtons& buttons() const { return buttons_; }
    // The page's copies of the chosen program's rings, oldest first.
    const std::array<PcrSlot, kPcrRingSize>& copies() const { return copies_; }
    bool replayRunning() const { return replay_.running(); }
    bool replayFinished() const { return replay_.finished(); }

  private:
    void onTimer();
    void fillSelector(const AnalysisContext& ctx);
    void updateList(const AnalysisContext& ctx);
    void drawCurves();
    void setFields(std::string_view text);
    void trackFields(const PcrTrack& t);
    void drawHistograms(const AnalysisContext& ctx);
    bool online() const;

    AnalysisContext& ctx_;
    TimerService& timers_;
    TimerService::TimerId timer_;
    TimingReplay replay_;
    ReplayFile file_;

    std::vector<std::string> selector_;
    std::optional<int> selected_;
    std::vector<PcrListRow> rows_;
    std::array<std::string, kPcrFieldCount> fields_;
    PcrDisplayMode mode_ = PcrDisplayMode::Curves;
    int shift_ = 0;
    std::array<PcrSlot, kPcrRingSize> copies_{};
    Curve jitterCurve_, intervalCurve_;
    // Index in the window of the last point drawn; none when the window holds no PCR.
    std::optional<int> position_;
    PcrScaleTexts scales_;
    CurveScale jitterScale_{-1000, 1000, "1000", "-1000"};
    CurveScale intervalScale_{0, 1000, "1000", "0"};
    int observationPoints_ = 100;
    std::array<int, kPcrJitterBins> jitterBars_{};
    std::array<int, kPcrIntervalBins> intervalBars_{};
    PcrButtons buttons_;
};

}  // namespace orv
