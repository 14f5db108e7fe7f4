// Handlers of completed PAT, CAT and PMT sections, in both phases of a run: the first valid
// section of each table builds the model (PAT: the program table; PMT: the program's components);
// later sections are checked (CRC, repetition interval, program change). Each empties its
// collector before it tests the CRC, as the collector expects. A section handed over cut short
// (section_collector.h) is dropped without a CRC event and counted in ctx.sectionsCutShort by the
// main pass. Intervals run from section start to section start (SectionCollector::startPacket);
// events quote the packet where the section completed.
#pragma once

#include <string_view>

#include "engine/analysis_context.h"

namespace orv {

// A PAT section completed on PID 0: the first-PAT collector until patFound, the later one after.
// A later PAT whose CRC_32 field differs from the one in use is a program change
// (program_change.h).
void analysePat(AnalysisContext& ctx, SectionCollector& collector);
// A CAT section completed on PID 1.
void analyseCat(AnalysisContext& ctx, SectionCollector& collector);
// A PMT section of program `index`: its first-PMT collector until pmtReceived, the later after.
// A later PMT whose section_length or version_number differs from the one in use is a program
// change of that program (program_change.h).
void analysePmt(AnalysisContext& ctx, int index, SectionCollector& collector);

// The dialog texts the analyses set (control ids in init_hooks.h).
inline constexpr std::string_view kTextPatOk = "PAT分析................. OK!";
inline constexpr std::string_view kTextSeekPmt = "查找PMT.......";
inline constexpr std::string_view kTextSeekNextPmt = "查找PMT...........";
inline constexpr std::string_view kTextPmtOk = "PMT分析................. OK!";
inline constexpr std::string_view kTextInitialising = "正在初始化.............请稍侯!";

// Sets a line of the initialisation dialog through the context's hooks, if any.
void setInitDialogLine(AnalysisContext& ctx, int controlId, std::string_view text);

}  // namespace orv
