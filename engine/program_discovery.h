// The initialisation phase of a run: the first blocks are walked to find the PAT, the CAT and the
// PMT of every program, to list the PIDs of the stream and to report progress to the
// initialisation dialog; finishInit then hands the run to the block driver.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/analysis_context.h"

namespace orv {

// Walks one block at ctx.packetLength (framing without events) and, per packet in sync: lists a
// new PID (up to 100), feeds the PAT collector (analysePat; a program change stops the walk), the
// CAT collector (analyseCat) and, once the PAT is known, the PMT collector of every program on the
// PID (analysePmt), all in the initialisation-phase completion variant. No continuity, error or
// statistics work. Returns the number of trailing bytes that were fewer than one packet.
std::size_t initBlock(AnalysisContext& ctx, const uint8_t* block, std::size_t length);

// Ends the phase: counts the distinct PCR PIDs, sets initDone and empties the PAT, CAT and PMT
// collectors. Online it also updates the dialog, takes the card's bitrate and arms the run start
// timer; online with runState 3 (the card failed) it only arms the bitrate timer, which stops
// the analysis.
void finishInit(AnalysisContext& ctx);

}  // namespace orv
