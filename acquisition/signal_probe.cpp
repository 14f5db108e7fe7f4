#include "acquisition/signal_probe.h"

#include "cardlib/zelcard.h"

namespace orv {
namespace {

constexpr unsigned kCard = 0;
constexpr unsigned long kRateWord = 6000000;

}  // namespace

SignalReading probeSignal(const InterfaceSettings& settings) {
    SignalReading r;
    const auto input = static_cast<unsigned>(settings.inputInterface);
    ZelResetCard(kCard);
    r.initResult = ZelInitCard(input, 0, 0, input + 1, kRateWord,
                               static_cast<unsigned long>(settings.cableFrequencyKHz),
                               static_cast<unsigned long>(settings.cableSymbolRateK),
                               static_cast<unsigned>(settings.cableQamIndex), kCard);
    r.cardFailed = r.initResult == -2;
    if (r.cardFailed) return r;
    if (settings.inputInterface == InputInterface::Cable) r.locked = r.initResult == 0;
    measureSignal(r);
    return r;
}

void measureSignal(SignalReading& r) {
    if (r.cardFailed) return;
    CurChannelParameter p{};
    const long channel = ZelGetQAM_CurChannelParameter(&p, kCard);
    if (channel == 0) {
        if (r.locked) r.locked = p.tunerLocked != 0 && p.carrierLocked != 0 && p.frameLocked != 0;
        r.qualityDb = p.qualityDb;
        r.levelDbuv = p.levelDbuv;
        r.errorRatio = p.errorRatio;
        return;
    }
    int agc = 0;
    int quality = 0;
    float ber = 0.0f;
    if (ZelGetQAM_AGC(&agc, kCard) == 0) r.agc = agc;
    if (ZelGetQAM_SignalQuality(&quality, kCard) == 0) r.signalQuality = quality;
    if (ZelGetQAM_BER(&ber, kCard) == 0) r.ber = ber;
}

}  // namespace orv
