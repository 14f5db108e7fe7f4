// Handlers of completed PAT, CAT and PMT sections. Each empties its collector before it tests the
// CRC, as the collector expects.
#pragma once

#include "engine/analysis_context.h"

namespace orv {

// A PAT section completed on PID 0 in the main pass.
void analysePat(AnalysisContext& ctx, SectionCollector& collector);
// A CAT section completed on PID 1 in the main pass.
void analyseCat(AnalysisContext& ctx, SectionCollector& collector);
// A PMT section of program `index` completed in the main pass.
void analysePmt(AnalysisContext& ctx, int index, SectionCollector& collector);

}  // namespace orv
