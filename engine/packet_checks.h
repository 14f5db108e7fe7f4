// The checks that look at one packet header on its own: sync, transport error indicator,
// scrambling without a CAT, continuity of every tracked PID, unreferenced PIDs and null packets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/analysis_context.h"

namespace orv {

// Continuity difference of a packet that was not tested (first packet, no payload, untracked).
inline constexpr int kNoContinuityTest = 16;

// 1 is the next counter, -15 the wrap from 15 to 0, 16 no test. The difference is deliberately not
// taken modulo 16: a loss across the wrap (14 then 1) reads as an order error.
inline bool continuityInOrder(int d) {
    return d == 1 || d == -15 || d == kNoContinuityTest;
}

// True when the kind's switch is on and the counter in `slot` is below the cap.
inline bool mayLog(const AnalysisContext& ctx, Tr290ErrorKind kind, int slot = 0) {
    return ctx.enabled(kind) && ctx.log.kindCount.at(kind, slot) < kEventCap;
}

// A single damaged sync byte at `pos`; the block driver abandons the rest of the block.
void onSyncByteError(AnalysisContext& ctx, const uint8_t* block, std::size_t length,
                     std::size_t pos);
// Sync was lost at `pos`; logged whether or not the search regained it.
void onSyncLoss(AnalysisContext& ctx, const uint8_t* block, std::size_t length, std::size_t pos);

// Transport error indicator and scrambling-without-CAT, then the packet counter and the component
// rate window. `block`/`pos` locate the packet for capture copies.
void checkPacketHeader(AnalysisContext& ctx, const uint8_t* packet, const uint8_t* block,
                       std::size_t length, std::size_t pos);

// One continuity step on a tracked record; returns the difference d of this packet.
// baselineOnly: the record only renews its baseline (first packet, or an SI PID whose table model
// has not accepted a table yet).
int continuityStep(CcRecord& rec, const uint8_t* packet, bool baselineOnly);

// The packet-statistics of a program's video PID: scrambled flag, unscrambled count and payload.
void updateVideoPacketStats(VideoComponent& video, const uint8_t* packet);

// A PID nothing claims, once the initialisation phase is over; returns d for the verdict.
int unreferencedPidStep(AnalysisContext& ctx, const uint8_t* packet, unsigned pid);

// The continuity verdict at the end of the packet's sequence.
void continuityVerdict(AnalysisContext& ctx, const uint8_t* packet, unsigned pid, int d,
                       const uint8_t* block, std::size_t length, std::size_t pos);

// The per-component bitrates over the last 2000 packets.
void updateComponentRates(AnalysisContext& ctx);

// Hands a copy of the block to the capture sink when the request asks for `trigger`.
void captureBlockIfRequested(AnalysisContext& ctx, int trigger, const uint8_t* block,
                             std::size_t length, std::size_t pos);

}  // namespace orv
