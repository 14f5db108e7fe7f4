#include "engine/packet_checks.h"

#include "engine/packet_header.h"

namespace orv {

void captureBlockIfRequested(AnalysisContext& ctx, int trigger, const uint8_t* block,
                             std::size_t length, std::size_t pos) {
    if (ctx.captureSink == nullptr || !ctx.capture.wants(trigger)) return;
    ctx.captureSink->copyBlock(trigger, block, length, pos);
    ++ctx.capture.made;
}

void onSyncByteError(AnalysisContext& ctx, const uint8_t* block, std::size_t length,
                     std::size_t pos) {
    captureBlockIfRequested(ctx, kCaptureSyncByte, block, length, pos);
    if (mayLog(ctx, Tr290ErrorKind::SyncByte)) logEvent(ctx, 1020);
}

void onSyncLoss(AnalysisContext& ctx, const uint8_t* block, std::size_t length, std::size_t pos) {
    captureBlockIfRequested(ctx, kCaptureSyncLoss, block, length, pos);
    // The sync loss check admits counters up to and including the cap.
    if (ctx.enabled(Tr290ErrorKind::SyncLoss) &&
        ctx.log.kindCount.at(Tr290ErrorKind::SyncLoss, 0) <= kEventCap)
        logEvent(ctx, 1010);
}

// Few packets have either flag set: kept out of line, so the packet loop does not carry it.
void checkFlaggedHeader(AnalysisContext& ctx, const uint8_t* packet, const uint8_t* block,
                        std::size_t length, std::size_t pos) {
    const unsigned pid = packetPid(packet);
    if (transportErrorIndicator(packet)) {
        captureBlockIfRequested(ctx, kCaptureTransportError, block, length, pos);
        if (mayLog(ctx, Tr290ErrorKind::TransportError)) logEvent(ctx, 1070, pid);
    }
    if (scramblingControl(packet) != 0 && !ctx.cat.catPresent &&
        mayLog(ctx, Tr290ErrorKind::TsScrambled))
        logEvent(ctx, 1110, pid);
}

int unreferencedPidStep(AnalysisContext& ctx, const uint8_t* packet, unsigned pid) {
    int d = kNoContinuityTest;
    if (!ctx.initDone || transportErrorIndicator(packet)) return d;
    if (pid < kFirstUnreservedPid) return continuityStep(ctx.reservedPids[pid], packet, false);
    PidEntry* found = nullptr;
    for (int i = 0; i < ctx.unreferencedCount; ++i) {
        if (ctx.unreferenced[i].pid == pid) {
            found = &ctx.unreferenced[i];
            break;
        }
    }
    if (found != nullptr) {
        d = continuityStep(found->cc, packet, false);
    } else if (ctx.unreferencedCount < kMaxUnreferencedPids) {
        PidEntry& e = ctx.unreferenced[ctx.unreferencedCount++];
        e.pid = static_cast<uint16_t>(pid);
        e.cc.lastCc = static_cast<uint8_t>(continuityCounter(packet));
        e.cc.packetCount = 1;
    }
    if (mayLog(ctx, Tr290ErrorKind::UnreferencedPid)) logEvent(ctx, 1160, pid);
    return d;
}

void continuityVerdict(AnalysisContext& ctx, const uint8_t* packet, unsigned pid, int d,
                       const uint8_t* block, std::size_t length, std::size_t pos) {
    if (continuityInOrder(d)) return;
    if (pid != kPidNull && hasPayload(packet))
        captureBlockIfRequested(ctx, kCaptureContinuity, block, length, pos);
    if (!ctx.enabled(Tr290ErrorKind::Continuity)) return;
    const KindCounters& k = ctx.log.kindCount;
    if (k.total(Tr290ErrorKind::Continuity) > kEventCap) return;
    int slot = sub::kCcOrder;
    int code = 1040;
    if (d == 0) {
        slot = sub::kCcDuplicate;
        code = 1041;
    } else if (d > 0) {
        slot = sub::kCcLoss;
        code = 1042;
    }
    if (k.at(Tr290ErrorKind::Continuity, slot) < kEventCap) logEvent(ctx, code, pid);
}

}  // namespace orv
