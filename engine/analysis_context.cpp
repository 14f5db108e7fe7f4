#include "engine/analysis_context.h"

#include "engine/pcr_analysis.h"

namespace orv {

double packetSpanSeconds(const AnalysisContext& ctx, uint64_t fromPacket, uint64_t toPacket) {
    const double mbps = ctx.streamBitrate.current;
    if (!(mbps > 0.0) || toPacket < fromPacket) return 0.0;
    // The bit count is formed as a 64-bit integer before the division.
    const uint64_t bits = (toPacket - fromPacket) * static_cast<uint64_t>(ctx.packetLength) * 8u;
    return static_cast<double>(bits) / (mbps * 1'000'000.0);
}

void resetGeneral(AnalysisContext& ctx) {
    ctx.analysisMode = AnalysisMode::Idle;
    ctx.analysisActive = false;
    ctx.initDone = false;
    ctx.interruptSeen = false;
    ctx.initProgress = 0;
    ctx.tablesChangedSummary = false;
    ctx.tablesChangedTree = false;
    ctx.programChanges = {};
    ctx.packetLength = static_cast<int>(kTsPacketSize);
    ctx.packetCounter = 0;
    ctx.rateWindowCount = 0;
    ctx.streamBitrate = {};
    ctx.initPids = {};
    ctx.programs.clear();
    ctx.pmtFoundCount = 0;
    ctx.distinctPcrPidCount = 0;
    ctx.unreferenced = {};
    ctx.unreferencedCount = 0;
    ctx.reservedPids = {};
    ctx.nullPacketCount = 0;
    ctx.sectionsCutShort = {};
    ctx.subTableStarts = {};
    ctx.log.kindCount = {};
    ctx.log.lastRunEvent = {};
    ctx.capture = {};
    // Closed until the run start event opens it. A reader that looks before then finds a batch
    // without a run event at its head and takes nothing from it.
    ctx.log.records[0] = {};
    ctx.log.pendingCount.store(kMaxEvents);
}

void resetPatModel(AnalysisContext& ctx) {
    ctx.pat = {};
}

void resetCatModel(AnalysisContext& ctx) {
    ctx.cat = {};
}

void resetNitSdtBatModel(AnalysisContext& ctx) {
    ctx.si[kPidNit - kPidNit] = {};
    ctx.si[kPidSdtBat - kPidNit] = {};
    ctx.siStore.tables = {};
    ctx.siStore.newTable = false;
    ctx.siStore.newSection = false;
}

// The programme guide is built from the SDT and the EIT schedule; it goes with the EIT model.
void resetEitModel(AnalysisContext& ctx) {
    ctx.si[kPidEit - kPidNit] = {};
    ctx.siStore.eit = {};
    ctx.siStore.eitRebuilding = false;
    ctx.guide = {};
}

void resetTimeTableModel(AnalysisContext& ctx) {
    ctx.si[kPidRst - kPidNit] = {};
    ctx.si[kPidTdtTot - kPidNit] = {};
    ctx.siStore.rst = {};
    ctx.siStore.tdt = {};
    ctx.siStore.tot = {};
}

void resetAll(AnalysisContext& ctx) {
    resetGeneral(ctx);
    resetPatModel(ctx);
    resetCatModel(ctx);
    resetNitSdtBatModel(ctx);
    resetEitModel(ctx);
    resetTimeTableModel(ctx);
}

void teardownRun(AnalysisContext& ctx) {
    if (ctx.initDone) {
        ctx.programs.clear();
        ctx.programs.shrink_to_fit();
        releasePcrTracks(ctx);
    }
    // The stored SI sections are released whatever the phase.
    ctx.siStore = {};
}

void enableAllMonitoring(AnalysisContext& ctx) {
    ctx.monitorEnabled.fill(1);
}

}  // namespace orv
