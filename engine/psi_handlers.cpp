#include "engine/psi_handlers.h"

#include <array>

#include "engine/packet_checks.h"
#include "engine/program_table.h"
#include "engine/section_crc.h"

namespace orv {
namespace {

// A copy of the collected section, taken before the collector is emptied. Returns the number of
// bytes that form a whole section (3 + section_length), 0 when the section is not whole.
int takeSection(SectionCollector& c, std::array<uint8_t, kSectionBufferSize>& out) {
    const int usable = usableSectionLength(c);
    out = c.bytes;
    c.clear();
    return usable;
}

bool sectionIntact(const std::array<uint8_t, kSectionBufferSize>& s, int length) {
    return length > 0 && sectionCrc32(s.data(), s.data() + length) == 0;
}

uint32_t storedCrc(const std::array<uint8_t, kSectionBufferSize>& s, int length) {
    const uint8_t* p = s.data() + length - 4;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// A section that is not whole or fails its CRC: one CRC event for its table.
void reportCrcError(AnalysisContext& ctx, int code,
                    const std::array<uint8_t, kSectionBufferSize>& s, int length, unsigned pid = 0,
                    int programIndex = -1) {
    if (ctx.captureSink != nullptr && ctx.capture.wants(kCaptureCrcError)) {
        ctx.captureSink->copyBytes(kCaptureCrcError, s.data(),
                                   static_cast<std::size_t>(length > 0 ? length : 0));
        ++ctx.capture.made;
    }
    if (ctx.enabled(Tr290ErrorKind::Crc) &&
        ctx.log.kindCount.at(Tr290ErrorKind::Crc, 0) <= kEventCap)
        logEvent(ctx, code, pid, programIndex);
}

}  // namespace

void analysePat(AnalysisContext& ctx, SectionCollector& collector) {
    std::array<uint8_t, kSectionBufferSize> s;
    const int length = takeSection(collector, s);
    if (!sectionIntact(s, length)) {
        if (ctx.pat.patFound) reportCrcError(ctx, 1081, s, length);
        return;
    }
    if (!ctx.pat.patFound) {
        acceptFirstPat(ctx, SectionBytes(s.data(), static_cast<std::size_t>(length)));
        return;
    }
    // The content of a later PAT is compared through its CRC_32 field only.
    if (storedCrc(s, length) != ctx.pat.header.crc32) ctx.runState = RunState::ProgramChange;
}

void analyseCat(AnalysisContext& ctx, SectionCollector& collector) {
    std::array<uint8_t, kSectionBufferSize> s;
    const int length = takeSection(collector, s);
    if (!sectionIntact(s, length)) {
        reportCrcError(ctx, 1080, s, length);
        return;
    }
    ctx.cat.catPresent = true;
}

void analysePmt(AnalysisContext& ctx, int index, SectionCollector& collector) {
    std::array<uint8_t, kSectionBufferSize> s;
    const int length = takeSection(collector, s);
    if (index < 0 || index >= ctx.programCount()) return;
    ProgramEntry& prog = ctx.programs[index];
    if (!sectionIntact(s, length)) {
        if (prog.pmtReceived) reportCrcError(ctx, 1082, s, length, prog.pmtPid, index);
        return;
    }
    if (!prog.pmtReceived)
        acceptFirstPmt(ctx, index, SectionBytes(s.data(), static_cast<std::size_t>(length)));
}

}  // namespace orv
