// CRC-32 of MPEG-2 sections: polynomial 0x04C11DB7, preset all ones, most significant bit first,
// no reflection, no final inversion. Over a whole section including its CRC_32 field the result
// is 0 exactly when the section is intact.
#pragma once

#include <cstdint>

namespace orv {

uint32_t sectionCrc32(const uint8_t* first, const uint8_t* end);

// The same CRC one bit at a time; the reference the table-driven form is tested against.
uint32_t sectionCrc32BitSerial(const uint8_t* first, const uint8_t* end);

}  // namespace orv
