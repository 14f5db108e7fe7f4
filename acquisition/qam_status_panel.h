// The QAM status panel of the results pages without its window: the input, lock state, frequency,
// symbol rate and QAM mode of the run, and the carrier-to-noise bar (载噪比) from the quality
// figure of the last QAM information record. It refreshes when shown and then every 5 s.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/interface_settings.h"
#include "engine/analysis_context.h"

namespace orv {

inline constexpr std::chrono::milliseconds kQamPanelPeriod{5000};
inline constexpr std::string_view kPanelNone = " - ";
inline constexpr std::string_view kPanelAsi = "ASI 输入";
inline constexpr std::string_view kPanelCable = "CABLE 输入";
inline constexpr std::string_view kPanelLocked = "锁定";
// Shown only when the lock is known to be lost (a probe of the card said so); a run that was set
// up on the CABLE input was locked when it started and shows "锁定".
inline constexpr std::string_view kPanelNotLocked = "未锁定";

// Labels of the panel's fields, in order.
inline constexpr std::string_view kPanelInputLabel = "输入接口：";
inline constexpr std::string_view kPanelLockLabel = "锁定状态：";
inline constexpr std::string_view kPanelFrequencyLabel = "下行频率：";
inline constexpr std::string_view kPanelSymbolRateLabel = "符号率：";
inline constexpr std::string_view kPanelQamLabel = "调制模式：";
inline constexpr std::string_view kPanelQualityLabel = "载噪比：";

// What a refresh reads.
struct QamPanelInputs {
    bool initDone = false;
    AnalysisMode analysisMode = AnalysisMode::Idle;
    InterfaceSettings settings;
    std::optional<float> qualityDb;  // of the last QAM information record, when one came
    std::optional<bool> locked;      // known lock state; unknown reads as locked (see above)
};

struct QamStatusPanel {
    std::string input{kPanelNone};
    std::string lockState{kPanelNone};
    std::string frequency{kPanelNone};
    std::string symbolRate{kPanelNone};
    std::string qamMode{kPanelNone};
    int barMax = 1000;
    int barPosition = 0;

    // One refresh; nothing changes until the initialisation phase of the run has ended.
    void refresh(const QamPanelInputs& in);
};

}  // namespace orv
