#include "engine/psi_handlers.h"

#include "engine/packet_checks.h"
#include "engine/program_table.h"

namespace orv {
namespace {

uint32_t storedCrc(SectionBytes s) {
    const uint8_t* p = s.data() + s.size() - 4;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// A section that is not whole or fails its CRC: one CRC event for its table.
void reportCrcError(AnalysisContext& ctx, int code, SectionBytes s, unsigned pid = 0,
                    int programIndex = -1) {
    if (ctx.captureSink != nullptr && ctx.capture.wants(kCaptureCrcError)) {
        ctx.captureSink->copyBytes(kCaptureCrcError, s.data(), s.size());
        ++ctx.capture.made;
    }
    if (ctx.enabled(Tr290ErrorKind::Crc) &&
        ctx.log.kindCount.at(Tr290ErrorKind::Crc, 0) <= kEventCap)
        logEvent(ctx, code, pid, programIndex);
}

}  // namespace

void analysePat(AnalysisContext& ctx, SectionCollector& collector) {
    const SectionBytes s = takeSection(collector);
    if (!sectionIntact(s)) {
        if (ctx.pat.patFound) reportCrcError(ctx, 1081, s);
        return;
    }
    if (!ctx.pat.patFound) {
        acceptFirstPat(ctx, s);
        return;
    }
    // The content of a later PAT is compared through its CRC_32 field only.
    if (storedCrc(s) != ctx.pat.header.crc32) ctx.runState = RunState::ProgramChange;
}

void analyseCat(AnalysisContext& ctx, SectionCollector& collector) {
    const SectionBytes s = takeSection(collector);
    if (!sectionIntact(s)) {
        reportCrcError(ctx, 1080, s);
        return;
    }
    ctx.cat.catPresent = true;
}

void analysePmt(AnalysisContext& ctx, int index, SectionCollector& collector) {
    const SectionBytes s = takeSection(collector);
    if (index < 0 || index >= ctx.programCount()) return;
    ProgramEntry& prog = ctx.programs[index];
    if (!sectionIntact(s)) {
        if (prog.pmtReceived) reportCrcError(ctx, 1082, s, prog.pmtPid, index);
        return;
    }
    if (!prog.pmtReceived) acceptFirstPmt(ctx, index, s);
}

}  // namespace orv
