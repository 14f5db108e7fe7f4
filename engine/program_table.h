// Bounded readers of the PAT and PMT: they fill the PAT model, the program table and a program's
// components from a section whose CRC has already been checked. Every loop stops at the CRC
// field and at its own length field, whichever comes first; nothing is written past the tables.
#pragma once

#include <cstdint>
#include <span>

#include "engine/analysis_context.h"

namespace orv {

// The readers take a section as handed over by a collector (SectionBytes) and use
// min(size, 3 + section_length) bytes of it, the last four being the CRC_32 field.

// The eight header bytes of a long-form section and its CRC_32 field. False, with `out`
// untouched, when the section is too short to hold both (12 bytes).
bool readPsiHeader(SectionBytes section, PsiHeader& out);

struct PatReadResult {
    bool ok = false;     // the section was long enough to be read
    int listed = 0;      // program entries (program_number not 0) in the section
    int dropped = 0;     // beyond the 50 of the program list
    int duplicates = 0;  // a program_number listed again; its first listing is kept
};

// Header, network PID and program list of the PAT model. program_number 0 sets the network PID
// wherever it is listed (the last one wins); other entries are appended in PAT order up to 50.
// patFound and the program table are left to the caller.
PatReadResult readPat(SectionBytes section, PatModel& pat);

// Replaces the program table with one entry per listed program, in PAT order, holding its
// program_number and PMT PID and nothing else.
void createProgramTable(AnalysisContext& ctx);

struct PmtReadResult {
    bool ok = false;             // the section was long enough to be read
    bool stdDescriptor = false;  // an STD descriptor was found in an ES_info loop
    bool leakValid = false;      // its leak_valid flag (the last one found)
    int droppedComponents = 0;   // entries beyond the audio or other list limits
    int droppedCa = 0;           // new CA pairs beyond the 10 of the CA list
    bool truncated = false;      // a length field ran past the section and ended a loop
};

// The PMT into a program: header, PCR_PID, CA pairs from the CA descriptors of program_info and
// of the ES_info loops, and the components. The component records and the CA list are reset
// first; pmtReceived and the program's continuity records are left alone.
PmtReadResult readPmt(SectionBytes section, ProgramEntry& program);

// The first valid PAT (CRC already checked): header, network PID, program list, patFound and a
// new program table. False, with nothing changed, when the section is too short to be a PAT.
// Change flags and dialog texts are left to the caller.
bool acceptFirstPat(AnalysisContext& ctx, SectionBytes section);

// A program's first valid PMT (CRC already checked): readPmt, pmtReceived and pmtFoundCount.
// False, with nothing changed but the program's records, when the section is too short.
bool acceptFirstPmt(AnalysisContext& ctx, int index, SectionBytes section);

// Number of distinct non-zero PCR PIDs over the program table; stored in the context too.
int countDistinctPcrPids(AnalysisContext& ctx);

}  // namespace orv
