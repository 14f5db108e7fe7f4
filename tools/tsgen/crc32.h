// The generator's own CRC-32 of MPEG-2 sections (polynomial 0x04C11DB7, preset all ones, MSB
// first, no reflection, no final inversion). Kept apart from the analyzer's routine on purpose:
// streams built here are an independent check of the analyzer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsgen {

uint32_t crc32Mpeg2(const uint8_t* data, std::size_t size);

}  // namespace tsgen
