// The checks that look at one packet header on its own: sync, transport error indicator,
// scrambling without a CAT, continuity of every tracked PID, unreferenced PIDs and null packets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/analysis_context.h"
#include "engine/packet_header.h"

namespace orv {

// Continuity difference of a packet that was not tested (first packet, no payload, untracked).
inline constexpr int kNoContinuityTest = 16;

// A payload packet that repeats the counter of the one before for the first time: ISO/IEC
// 13818-1 allows a packet to be sent twice.
inline constexpr int kRepeatedPacket = 17;

// The continuity difference d a step returns, taken modulo 16: 1 the next counter; 16 no test;
// 17 a first repeat; 0 the same counter a third time in a row or more (duplicate); -1 and -2 a
// step back by one or two (order); 2..13 packets lost.
inline bool continuityInOrder(int d) {
    return d == 1 || d == kNoContinuityTest || d == kRepeatedPacket;
}

// The packet repeats the one before (same counter): its payload has been used already and is
// not fed to sections, time stamps or buffers again.
inline bool repeatsPayload(int d) {
    return d == kRepeatedPacket || d == 0;
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

// The transport_error_indicator and scrambling checks of a packet that has either flag set.
void checkFlaggedHeader(AnalysisContext& ctx, const uint8_t* packet, const uint8_t* block,
                        std::size_t length, std::size_t pos);

// The per-component bitrates over the last 2000 packets.
void updateComponentRates(AnalysisContext& ctx);

// Transport error indicator and scrambling-without-CAT, then the packet counter and the component
// rate window. `block`/`pos` locate the packet for capture copies.
// Inline: it runs for every packet, and nearly every one has neither flag set.
inline void checkPacketHeader(AnalysisContext& ctx, const uint8_t* packet, const uint8_t* block,
                              std::size_t length, std::size_t pos) {
    if (transportErrorIndicator(packet) || scramblingControl(packet) != 0)
        checkFlaggedHeader(ctx, packet, block, length, pos);

    ++ctx.packetCounter;
    if (ctx.rateWindowCount == kRateWindowPackets) {
        updateComponentRates(ctx);
        ctx.rateWindowCount = 0;
    }
    ++ctx.rateWindowCount;
}

// One continuity step on a tracked record; returns the difference d of this packet.
// baselineOnly: the record only renews its baseline (first packet, or an SI PID whose table model
// has not accepted a table yet). A packet whose adaptation field sets discontinuity_indicator is
// not tested either and starts a new baseline.
// Inline: it runs for nearly every packet.
inline int continuityStep(CcRecord& rec, const uint8_t* packet, bool baselineOnly) {
    int d = kNoContinuityTest;
    const unsigned cc = continuityCounter(packet);
    if (baselineOnly || rec.packetCount == 0 || discontinuityIndicator(packet)) {
        rec.lastCc = static_cast<uint8_t>(cc);
        rec.repeats = 0;
    } else if (hasPayload(packet)) {
        const unsigned step = (cc - rec.lastCc) & 0x0Fu;
        if (step == 0) {
            // A packet may be sent twice; the third arrival in a row is a duplicate.
            if (rec.repeats < 2) ++rec.repeats;
            d = rec.repeats == 1 ? kRepeatedPacket : 0;
        } else {
            rec.repeats = 0;
            d = step >= 14 ? static_cast<int>(step) - 16 : static_cast<int>(step);
        }
        rec.lastCc = static_cast<uint8_t>(cc);
        if (!continuityInOrder(d)) ++rec.errors;
    }
    ++rec.packetCount;
    return d;
}

// The packet-statistics of a program's video PID: scrambled flag, unscrambled count and payload.
// Inline: it runs for every packet of every video PID.
inline void updateVideoPacketStats(VideoComponent& video, const uint8_t* packet) {
    video.scrambled = scramblingControl(packet) != 0;
    if (video.scrambled) return;
    ++video.unscrambledPackets;
    // adaptation_field_control 11 puts the payload after the adaptation field; any other value
    // counts from byte 4. An adaptation field claiming more than the packet adds nothing.
    const unsigned offset =
        adaptationFieldControl(packet) == 3 ? 5u + adaptationFieldLength(packet) : 4u;
    if (offset < kTsPacketSize) video.payloadBytes += kTsPacketSize - offset;
}

// A PID nothing claims, once the initialisation phase is over; returns d for the verdict. PIDs of
// the reserved and DVB SI range are tracked for continuity but never reported.
int unreferencedPidStep(AnalysisContext& ctx, const uint8_t* packet, unsigned pid);

// The continuity verdict at the end of the packet's sequence.
void continuityVerdict(AnalysisContext& ctx, const uint8_t* packet, unsigned pid, int d,
                       const uint8_t* block, std::size_t length, std::size_t pos);

// Hands a copy of the block to the capture sink when the request asks for `trigger`.
void captureBlockIfRequested(AnalysisContext& ctx, int trigger, const uint8_t* block,
                             std::size_t length, std::size_t pos);

}  // namespace orv
