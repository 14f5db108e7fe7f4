#include "acquisition/stream_bitrate.h"

#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_walk.h"
#include "engine/packet_header.h"
#include "engine/pcr_analysis.h"

namespace orv {
namespace {

// Packets and PCR ticks summed over the pairs of consecutive PCRs that time the stream.
struct Span {
    uint64_t packets = 0;
    int64_t ticks = 0;

    void add(uint64_t p, int64_t t) {
        packets += p;
        ticks += t;
    }
};

// What the walk keeps per program (used only for the first program of each PCR PID).
struct PcrFollow {
    int64_t lastPcr = -1;  // none yet
    uint64_t lastPosition = 0;
    bool newTimeBase = false;  // a discontinuity_indicator was seen since the last PCR
    Span close;                // pairs at most 100 ms apart
    Span any;                  // every forward pair
};

struct BitrateWalk {
    AnalysisContext& ctx;
    std::vector<PcrFollow>& follow;

    void syncByteError(std::size_t) {}
    void syncLoss(std::size_t, bool) {}

    WalkStep packet(const uint8_t* p, std::size_t) {
        ++ctx.packetCounter;
        const unsigned pid = packetPid(p);
        for (std::size_t i = 0; i < ctx.programs.size(); ++i) {
            const ProgramEntry& prog = ctx.programs[i];
            // 0 is no PCR PID, and 0x1FFF says the program has no PCR.
            if (prog.pcrPid == 0 || prog.pcrPid == kPidNull || prog.pcrPid != pid) continue;
            take(follow[i], p);
            break;  // only the first program with this PCR PID
        }
        return WalkStep::Continue;
    }

    void take(PcrFollow& f, const uint8_t* p) {
        if (discontinuityIndicator(p)) f.newTimeBase = true;
        const int64_t pcr = packetPcr(p);
        if (pcr < 0) return;
        if (f.lastPcr >= 0 && !f.newTimeBase) {
            const int64_t ticks = pcrDifference(pcr, f.lastPcr);
            const uint64_t packets = ctx.packetCounter - f.lastPosition;
            if (ticks > 0) {
                f.any.add(packets, ticks);
                if (ticks <= kPcrDiscontinuityTicks) f.close.add(packets, ticks);
                moveExtremes(rateOf(packets, ticks));
            }
        }
        f.lastPcr = pcr;
        f.lastPosition = ctx.packetCounter;
        f.newTimeBase = false;
    }

    double rateOf(uint64_t packets, int64_t ticks) const {
        // bits x 27 / ticks is bits per microsecond: Mbit/s.
        return static_cast<double>(packets) * ctx.packetLength * 8.0 * 27.0 /
               static_cast<double>(ticks);
    }

    // Only plausible rates move the extremes.
    void moveExtremes(double rate) {
        if (!(rate > 1.0)) return;
        BitrateMbps& b = ctx.streamBitrate;
        if (!(b.max > 0.0) || b.max < rate) b.max = rate;
        if (!(b.min > 0.0) || b.min > rate) b.min = rate;
    }
};

// The span that times the stream: the longest of the close spans, or of every forward span when
// no PID has a close pair.
const Span* timingSpan(const std::vector<PcrFollow>& follow) {
    const Span* best = nullptr;
    for (const PcrFollow& f : follow)
        if (f.close.packets > 0 && (best == nullptr || f.close.packets > best->packets))
            best = &f.close;
    if (best != nullptr) return best;
    for (const PcrFollow& f : follow)
        if (f.any.packets > 0 && (best == nullptr || f.any.packets > best->packets)) best = &f.any;
    return best;
}

}  // namespace

void measureStreamBitrate(AnalysisContext& ctx, const uint8_t* block, std::size_t length) {
    if (block == nullptr || length == 0) return;
    std::vector<PcrFollow> follow(ctx.programs.size());
    BitrateWalk walk{ctx, follow};
    walkBlock(block, length, static_cast<std::size_t>(ctx.packetLength), false, walk);
    const Span* span = timingSpan(follow);
    if (span == nullptr) return;
    const double rate = walk.rateOf(span->packets, span->ticks);
    ctx.streamBitrate.current = rate;
    ctx.streamBitrate.mean = rate;
}

}  // namespace orv
