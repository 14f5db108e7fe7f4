#include "presentation/pcr_curve_data.h"

#include "engine/analysis_context.h"

namespace orv {
namespace {

// Lower bounds (ns) of jitter bins 1..22; bin 0 is open below.
constexpr std::array<int32_t, kPcrJitterBins - 1> kJitterLower = {
    -1549, -1349, -1149, -949, -749, -549, -449, -349, -249, -149, -49,
    51,    151,   251,   351,  451,  551,  751,  951,  1151, 1351, 1551};
// Upper bounds (ms) of interval bins 0..13; bin 14 is open above.
constexpr std::array<double, kPcrIntervalBins - 1> kIntervalUpper = {5,  10, 15, 20, 25, 30, 35,
                                                                     40, 50, 60, 70, 80, 90, 100};

bool listed(const ProgramEntry& p) {
    return p.pmtReceived && (p.video.present || p.componentCount > 0);
}

bool holdsPcr(const PcrTrack& t) {
    for (const int64_t v : t.pcr)
        if (v > 0) return true;
    return false;
}

}  // namespace

std::array<PcrSlot, kPcrRingSize> pcrRingInTimeOrder(const PcrTrack& t) {
    std::array<PcrSlot, kPcrRingSize> out{};
    // A ring index past the last slot means the ring was just filled: slot 0 is the oldest.
    const int start = t.ringIndex >= 0 && t.ringIndex < kPcrRingSize ? t.ringIndex : 0;
    for (int i = 0; i < kPcrRingSize; ++i) {
        const int s = (start + i) % kPcrRingSize;
        out[i] = {t.pcr[s], t.position[s], t.jitterNs[s], t.intervalMs[s], t.discontinuity[s]};
    }
    return out;
}

int histogramPercent(uint64_t count, uint64_t samples) {
    if (samples == 0) return 0;
    const double share = static_cast<double>(count) * 100.0 / static_cast<double>(samples);
    if (share > 0.5 && share < 2.0) return 2;
    return static_cast<int>(share);
}

std::optional<PcrCurveData> pcrCurveData(const AnalysisContext& ctx, int programIndex) {
    if (programIndex < 0 || programIndex >= ctx.programCount() ||
        programIndex >= static_cast<int>(ctx.timing.pcrTracks.size()))
        return std::nullopt;
    const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(programIndex)];
    const PcrTrack& t = ctx.timing.pcrTracks[static_cast<std::size_t>(programIndex)];
    if (!listed(p) || !holdsPcr(t)) return std::nullopt;

    PcrCurveData d;
    d.programIndex = programIndex;
    d.programNumber = p.programNumber;
    d.pmtPid = p.pmtPid;
    d.pcrPid = t.pcrPid != 0 ? t.pcrPid : p.pcrPid;
    d.statistics = {t.currentJitterNs,   t.largestJitterNs,   t.smallestJitterNs,
                    t.currentIntervalMs, t.longestIntervalMs, t.shortestIntervalMs};
    for (const PcrSlot& s : pcrRingInTimeOrder(t)) {
        if (s.pcr <= 0) continue;
        d.samples.push_back({s.packet, s.pcr, s.jitterNs, s.intervalMs, s.discontinuity != 0});
    }
    d.histogramSamples = t.jitterSamples;
    d.jitterCounts = t.jitterHistogram;
    d.intervalCounts = t.intervalHistogram;
    for (int i = 0; i < kPcrJitterBins; ++i)
        d.jitterPercent[i] = histogramPercent(t.jitterHistogram[i], t.jitterSamples);
    for (int i = 0; i < kPcrIntervalBins; ++i)
        d.intervalPercent[i] = histogramPercent(t.intervalHistogram[i], t.jitterSamples);
    return d;
}

std::vector<PcrCurveData> pcrCurveData(const AnalysisContext& ctx) {
    std::vector<PcrCurveData> out;
    for (int i = 0; i < ctx.programCount(); ++i)
        if (auto d = pcrCurveData(ctx, i)) out.push_back(std::move(*d));
    return out;
}

std::optional<int32_t> jitterBinFrom(int bin) {
    if (bin <= 0 || bin >= kPcrJitterBins) return std::nullopt;
    return kJitterLower[static_cast<std::size_t>(bin - 1)];
}

std::optional<int32_t> jitterBinTo(int bin) {
    if (bin < 0 || bin >= kPcrJitterBins - 1) return std::nullopt;
    return kJitterLower[static_cast<std::size_t>(bin)] - 1;
}

double intervalBinAbove(int bin) {
    return bin <= 0 || bin >= kPcrIntervalBins ? 0.0
                                               : kIntervalUpper[static_cast<std::size_t>(bin - 1)];
}

std::optional<double> intervalBinUpTo(int bin) {
    if (bin < 0 || bin >= kPcrIntervalBins - 1) return std::nullopt;
    return kIntervalUpper[static_cast<std::size_t>(bin)];
}

}  // namespace orv
