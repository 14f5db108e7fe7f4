// A plain PAT/PMT discovery over one block: it finds the first valid PAT, builds the program
// table from it and reads each program's first valid PMT. No events, intervals or dialog work;
// it serves until the full initialisation phase takes its place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/analysis_context.h"

namespace orv {

// Walks the block at ctx.packetLength (188 unless it is 204) and feeds the PAT collectors and the
// PMT collectors of every program on the packet's PID in the initialisation-phase variant.
// Returns the number of trailing bytes that were fewer than one packet.
std::size_t discoverPrograms(AnalysisContext& ctx, const uint8_t* block, std::size_t length);

}  // namespace orv
