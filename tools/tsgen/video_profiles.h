// The MPEG-2 video profiles and levels tsgen can declare in its sequence extensions, by name
// ("main@main", "high@high", "422@main", ...), for streams whose video must claim a given
// profile_and_level_indication.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "tools/tsgen/multiplexer.h"

namespace tsgen {

struct VideoProfileName {
    std::string_view name;
    uint8_t profileAndLevel;  // escape bit included (4:2:2 profile)
};

extern const std::array<VideoProfileName, 13> kVideoProfiles;

std::optional<uint8_t> videoProfileByName(std::string_view name);

// Sets the profile_and_level_indication of every program's video.
void setVideoProfile(StreamConfig& cfg, uint8_t profileAndLevel);

}  // namespace tsgen
