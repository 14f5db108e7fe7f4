// Per-component bitrates, measured over windows of 2000 packets at the current stream bitrate.
#include "engine/packet_checks.h"

namespace orv {
namespace {

float windowRate(const RateTrack& r, uint64_t count, double streamMbps) {
    return static_cast<float>(static_cast<double>(count - r.windowStartCount) / kRateWindowPackets *
                              streamMbps);
}

}  // namespace

void updateComponentRates(AnalysisContext& ctx) {
    const double mbps = ctx.streamBitrate.current;
    for (ProgramEntry& prog : ctx.programs) {
        if (!prog.pmtReceived) continue;
        if (prog.video.present) {
            RateTrack& r = prog.video.rate;
            const uint64_t count = prog.video.cc.packetCount;
            r.rate = windowRate(r, count, mbps);
            if (r.maxRate == 0.f) {
                r.maxRate = r.minRate = r.rate;
            } else {
                if (r.rate > r.maxRate) r.maxRate = r.rate;
                if (r.rate < r.minRate) r.minRate = r.rate;  // a silent window may be the minimum
            }
            r.windowStartCount = count;
        }
        for (int i = 0; i < prog.audioCount; ++i) {
            AudioComponent& a = prog.audio[i];
            RateTrack& r = a.rate;
            const uint64_t count = a.cc.packetCount;
            r.rate = windowRate(r, count, mbps);
            if (r.maxRate == 0.f) {
                r.maxRate = r.minRate = r.rate;
            } else {
                if (r.rate > r.maxRate) r.maxRate = r.rate;
                if (r.rate < r.minRate && r.rate > 0.f) r.minRate = r.rate;
            }
            r.windowStartCount = count;
        }
    }
    ctx.rateWindowCount = 0;
}

}  // namespace orv
