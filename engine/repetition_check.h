// The repetition measure of the SI tables: the interval since a table kind last started, its
// statistics, and the TR 101 290 interval events of the kinds that have limits. Intervals run
// from section start to section start.
#pragma once

#include <cstdint>

#include "engine/analysis_context.h"

namespace orv {

// Measures the interval of `tableId` that ends now (packetCounter) on `stats`, logs the kind's
// interval events and sets last seen to now. completedSectionNumber chooses between the EIT-P and
// EIT-F events. Without a known stream bitrate no interval exists: only last seen moves.
void measureRepetition(AnalysisContext& ctx, RepetitionStats& stats, unsigned tableId,
                       unsigned completedSectionNumber = 0);

// The repetition measure of a section of `tableId` starting now on an SI PID: the interval since
// the last start of that table kind, once the kind holds a good section (the first interval runs
// from the start of the first section stored). Whatever becomes of the section before (stuffing,
// a bad CRC, a table the PID does not store), every start is measured. completedSectionNumber
// (of the EIT section just completed) chooses between the EIT-P and EIT-F events.
void measureSectionStart(AnalysisContext& ctx, unsigned tableId, unsigned completedSectionNumber);

}  // namespace orv
