// The block driver: walks one block of packets after the initialisation phase and runs every
// packet through the header checks, the per-PID work and the continuity verdict.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/analysis_context.h"

namespace orv {

// Returns the number of unexamined bytes at the end of the block (fewer than one packet), or 0
// when the block was walked to its end, abandoned or dropped. cardTimes: online only, one value per
// 40-packet unit of the block.
std::size_t analyseBlock(AnalysisContext& ctx, const uint8_t* block, std::size_t length,
                         std::span<const uint32_t> cardTimes = {});

}  // namespace orv
