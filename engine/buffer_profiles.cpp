// The data tables of the buffer model: the peak bit rate and the largest VBV buffer of each MPEG-2
// video profile and level, and the audio rates by bitrate_index.
#include <array>

#include "engine/buffer_model.h"

namespace orv {
namespace {

struct ProfileLevelRow {
    uint8_t value;  // profile_and_level_indication, escape bit included
    int64_t ebBits;
    int64_t rmax;
};

// The upper bounds of MPEG-2 video for bit rate and VBV buffer size. The model follows the one
// elementary stream of a PID, so a scalable profile (SNR, Spatial, High) takes the bounds of its
// whole bitstream, the largest of its profile and level: a decoder of that conformance point
// receives at least these, and smaller bounds would turn a valid single-layer stream at a rate
// above its base layer's bound into buffer overflows. Combinations the standard does not define,
// and the multiview profile, are not in the table: such a video is not modelled.
constexpr std::array<ProfileLevelRow, 13> kProfileLevels = {{
    {0x14, 12'222'464, 100'000'000},  // High @ High
    {0x16, 9'781'248, 80'000'000},    // High @ High-1440
    {0x18, 2'441'216, 20'000'000},    // High @ Main
    {0x26, 7'340'032, 60'000'000},    // Spatially scalable @ High-1440
    {0x38, 1'835'008, 15'000'000},    // SNR scalable @ Main
    {0x3A, 475'136, 4'000'000},       // SNR scalable @ Low
    {0x44, 9'781'248, 80'000'000},    // Main @ High
    {0x46, 7'340'032, 60'000'000},    // Main @ High-1440
    {0x48, 1'835'008, 15'000'000},    // Main @ Main
    {0x4A, 475'136, 4'000'000},       // Main @ Low
    {0x58, 1'835'008, 15'000'000},    // Simple @ Main
    {0x82, 47'185'920, 300'000'000},  // 4:2:2 @ High
    {0x85, 9'437'184, 50'000'000},    // 4:2:2 @ Main
}};

constexpr std::array<int32_t, 15> kAudioRates = {0,       32'000,  48'000,  56'000,  64'000,
                                                 80'000,  96'000,  112'000, 128'000, 160'000,
                                                 192'000, 224'000, 256'000, 320'000, 384'000};

}  // namespace

ProfileLevelLimits profileLevelLimits(uint8_t profileAndLevel) {
    for (const ProfileLevelRow& row : kProfileLevels)
        if (row.value == profileAndLevel) return {row.ebBits, row.rmax};
    return {};
}

int32_t audioBitrateOfIndex(unsigned bitrateIndex) {
    return bitrateIndex < kAudioRates.size() ? kAudioRates[bitrateIndex] : 0;
}

}  // namespace orv
