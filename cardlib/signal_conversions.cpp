#include "cardlib/signal_conversions.h"

#include <array>

namespace orv::zel {
namespace {

// Level by the first byte, 115 to 254.
constexpr std::array<float, 140> kLevelA{
    115.0f, 113.8f, 112.4f, 111.5f, 110.3f, 109.9f, 109.3f, 108.6f, 108.2f, 107.3f,  // 115
    106.8f, 106.5f, 106.1f, 105.9f, 105.5f, 104.9f, 104.6f, 104.4f, 103.7f, 103.4f,  // 125
    103.3f, 103.3f, 102.2f, 101.9f, 101.6f, 101.4f, 101.3f, 101.1f, 100.6f, 100.3f,  // 135
    100.1f, 99.9f,  99.7f,  99.2f,  98.9f,  98.6f,  98.4f,  98.2f,  98.0f,  97.8f,   // 145
    97.8f,  97.6f,  97.4f,  97.3f,  97.2f,  97.1f,  96.8f,  96.7f,  96.6f,  96.4f,   // 155
    96.3f,  96.1f,  96.0f,  95.8f,  95.6f,  95.5f,  95.4f,  95.3f,  95.2f,  95.1f,   // 165
    94.9f,  94.7f,  94.6f,  94.4f,  94.3f,  94.2f,  94.1f,  94.0f,  93.9f,  93.8f,   // 175
    93.5f,  93.5f,  93.4f,  93.4f,  93.4f,  93.4f,  93.3f,  93.3f,  93.3f,  93.3f,   // 185
    93.3f,  93.2f,  93.2f,  93.2f,  93.2f,  93.2f,  93.2f,  93.2f,  93.2f,  93.1f,   // 195
    93.1f,  93.1f,  93.1f,  93.1f,  93.1f,  93.1f,  93.1f,  93.0f,  93.0f,  92.5f,   // 205
    92.5f,  92.5f,  92.4f,  92.4f,  92.3f,  92.2f,  92.1f,  92.1f,  92.1f,  92.0f,   // 215
    92.0f,  92.0f,  92.0f,  92.0f,  92.0f,  92.0f,  92.0f,  92.0f,  92.0f,  92.0f,   // 225
    92.0f,  91.9f,  91.9f,  91.9f,  91.9f,  91.9f,  91.9f,  91.9f,  91.8f,  91.8f,   // 235
    91.8f,  91.8f,  91.8f,  91.8f,  91.8f,  91.8f,  91.8f,  91.8f,  91.8f,  91.8f,   // 245
};

// Level by the second byte when the first is 255, 0 to 183.
constexpr std::array<float, 184> kLevelB{
    91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f,  // 0
    91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f,  // 10
    91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.8f,  // 20
    91.8f, 91.8f, 91.8f, 91.8f, 91.8f, 91.7f, 91.7f, 91.7f, 91.7f, 91.7f,  // 30
    91.7f, 91.7f, 91.6f, 91.5f, 91.4f, 91.3f, 91.3f, 91.2f, 91.1f, 91.0f,  // 40
    90.7f, 90.3f, 90.0f, 89.6f, 89.3f, 89.2f, 88.5f, 88.2f, 88.2f, 88.1f,  // 50
    88.0f, 87.5f, 87.1f, 86.5f, 86.4f, 86.2f, 86.1f, 86.0f, 85.8f, 85.6f,  // 60
    85.4f, 85.1f, 84.8f, 84.7f, 84.5f, 84.3f, 83.9f, 83.7f, 83.6f, 83.5f,  // 70
    83.4f, 83.3f, 83.3f, 83.3f, 82.4f, 82.1f, 82.0f, 81.6f, 81.5f, 81.4f,  // 80
    81.2f, 81.1f, 81.1f, 80.4f, 80.2f, 79.9f, 79.5f, 79.4f, 78.8f, 78.5f,  // 90
    78.4f, 78.3f, 78.2f, 77.3f, 77.3f, 77.0f, 76.5f, 76.3f, 76.0f, 75.5f,  // 100
    75.3f, 74.8f, 74.3f, 73.8f, 73.6f, 73.3f, 73.2f, 72.6f, 72.2f, 71.7f,  // 110
    71.4f, 70.8f, 70.5f, 70.1f, 69.8f, 69.3f, 68.8f, 68.5f, 68.0f, 67.8f,  // 120
    67.3f, 66.4f, 66.1f, 65.9f, 65.5f, 65.0f, 64.8f, 64.1f, 63.8f, 63.6f,  // 130
    62.9f, 62.4f, 62.0f, 61.5f, 61.3f, 60.8f, 60.2f, 59.7f, 59.4f, 58.5f,  // 140
    58.0f, 57.5f, 57.3f, 56.6f, 56.4f, 55.7f, 55.3f, 54.5f, 54.3f, 53.6f,  // 150
    53.0f, 52.6f, 52.0f, 51.6f, 50.6f, 50.1f, 49.8f, 49.1f, 48.5f, 48.2f,  // 160
    48.0f, 47.8f, 47.1f, 46.7f, 46.4f, 45.8f, 45.6f, 45.3f, 45.0f, 44.6f,  // 170
    44.1f, 43.7f, 43.7f, 43.5f,                                            // 180
};

struct QualityCurve {
    double numerator;  // figure = numerator / (scale x + offset) + floor
    double scale;
    double offset;
    double floor;
};

// By mode code 5 to 9 (16 to 256-QAM).
constexpr std::array<QualityCurve, 5> kQuality{{
    {195, 0.32, 1.38, 10},
    {215, 0.4, 5, 13.5},
    {210, 0.4, 5, 12.5},
    {185, 0.38, 4, 13.8},
    {180, 1, 0.4, 20.3},
}};

constexpr std::array<double, 4> kRatioDivisor{130000, 1000000, 10000000, 100000000};

}  // namespace

float signalLevelDbuv(std::uint8_t a, std::uint8_t b) {
    if (a <= 114) return 115.0f;
    if (a <= 254) return kLevelA[a - 115];
    return b < kLevelB.size() ? kLevelB[b] : kLevelB.back();
}

float qualityDb(std::uint8_t x, std::uint32_t modeCode) {
    if (modeCode < 5 || modeCode > 9) return -1.0f;
    const QualityCurve& c = kQuality[modeCode - 5];
    return static_cast<float>(c.numerator / (c.scale * x + c.offset) + c.floor);
}

float errorRatio(std::uint32_t mantissa, std::uint8_t exponentBits) {
    return static_cast<float>(mantissa / kRatioDivisor[(exponentBits >> 6) & 3]);
}

}  // namespace orv::zel
