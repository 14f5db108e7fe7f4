#include <chrono>
#include <cstdio>
#include <ostream>
#include <thread>

#include "acquisition/qam_status_panel.h"
#include "acquisition/signal_probe.h"
#include "platform/message.h"
#include "shell/cli/stop_signals.h"
#include "shell/cli/tune_commands.h"

namespace orv::cli {
namespace {

constexpr auto kWatchPeriod = std::chrono::seconds(1);
constexpr auto kPoll = std::chrono::milliseconds(50);

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The panel's fields, then what else the card measured.
void printReading(const SignalOptions& o, const SignalReading& r, std::ostream& out) {
    QamStatusPanel panel;
    QamPanelInputs in;
    in.initDone = true;
    in.analysisMode = AnalysisMode::Online;
    in.settings = o.input;
    in.qualityDb = r.qualityDb;
    in.locked = r.locked;
    panel.refresh(in);
    const bool cable = o.input.inputInterface == InputInterface::Cable;
    out << kPanelInputLabel << panel.input << '\n'
        << kPanelLockLabel << panel.lockState << '\n'
        << kPanelFrequencyLabel << panel.frequency << '\n'
        << kPanelSymbolRateLabel << panel.symbolRate << '\n'
        << kPanelQamLabel << panel.qamMode << '\n'
        << kPanelQualityLabel
        << (cable && r.qualityDb ? formatted("%.1f dB", *r.qualityDb) : std::string(kPanelNone))
        << '\n';
    if (r.levelDbuv) out << "Signal level: " << formatted("%.1f dBuV", *r.levelDbuv) << '\n';
    if (r.errorRatio) out << "Error ratio: " << formatted("%.3e", *r.errorRatio) << '\n';
    if (r.agc) out << "AGC (raw): " << *r.agc << '\n';
    if (r.signalQuality) out << "Signal quality (raw): " << *r.signalQuality << '\n';
    if (r.ber) out << "BER: " << formatted("%.3e", *r.ber) << '\n';
    out << std::flush;
}

int exitCode(const SignalReading& r) {
    return r.locked.value_or(true) ? 0 : 1;
}

}  // namespace

int runSignal(const SignalOptions& o, std::ostream& out) {
    const StopOnSignals signals;
    SignalReading reading = probeSignal(o.input);
    if (reading.cardFailed) {
        showMessage(
            "orv01: card 0 cannot be opened, or it is busy (no capture card, or ORV_SIM_DEVICE "
            "not set)");
        return 2;
    }
    printReading(o, reading, out);
    if (!o.watch) return exitCode(reading);
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now() + kWatchPeriod;
    while (!signals.requested()) {
        if (Clock::now() < next) {
            std::this_thread::sleep_for(kPoll);
            continue;
        }
        next += kWatchPeriod;
        measureSignal(reading);
        out << '\n';
        printReading(o, reading, out);
    }
    return exitCode(reading);
}

}  // namespace orv::cli
