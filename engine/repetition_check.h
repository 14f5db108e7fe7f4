// The repetition measure of the SI tables: the interval since a table kind last started, its
// statistics, and the TR 101 290 interval events of the kinds that have limits.
#pragma once

#include <cstdint>

#include "engine/analysis_context.h"

namespace orv {

// Measures the interval of `tableId` that ends now (packetCounter) on `stats`, logs the kind's
// interval events and sets last seen to now. completedSectionNumber chooses between the EIT-P and
// EIT-F events. Without a known stream bitrate no interval exists: only last seen moves.
void measureRepetition(AnalysisContext& ctx, RepetitionStats& stats, unsigned tableId,
                       unsigned completedSectionNumber = 0);

}  // namespace orv
