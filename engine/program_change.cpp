#include "engine/program_change.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "engine/pid_roles.h"
#include "engine/program_table.h"

namespace orv {
namespace {

constexpr std::size_t kVersionByte = 5;  // version_number and current_next_indicator

// Calls fn(pid, record) for every continuity record of a program, its PMT PID's included.
template <class Fn>
void forEachCcRecord(ProgramEntry& p, Fn&& fn) {
    fn(p.pmtPid, p.pmtCc);
    if (p.video.present) fn(p.video.pid, p.video.cc);
    for (int a = 0; a < p.audioCount; ++a)
        fn(p.audio[a].pid, p.audio[a].cc);
    for (ComponentList& list : p.other)
        for (int k = 0; k < list.count; ++k)
            fn(list.pids[k].pid, list.pids[k].cc);
    for (int c = 0; c < p.caCount; ++c)
        fn(p.ca[c].caPid.pid, p.ca[c].caPid.cc);
    if (p.pcrPid != 0) fn(p.pcrPid, p.pcrCc);
}

// The records of the components that stay: the same PID in the same class. `now` holds the new
// PMT as readPmt left it (fresh component records, the old timing records).
void carryComponents(const ProgramEntry& old, ProgramEntry& now) {
    if (now.video.present && old.video.present && old.video.pid == now.video.pid) {
        const uint8_t streamType = now.video.streamType;
        now.video = old.video;
        now.video.streamType = streamType;
        now.timing.video = old.timing.video;
    } else {
        now.timing.video = {};
    }
    for (int a = 0; a < kMaxAudioComponents; ++a) {
        now.timing.audio[a] = {};
        if (a >= now.audioCount) continue;
        for (int b = 0; b < old.audioCount; ++b) {
            if (old.audio[b].pid != now.audio[a].pid) continue;
            const uint8_t streamType = now.audio[a].streamType;
            now.audio[a] = old.audio[b];
            now.audio[a].streamType = streamType;
            now.timing.audio[a] = old.timing.audio[b];
            break;
        }
    }
    for (int l = 0; l < kOtherListCount; ++l) {
        ComponentList& list = now.other[l];
        const ComponentList& before = old.other[l];
        for (int k = 0; k < list.count; ++k)
            for (int j = 0; j < before.count; ++j)
                if (before.pids[j].pid == list.pids[k].pid) list.pids[k].cc = before.pids[j].cc;
    }
    for (int c = 0; c < now.caCount; ++c)
        for (int j = 0; j < old.caCount; ++j)
            if (old.ca[j].caPid.pid == now.ca[c].caPid.pid) now.ca[c].caPid.cc = old.ca[j].caPid.cc;
    now.pcrCc = old.pcrPid == now.pcrPid ? old.pcrCc : CcRecord{};
}

void noteChange(AnalysisContext& ctx, const ProgramChangeRecord& record) {
    ProgramChanges& changes = ctx.programChanges;
    if (changes.count < kMaxProgramChangeRecords) changes.records[changes.count] = record;
    if (changes.count < kEventCap) logEvent(ctx, kEventProgramChange);
    if (changes.count < std::numeric_limits<int>::max()) ++changes.count;
    ctx.tablesChangedSummary = true;
    ctx.tablesChangedTree = true;
}

}  // namespace

bool sectionIsCurrent(SectionBytes section) {
    return section.size() > kVersionByte && (section[kVersionByte] & 0x01) != 0;
}

bool programChangeApplies(const AnalysisContext& ctx, SectionBytes section) {
    return ctx.initDone && sectionIsCurrent(section);
}

bool applyPatChange(AnalysisContext& ctx, SectionBytes section) {
    PatModel& pat = ctx.pat;
    if (!readPat(section, pat).ok) return false;

    const auto count = static_cast<std::size_t>(std::clamp(pat.programCount, 0, kMaxPrograms));
    const bool sameList =
        count == ctx.programs.size() &&
        std::equal(ctx.programs.begin(), ctx.programs.end(), pat.programs.begin(),
                   [](const ProgramEntry& e, const PatProgram& p) {
                       return e.programNumber == p.programNumber && e.pmtPid == p.pmtPid;
                   });
    if (sameList) {
        // Every program stays where it is: nothing to move (a new version of the same list).
        noteChange(ctx, {ctx.packetCounter, true, static_cast<uint16_t>(kPidPat), 0,
                         pat.header.versionNumber});
        return true;
    }

    std::vector<ProgramEntry> old = std::move(ctx.programs);
    std::vector<PcrTrack> oldTracks = std::move(ctx.timing.pcrTracks);
    ctx.programs = std::vector<ProgramEntry>(count);
    ctx.timing.pcrTracks = std::vector<PcrTrack>(count);
    std::vector<int> movedTo(old.size(), -1);
    for (std::size_t i = 0; i < count; ++i) {
        const PatProgram& listed = pat.programs[i];
        ProgramEntry& entry = ctx.programs[i];
        std::size_t j = 0;
        while (j < old.size() && (movedTo[j] >= 0 || old[j].programNumber != listed.programNumber ||
                                  old[j].pmtPid != listed.pmtPid))
            ++j;
        if (j == old.size()) {
            entry.programNumber = listed.programNumber;
            entry.pmtPid = listed.pmtPid;
            continue;
        }
        entry = std::move(old[j]);
        if (j < oldTracks.size()) ctx.timing.pcrTracks[i] = std::move(oldTracks[j]);
        movedTo[j] = static_cast<int>(i);
    }
    // A capture request for one program follows it to its new place, or ends with it.
    int& captured = ctx.capture.programIndex;
    if (captured >= 0)
        captured = static_cast<std::size_t>(captured) < movedTo.size() ? movedTo[captured] : -1;
    ctx.pmtFoundCount =
        static_cast<int>(std::count_if(ctx.programs.begin(), ctx.programs.end(),
                                       [](const ProgramEntry& p) { return p.pmtReceived; }));

    settleProgramTable(ctx);
    noteChange(ctx, {ctx.packetCounter, true, static_cast<uint16_t>(kPidPat), 0,
                     pat.header.versionNumber});
    return true;
}

bool applyPmtChange(AnalysisContext& ctx, int index, SectionBytes section) {
    if (index < 0 || index >= ctx.programCount()) return false;
    ProgramEntry& program = ctx.programs[static_cast<std::size_t>(index)];
    // The entry holds the PES and buffer records of its components: too large for the stack.
    const auto old = std::make_unique<ProgramEntry>(program);
    const PmtReadResult read = readPmt(section, program);
    if (!read.ok) return false;
    carryComponents(*old, program);
    program.timing.video.buffer.leakValid = read.leakValid;

    settleProgramTable(ctx);
    noteChange(ctx, {ctx.packetCounter, false, program.pmtPid, program.programNumber,
                     program.pmtHeader.versionNumber});
    return true;
}

void settleProgramTable(AnalysisContext& ctx) {
    std::vector<PcrTrack>& tracks = ctx.timing.pcrTracks;
    tracks.resize(ctx.programs.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const uint16_t pcrPid = ctx.programs[i].pcrPid;
        if (tracks[i].pcrPid == pcrPid) continue;
        // Another clock: its samples are never compared with those of the old one.
        tracks[i] = PcrTrack{};
        tracks[i].pcrPid = pcrPid;
    }
    countDistinctPcrPids(ctx);

    if (ctx.unreferencedCount == 0) return;
    auto roles = std::make_unique<PidRoles>();
    roles->rebuild(ctx);
    const auto begin = ctx.unreferenced.begin();
    const auto end = begin + ctx.unreferencedCount;
    // A PID that arrived before the table claimed it keeps its continuity in its new record.
    for (ProgramEntry& program : ctx.programs) {
        forEachCcRecord(program, [&](uint16_t pid, CcRecord& record) {
            if (record.packetCount != 0) return;
            const auto found =
                std::find_if(begin, end, [pid](const PidEntry& e) { return e.pid == pid; });
            if (found != end) record = found->cc;
        });
    }
    const auto kept =
        std::remove_if(begin, end, [&roles](const PidEntry& e) { return (*roles)[e.pid] != 0; });
    std::fill(kept, end, PidEntry{});
    ctx.unreferencedCount = static_cast<int>(kept - begin);
}

}  // namespace orv
