// The data tables of the buffer model: elementary stream buffer sizes and peak rates by
// profile_and_level_indication, and the audio rates by bitrate_index.
#include <array>

#include "engine/buffer_model.h"

namespace orv {
namespace {

struct ProfileLevelRow {
    uint8_t value;
    int64_t ebBits;
    int64_t rmax;
};

constexpr std::array<ProfileLevelRow, 11> kProfileLevels = {{
    {0x14, 3'047'424, 0},
    {0x16, 2'441'216, 0},
    {0x18, 475'136, 0},
    {0x26, 1'835'008, 0},
    {0x38, 1'212'416, 0},
    {0x3A, 360'448, 0},
    {0x44, 9'781'248, 80'000'000},
    {0x46, 7'340'032, 60'000'000},
    {0x48, 1'835'008, 15'000'000},
    {0x58, 1'835'008, 15'000'000},
    {0x4A, 475'136, 4'000'000},
}};

constexpr std::array<int32_t, 15> kAudioRates = {0,       32'000,  48'000,  56'000,  64'000,
                                                 80'000,  96'000,  112'000, 128'000, 160'000,
                                                 192'000, 224'000, 256'000, 320'000, 384'000};

}  // namespace

ProfileLevelLimits profileLevelLimits(uint8_t profileAndLevel) {
    const uint8_t v = profileAndLevel & 0x7F;
    for (const ProfileLevelRow& row : kProfileLevels)
        if (row.value == v) return {row.ebBits, row.rmax};
    return {};
}

int32_t audioBitrateOfIndex(unsigned bitrateIndex) {
    return bitrateIndex < kAudioRates.size() ? kAudioRates[bitrateIndex] : 0;
}

}  // namespace orv
