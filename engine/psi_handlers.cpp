#include "engine/psi_handlers.h"

#include <algorithm>

#include "engine/buffer_model.h"
#include "engine/packet_checks.h"
#include "engine/program_change.h"
#include "engine/program_table.h"
#include "engine/section_fields.h"

namespace orv {
namespace {

constexpr int kCrcBytes = 4;
constexpr int kLongHeaderBytes = 8;
constexpr uint8_t kCaDescriptorTag = 0x09;
constexpr double kPsiIntervalLimit = 0.5;  // seconds

uint32_t storedCrc(SectionBytes s) {
    return read32(s.data() + s.size() - 4);
}

// A section that is not whole or fails its CRC: one CRC event for its table.
void reportCrcError(AnalysisContext& ctx, int code, SectionBytes s, unsigned pid = 0,
                    int programIndex = -1) {
    if (ctx.captureSink != nullptr && ctx.capture.wants(kCaptureCrcError) && !s.empty()) {
        ctx.captureSink->copyBytes(kCaptureCrcError, s.data(), s.size());
        ++ctx.capture.made;
    }
    if (ctx.enabled(Tr290ErrorKind::Crc) &&
        ctx.log.kindCount.at(Tr290ErrorKind::Crc, 0) <= kEventCap)
        logEvent(ctx, code, pid, programIndex);
}

// The capture copy of a later PAT, CAT or PMT; true when the capture mode suspends the checks.
bool captureLaterSection(AnalysisContext& ctx, int trigger, SectionBytes s) {
    if (ctx.captureSink != nullptr && ctx.capture.tableTrigger == trigger &&
        ctx.capture.wants(trigger) && !s.empty()) {
        ctx.captureSink->copyBytes(trigger, s.data(), s.size());
        ++ctx.capture.made;
    }
    return ctx.capture.captureMode;
}

// The repetition of a PSI table, from the start of its previous good section to the start of
// this one (`startPacket`), so that how many packets a section spans does not matter. Returns the
// interval in seconds, or a negative value when none was measured (first section, or no stream
// bitrate known yet).
double measurePsiInterval(AnalysisContext& ctx, IntervalStats& st, uint64_t startPacket) {
    double interval = -1.0;
    if (st.lastPacket != 0 && ctx.streamBitrate.current > 0.0) {
        interval = packetSpanSeconds(ctx, st.lastPacket, startPacket);
        st.last = interval;
        if (st.max == 0.0 || st.max < interval) st.max = interval;
        if (st.min == 0.0 || st.min > interval) st.min = interval;
    }
    st.lastPacket = startPacket;
    return interval;
}

// The system buffer takes the bytes of each later PMT and CAT section in the PAT period where the
// section started, as the repetition intervals run from section starts: at its completion when
// that comes within the same period, otherwise at the PAT that closes the period it started in
// (creditSectionsUnderWay). So a section whose last packet a multiplexer holds back until the
// next repetition still counts once per repetition, in its own period.
void creditSectionBytes(AnalysisContext& ctx, uint64_t startPacket, SectionBytes s) {
    if (startPacket >= ctx.pat.interval.lastPacket)
        addPsiSectionBytes(ctx, static_cast<uint32_t>(s.size()));
}

// The sections under way when a PAT closes the period [from, to): those that started in it.
void creditSectionsUnderWay(AnalysisContext& ctx, uint64_t from, uint64_t to) {
    auto credit = [&](const SectionCollector& c) {
        const int length = declaredSectionLength(c);
        if (length == 0 || c.extensionPending || c.startPacket < from || c.startPacket >= to)
            return;
        addPsiSectionBytes(ctx, static_cast<uint32_t>(std::min(length, kSectionBufferSize)));
    };
    if (ctx.cat.catPresent) credit(ctx.cat.collector);
    for (const ProgramEntry& program : ctx.programs)
        if (program.pmtReceived) credit(program.laterPmt);
}

// A section handed over before it was whole: the next section start came first (a lost packet,
// or a multiplexer that cut it). Its CRC cannot be checked, so it is no CRC error: it is dropped
// and counted for its table (by the main pass only, which walks every packet of a file; the
// initialisation phase looks at the same packets first). True when the section was cut short.
bool dropCutShort(AnalysisContext& ctx, SectionCollector& collector, CrcTable table,
                  ProgramEntry* program = nullptr) {
    if (!sectionCutShort(collector)) return false;
    collector.clear();
    if (ctx.initDone) {
        ++ctx.sectionsCutShort[static_cast<std::size_t>(table)];
        if (program != nullptr) ++program->pmtCutShort;
    }
    return true;
}

void firstPat(AnalysisContext& ctx, SectionCollector& collector) {
    const SectionBytes s = takeSection(collector);
    ctx.tablesChangedSummary = true;
    if (!sectionIntact(s) || !sectionIsCurrent(s) || !acceptFirstPat(ctx, s)) return;
    ctx.tablesChangedTree = true;
    setInitDialogLine(ctx, kDialogLinePat, kTextPatOk);
    setInitDialogLine(ctx, kDialogLinePmt, kTextSeekPmt);
}

void laterPat(AnalysisContext& ctx, SectionCollector& collector) {
    const uint64_t start = collector.startPacket;
    const SectionBytes s = takeSection(collector);
    if (captureLaterSection(ctx, kCaptureLaterPat, s)) return;
    if (!sectionIntact(s)) {
        reportCrcError(ctx, 1081, s);
        return;
    }
    // The content of a later PAT is compared through its CRC_32 field only. A new PAT is still a
    // repetition of the PAT: once applied, it is timed like any other.
    if (storedCrc(s) != ctx.pat.header.crc32) {
        if (!programChangeApplies(ctx, s)) return;
        if (ctx.analysisMode == AnalysisMode::Online) {
            ctx.runState = RunState::ProgramChange;  // the live source restarts the run
            return;
        }
        if (!applyPatChange(ctx, s)) return;
    }
    const uint64_t previousStart = ctx.pat.interval.lastPacket;
    const double interval = measurePsiInterval(ctx, ctx.pat.interval, start);
    if (interval > kPsiIntervalLimit && mayLog(ctx, Tr290ErrorKind::Pat, sub::kPatInterval))
        logEvent(ctx, 1030, 0, -1, 0, interval);
    // The system buffers drain over the time between PATs; without a stream bitrate there is
    // no such time and the model is not stepped.
    if (ctx.streamBitrate.current > 0.0) {
        creditSectionsUnderWay(ctx, previousStart, start);
        onPatRepeated(ctx, static_cast<uint32_t>(s.size()));
    }
}

// The CA descriptors of a CAT into the EMM list; a pair already listed is not added again.
void readCatEmms(CatModel& cat, SectionBytes s) {
    const uint8_t* p = s.data();
    const int end = static_cast<int>(s.size()) - kCrcBytes;
    int pos = kLongHeaderBytes;
    while (pos + 2 <= end) {
        const int length = p[pos + 1];
        if (pos + 2 + length > end) return;
        if (p[pos] == kCaDescriptorTag && length >= 4) {
            const auto systemId = static_cast<uint16_t>((p[pos + 2] << 8) | p[pos + 3]);
            const auto pid = static_cast<uint16_t>(((p[pos + 4] & 0x1F) << 8) | p[pos + 5]);
            bool listed = false;
            for (int i = 0; i < cat.emmCount; ++i)
                listed =
                    listed || (cat.emm[i].caSystemId == systemId && cat.emm[i].caPid.pid == pid);
            if (!listed && cat.emmCount < kMaxEmmEntries) {
                CaEntry& e = cat.emm[cat.emmCount++];
                e = CaEntry{};
                e.caSystemId = systemId;
                e.caPid.pid = pid;
            }
        }
        pos += 2 + length;
    }
}

void firstPmt(AnalysisContext& ctx, int index, SectionCollector& collector) {
    const SectionBytes s = takeSection(collector);
    if (!sectionIntact(s) || !sectionIsCurrent(s)) return;
    const bool firstOfRun = ctx.pmtFoundCount == 0;
    if (!acceptFirstPmt(ctx, index, s)) return;
    if (firstOfRun && ctx.analysisMode == AnalysisMode::Online && ctx.initHooks != nullptr)
        ctx.initHooks->armTimer(InitTimer::EndOfInit, 1500);
    ctx.tablesChangedSummary = true;
    ctx.tablesChangedTree = true;
    // Found in the main pass (online late, or after a new PAT): its PIDs join the table there.
    if (ctx.initDone) settleProgramTable(ctx);
    setInitDialogLine(ctx, kDialogLinePmt, kTextSeekNextPmt);
}

void laterPmt(AnalysisContext& ctx, int index, SectionCollector& collector) {
    ProgramEntry& prog = ctx.programs[static_cast<std::size_t>(index)];
    const uint64_t start = collector.startPacket;
    const SectionBytes s = takeSection(collector);
    creditSectionBytes(ctx, start, s);
    if (ctx.capture.programIndex == index && captureLaterSection(ctx, kCaptureLaterPmt, s)) return;
    if (ctx.capture.captureMode) return;
    if (!sectionIntact(s)) {
        reportCrcError(ctx, 1082, s, prog.pmtPid, index);
        return;
    }
    PsiHeader h;
    if (!readPsiHeader(s, h)) return;
    // A changed PMT is a program change; once applied it is timed like any other PMT.
    if (h.sectionLength != prog.pmtHeader.sectionLength ||
        h.versionNumber != prog.pmtHeader.versionNumber) {
        if (!programChangeApplies(ctx, s) || !applyPmtChange(ctx, index, s)) return;
    }
    const double interval = measurePsiInterval(ctx, prog.pmtInterval, start);
    if (interval > kPsiIntervalLimit && mayLog(ctx, Tr290ErrorKind::PmtInterval))
        logEvent(ctx, 1050, prog.pmtPid, index, 0, interval);
}

}  // namespace

void setInitDialogLine(AnalysisContext& ctx, int controlId, std::string_view text) {
    if (ctx.initHooks != nullptr) ctx.initHooks->setDialogLine(controlId, text);
}

void analysePat(AnalysisContext& ctx, SectionCollector& collector) {
    if (dropCutShort(ctx, collector, CrcTable::Pat)) return;
    if (ctx.pat.patFound)
        laterPat(ctx, collector);
    else
        firstPat(ctx, collector);
}

void analyseCat(AnalysisContext& ctx, SectionCollector& collector) {
    CatModel& cat = ctx.cat;
    if (dropCutShort(ctx, collector, CrcTable::Cat)) return;
    if (!cat.catPresent) {
        const SectionBytes s = takeSection(collector);
        if (!sectionIntact(s) || !readPsiHeader(s, cat.header)) return;
        cat.catPresent = true;
        cat.section.assign(s.begin(), s.end());
        ctx.tablesChangedSummary = true;
        readCatEmms(cat, s);
        return;
    }
    const uint64_t start = collector.startPacket;
    const SectionBytes s = takeSection(collector);
    creditSectionBytes(ctx, start, s);
    if (captureLaterSection(ctx, kCaptureLaterCat, s)) return;
    if (!sectionIntact(s)) {
        reportCrcError(ctx, 1080, s);
        return;
    }
    measurePsiInterval(ctx, cat.interval, start);
}

void analysePmt(AnalysisContext& ctx, int index, SectionCollector& collector) {
    if (index < 0 || index >= ctx.programCount()) {
        collector.clear();
        return;
    }
    ProgramEntry& program = ctx.programs[static_cast<std::size_t>(index)];
    if (dropCutShort(ctx, collector, CrcTable::Pmt, &program)) return;
    if (program.pmtReceived)
        laterPmt(ctx, index, collector);
    else
        firstPmt(ctx, index, collector);
}

}  // namespace orv
