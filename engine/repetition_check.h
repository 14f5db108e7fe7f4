// The repetition measure of the SI tables: the interval since a table kind last started, its
// statistics, and the TR 101 290 interval events of the kinds that have limits. Intervals run
// from section start to section start. The upper limits hold per table kind; the 25 ms lower
// limit holds between sections of one sub_table (see sub_table_starts.h).
#pragma once

#include <cstdint>
#include <span>

#include "engine/analysis_context.h"

namespace orv {

// Measures the interval of `tableId` that ends now (packetCounter) on `stats`, logs the kind's
// upper interval event and sets last seen to now. completedSectionNumber chooses between the
// EIT-P and EIT-F events. Without a known stream bitrate no interval exists: only last seen moves.
void measureRepetition(AnalysisContext& ctx, RepetitionStats& stats, unsigned tableId,
                       unsigned completedSectionNumber = 0);

// The repetition measure of a section of `tableId` starting now on an SI PID: the interval since
// the last start of that table kind, once the kind holds a good section (the first interval runs
// from the start of the first section stored). Whatever becomes of the section before (stuffing,
// a bad CRC, a table the PID does not store), every start is measured. completedSectionNumber
// (of the EIT section just completed) chooses between the EIT-P and EIT-F events.
void measureSectionStart(AnalysisContext& ctx, unsigned tableId, unsigned completedSectionNumber);

// Bytes from the table_id on that name the sub_table of a section of `tableId` for its lower
// limit; 0 when the table has no lower limit.
int subTableKeyBytes(unsigned tableId);

// The lower limit of the section that starts with `header` (at least subTableKeyBytes of its
// table_id) at packet `startPacket`: the interval since the last start of the same sub_table,
// once the table kind holds a good section. Every start is recorded.
void measureSubTableStart(AnalysisContext& ctx, std::span<const uint8_t> header,
                          uint64_t startPacket);

}  // namespace orv
