#include "presentation/pes_curve_data.h"

#include <algorithm>
#include <cstdio>

#include "engine/analysis_context.h"

namespace orv {
namespace {

PesCurveData base(const AnalysisContext& ctx, int index, const PesTiming& t) {
    const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(index)];
    PesCurveData d;
    d.programIndex = index;
    d.programNumber = p.programNumber;
    d.pcrPid = p.pcrPid;
    d.hasPcr = programHasPcr(ctx, index);
    d.scrambled = t.scrambled;
    d.header = t.header;
    d.pcrEstimate = t.pcrEstimate;
    d.samples = pesSamples(t);
    return d;
}

std::vector<double> vbvDelays(const VideoEsFields& es) {
    const auto n = static_cast<int>(std::min<uint64_t>(es.vbvCount, kVbvDelayRingSize));
    const int next = es.vbvIndex >= 0 && es.vbvIndex <= kVbvDelayRingSize ? es.vbvIndex : 0;
    std::vector<double> out;
    out.reserve(static_cast<std::size_t>(n));
    for (int i = n; i > 0; --i)
        out.push_back(es.vbvDelayMs[static_cast<std::size_t>(
            ((next - i) % kVbvDelayRingSize + kVbvDelayRingSize) % kVbvDelayRingSize)]);
    return out;
}

}  // namespace

std::vector<PesSample> pesSamples(const PesTiming& t, std::size_t limit) {
    const auto n = static_cast<int>(
        std::min<uint64_t>({t.measured, static_cast<uint64_t>(kPesRingSize), limit}));
    std::vector<PesSample> out;
    out.reserve(static_cast<std::size_t>(n));
    const int newest = t.newestSlot();
    for (int i = n - 1; i >= 0; --i) {
        const auto s =
            static_cast<std::size_t>(((newest - i) % kPesRingSize + kPesRingSize) % kPesRingSize);
        out.push_back({t.ptsDistanceMs[s], t.dtsDistanceMs[s], t.ptsPcrMs[s], t.dtsPcrMs[s]});
    }
    return out;
}

bool programHasPcr(const AnalysisContext& ctx, int programIndex) {
    if (programIndex < 0 || programIndex >= static_cast<int>(ctx.timing.pcrTracks.size()))
        return false;
    const PcrTrack& t = ctx.timing.pcrTracks[static_cast<std::size_t>(programIndex)];
    return t.pcr[static_cast<std::size_t>(t.latestSlot())] > 0;
}

std::vector<PesCurveData> pesCurveData(const AnalysisContext& ctx, int index) {
    std::vector<PesCurveData> out;
    if (index < 0 || index >= ctx.programCount()) return out;
    const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(index)];
    if (p.video.present) {
        const VideoTiming& v = p.timing.video;
        PesCurveData d = base(ctx, index, v.pes);
        d.pid = p.video.pid;
        d.video = true;
        d.vbvDelayMs = vbvDelays(v.es);
        if (v.es.sequenceHeaderSeen || v.es.vbvBufferSizeValue != 0)
            d.vbvBufferSizeBits =
                (uint64_t{v.es.vbvBufferSizeExtension} * 1024u + v.es.vbvBufferSizeValue) * 16384u;
        if (v.es.lastPictureTallyValid) d.pictureTally = v.es.lastPictureTally;
        out.push_back(std::move(d));
    }
    for (int a = 0; a < p.audioCount && a < kMaxAudioComponents; ++a) {
        PesCurveData d = base(ctx, index, p.timing.audio[static_cast<std::size_t>(a)].pes);
        d.pid = p.audio[static_cast<std::size_t>(a)].pid;
        d.component = a;
        out.push_back(std::move(d));
    }
    return out;
}

std::vector<PesCurveData> pesCurveData(const AnalysisContext& ctx) {
    std::vector<PesCurveData> out;
    for (int i = 0; i < ctx.programCount(); ++i)
        for (PesCurveData& d : pesCurveData(ctx, i))
            out.push_back(std::move(d));
    return out;
}

std::string pictureTallyText(const std::array<uint32_t, 3>& tally) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u : %u :%u", tally[0], tally[1], tally[2]);
    return buf;
}

}  // namespace orv
