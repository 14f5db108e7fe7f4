// Tunes capture card 0 as online analysis does and reads the signal measurements the card gives:
// from the USB box its channel status (lock, C/N, level, error ratio), from the PCI card its raw
// AGC, signal quality and bit error ratio. The values of the QAM status panel, without a run.
#pragma once

#include <optional>

#include "acquisition/interface_settings.h"

namespace orv {

struct SignalReading {
    long initResult = 0;         // ZelInitCard's result
    bool cardFailed = false;     // the card could not be opened, or is busy (-2)
    std::optional<bool> locked;  // CABLE only
    // The USB box's channel status.
    std::optional<float> qualityDb;
    std::optional<float> levelDbuv;
    std::optional<float> errorRatio;
    // The PCI card's registers, raw.
    std::optional<int> agc;
    std::optional<int> signalQuality;
    std::optional<float> ber;
};

// Resets and initialises card 0 with the settings, then measures.
SignalReading probeSignal(const InterfaceSettings& settings);
// Measures again without tuning (the lock state of the USB box is read again; the PCI card's
// stays as its initialisation found it).
void measureSignal(SignalReading& reading);

}  // namespace orv
