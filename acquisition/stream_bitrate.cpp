#include "acquisition/stream_bitrate.h"

#include "engine/analysis_context.h"
#include "engine/block_walk.h"
#include "engine/packet_header.h"
#include "engine/pcr_analysis.h"

namespace orv {
namespace {

struct BitrateWalk {
    AnalysisContext& ctx;

    void syncByteError(std::size_t) {}
    void syncLoss(std::size_t, bool) {}

    WalkStep packet(const uint8_t* p, std::size_t) {
        ++ctx.packetCounter;
        const unsigned pid = packetPid(p);
        std::vector<PcrTrack>& tracks = ctx.timing.pcrTracks;
        for (std::size_t i = 0; i < ctx.programs.size() && i < tracks.size(); ++i) {
            const ProgramEntry& prog = ctx.programs[i];
            if (prog.pcrPid == 0 || prog.pcrPid != pid) continue;
            const int64_t pcr = packetPcr(p);
            if (pcr >= 0) store(tracks[i], pcr);
            break;  // only the first program with this PCR PID
        }
        return WalkStep::Continue;
    }

    void store(PcrTrack& t, int64_t pcr) {
        const int slot = t.ringIndex >= 0 && t.ringIndex < kPcrRingSize ? t.ringIndex : 0;
        t.pcr[slot] = pcr;
        t.position[slot] = ctx.packetCounter;
        const int previous = slot == 0 ? kPcrRingSize - 1 : slot - 1;
        if (t.pcr[previous] > 0) {
            const double ms = static_cast<double>(pcr - t.pcr[previous]) / 27000.0;
            const double packets = static_cast<double>(ctx.packetCounter - t.position[previous]);
            // Two PCRs with the same value cannot time anything; leave the rate as it was.
            if (ms != 0.0) update(packets / ms * ctx.packetLength * 0.008);
        }
        t.ringIndex = slot + 1 == kPcrRingSize ? 0 : slot + 1;
    }

    // The current value follows every pair; only plausible rates move the extremes and the mean.
    void update(double rate) {
        BitrateMbps& b = ctx.streamBitrate;
        b.current = rate;
        if (!(rate > 1.0)) return;
        if (!(b.max > 0.0) || b.max < rate) b.max = rate;
        if (!(b.min > 0.0) || b.min > rate) b.min = rate;
        b.mean = b.mean > 0.0 ? (b.max + b.mean + b.min + rate) / 4.0 : rate;
    }
};

}  // namespace

void measureStreamBitrate(AnalysisContext& ctx, const uint8_t* block, std::size_t length) {
    if (block == nullptr || length == 0) return;
    walkBlock(block, length, static_cast<std::size_t>(ctx.packetLength), false, BitrateWalk{ctx});
}

}  // namespace orv
