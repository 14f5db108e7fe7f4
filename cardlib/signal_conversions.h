// The QAM signal level (dBuV, from two level bytes) and quality figure (dB, from one quality
// byte and the constellation's mode code) of the USB box's information packets and channel
// status.
#pragma once

#include <cstdint>

namespace orv::zel {

float signalLevelDbuv(std::uint8_t a, std::uint8_t b);
float qualityDb(std::uint8_t x, std::uint32_t modeCode);
// The error ratio of a mantissa and the exponent bits (0x00, 0x40, 0x80, 0xC0).
float errorRatio(std::uint32_t mantissa, std::uint8_t exponentBits);

}  // namespace orv::zel
