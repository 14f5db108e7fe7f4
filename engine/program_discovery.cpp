#include "engine/program_discovery.h"

#include <algorithm>
#include <cstdio>

#include "engine/block_walk.h"
#include "engine/packet_header.h"
#include "engine/pcr_analysis.h"
#include "engine/program_table.h"
#include "engine/psi_handlers.h"

namespace orv {

namespace {

constexpr uint8_t kPatTableId = 0x00;
constexpr uint8_t kCatTableId = 0x01;
constexpr uint8_t kPmtTableId = 0x02;

void listPid(AnalysisContext& ctx, unsigned pid) {
    InitPidList& list = ctx.initPids;
    const auto end = list.pids.begin() + list.count;
    const auto found = std::find(list.pids.begin(), end, pid);
    if (found != end) {
        ++list.counts[static_cast<std::size_t>(found - list.pids.begin())];
        return;
    }
    if (list.count >= kMaxInitPids) return;
    list.pids[list.count] = static_cast<uint16_t>(pid);
    list.counts[list.count] = 1;
    ++list.count;
    if (ctx.initHooks != nullptr) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%04x", pid);
        ctx.initHooks->addDialogPid(text);
    }
}

struct InitWalk {
    AnalysisContext& ctx;

    WalkStep packet(const uint8_t* p, std::size_t) {
        const unsigned pid = packetPid(p);
        listPid(ctx, pid);
        if (pid == kPidPat) {
            PatModel& pat = ctx.pat;
            feedPacket(
                collectorOfPair(pat.first, pat.later, pat.patFound), p, {kPatTableId, -1},
                CompletionVariant::InitPhase, [this](SectionCollector& c) { analysePat(ctx, c); },
                ctx.packetCounter);
            if (ctx.runState != RunState::Running) return WalkStep::Stop;
        }
        if (pid == kPidCat) {
            feedPacket(
                ctx.cat.collector, p, {kCatTableId, -1}, CompletionVariant::InitPhase,
                [this](SectionCollector& c) { analyseCat(ctx, c); }, ctx.packetCounter);
        }
        if (!ctx.pat.patFound) return WalkStep::Continue;
        for (int i = 0; i < ctx.programCount(); ++i) {
            ProgramEntry& program = ctx.programs[static_cast<std::size_t>(i)];
            if (program.pmtPid != pid) continue;
            feedPacket(
                collectorOfPair(program.firstPmt, program.laterPmt, program.pmtReceived), p,
                {kPmtTableId, program.programNumber}, CompletionVariant::InitPhase,
                [this, i](SectionCollector& c) { analysePmt(ctx, i, c); }, ctx.packetCounter);
        }
        return WalkStep::Continue;
    }
    void syncByteError(std::size_t) {}
    void syncLoss(std::size_t, bool) {}
};

}  // namespace

std::size_t initBlock(AnalysisContext& ctx, const uint8_t* block, std::size_t length) {
    if (block == nullptr || length == 0) return 0;
    const std::size_t packetLength =
        ctx.packetLength == static_cast<int>(kRsPacketSize) ? kRsPacketSize : kTsPacketSize;
    return walkBlock(block, length, packetLength, false, InitWalk{ctx});
}

void finishInit(AnalysisContext& ctx) {
    const bool online = ctx.analysisMode == AnalysisMode::Online;
    InitHooks* hooks = ctx.initHooks;
    if (online && ctx.runState == RunState::InterfaceFailure) {
        if (hooks != nullptr) hooks->armTimer(InitTimer::BitrateTick, 100);
        return;
    }
    if (online) {
        setInitDialogLine(ctx, kDialogLinePmt, kTextPmtOk);
        setInitDialogLine(ctx, kDialogLineStatus, kTextInitialising);
    }
    countDistinctPcrPids(ctx);
    createPcrTracks(ctx);
    ctx.initDone = true;
    ctx.pat.first.clear();
    ctx.pat.later.clear();
    ctx.cat.collector.clear();
    for (ProgramEntry& program : ctx.programs) {
        program.firstPmt.clear();
        program.laterPmt.clear();
    }
    if (online && hooks != nullptr) {
        const double mbps = hooks->readCardBitrate();
        ctx.streamBitrate = {mbps, mbps, mbps, mbps};
        hooks->armTimer(InitTimer::RunStart, 5000);
    }
}

}  // namespace orv
