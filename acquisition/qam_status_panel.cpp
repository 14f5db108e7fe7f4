#include "acquisition/qam_status_panel.h"

#include <algorithm>
#include <cmath>

namespace orv {
namespace {

constexpr int kQualityBarMax = 4500;  // 0 to 45 dB in hundredths

}  // namespace

void QamStatusPanel::refresh(const QamPanelInputs& in) {
    if (!in.initDone) return;
    *this = {};
    if (in.analysisMode != AnalysisMode::Online) return;
    if (in.settings.inputInterface != InputInterface::Cable) {
        input = kPanelAsi;
        return;
    }
    input = kPanelCable;
    lockState = in.locked.value_or(true) ? kPanelLocked : kPanelNotLocked;
    frequency = std::to_string(in.settings.cableFrequencyKHz) + " kHz";
    symbolRate = std::to_string(in.settings.cableSymbolRateK) + " kbaud";
    const int q = in.settings.cableQamIndex;
    qamMode = q >= 0 && q < 5 ? std::string(kQamModeNames[static_cast<std::size_t>(q)])
                              : std::string(kPanelNone);
    barMax = kQualityBarMax;
    barPosition = 0;
    // A figure the conversion could not make (-1.0) or one beyond the bar stays on the bar.
    if (in.qualityDb && std::isfinite(*in.qualityDb)) {
        const double hundredths = std::clamp(double(*in.qualityDb) * 100.0, 0.0, double(barMax));
        barPosition = static_cast<int>(hundredths);
    }
}

}  // namespace orv
