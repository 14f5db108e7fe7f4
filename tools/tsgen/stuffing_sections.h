// Stuffing sections (table_id 0x72, ETSI EN 300 468): sections that carry nothing and may take the
// place of any SI table on its PID. A receiver, and an analyzer, must skip them without losing
// track of the tables around them.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/tsgen/multiplexer.h"
#include "tools/tsgen/sections.h"

namespace tsgen {

inline constexpr uint8_t kTableStuffing = 0x72;

// A stuffing section of `totalBytes` bytes (3 to 4096): short syntax, section_length =
// totalBytes - 3, data bytes 0xFF, no CRC_32. Throws std::invalid_argument outside that range.
Section buildStuffing(std::size_t totalBytes = 20);

// A source of one stuffing section on the PID of `behind`, sent `delayMs` after each of its
// sections (same interval; with N sections, behind the first only).
TableSource stuffingBehind(const TableSource& behind, uint32_t delayMs = 100,
                           std::size_t totalBytes = 20);

}  // namespace tsgen
