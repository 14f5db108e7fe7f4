// Program changes: a later PAT whose CRC_32 field differs from that of the PAT in use, or a later
// PMT whose version_number or section_length differs from that of its program's PMT in use, both
// with a good CRC and current_next_indicator 1.
//
// Where a change is applied: in the main pass only. The initialisation phase keeps the first
// tables it finds; the main pass starts again from the first packet with that model and so meets
// every change at the packet where it happens. Offline the program table is rebuilt there and
// the pass goes on. Online a new PAT sets runState ProgramChange instead: the live source stops
// and restarts the run, and the restarted run logs 1003 at its start. A new PMT is applied in
// place in both modes.
//
// How a change reaches the caller: each change applied in place adds one to
// ctx.programChanges.count, is recorded there (the first kMaxProgramChangeRecords of a run, with
// packet, table and version) and logs run event 1003 "传送流节目改变事件发生!" (the first 1000 of a
// run). Nothing found before the change is cleared: counters, events and the SI tables stay.
//
// What a rebuild keeps: a program of the new PAT with the program_number and PMT PID of a
// program of the old one keeps its whole record (PMT, components, continuity, PES timing, buffer
// model, rates, PCR track); any other program starts empty and its PMT is found in the main pass.
// A new PMT keeps the records of every component whose PID stays in the same class (video,
// audio, the same other list, CA) and the PCR track while the PCR PID stays; a new PID starts
// from its first packet, or from the continuity record it had as an unreferenced PID. PIDs the
// program table now references leave the unreferenced-PID table.
#pragma once

#include "engine/analysis_context.h"

namespace orv {

// True when the section's current_next_indicator is 1: a section announced for later (0) is
// neither the first table in use nor a change of it.
bool sectionIsCurrent(SectionBytes section);

// True when a changed table may be applied: the main pass runs and the section is current.
bool programChangeApplies(const AnalysisContext& ctx, SectionBytes section);

// A new PAT (CRC already checked): PAT model, program table, PCR tracks, then settleProgramTable,
// the change record and event 1003. False, with nothing changed, when the section is too short
// to be a PAT.
bool applyPatChange(AnalysisContext& ctx, SectionBytes section);

// A new PMT of program `index` (CRC already checked): its header and components, then
// settleProgramTable, the change record and event 1003. False, with nothing changed, when the
// section is too short to be a PMT or the index is out of range.
bool applyPmtChange(AnalysisContext& ctx, int index, SectionBytes section);

// Brings the records that hang off the program table in line with it after it changed in the
// main pass (also after a program's first PMT found there): one PCR track per program, a new
// track where a program's PCR PID changed, the distinct PCR PID count, and the unreferenced-PID
// table without the PIDs the table now references (their continuity goes to the new record).
void settleProgramTable(AnalysisContext& ctx);

}  // namespace orv
