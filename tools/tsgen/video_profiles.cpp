#include "tools/tsgen/video_profiles.h"

namespace tsgen {

const std::array<VideoProfileName, 13> kVideoProfiles = {{
    {"simple@main", 0x58},
    {"main@low", 0x4A},
    {"main@main", 0x48},
    {"main@high-1440", 0x46},
    {"main@high", 0x44},
    {"snr@low", 0x3A},
    {"snr@main", 0x38},
    {"spatial@high-1440", 0x26},
    {"high@main", 0x18},
    {"high@high-1440", 0x16},
    {"high@high", 0x14},
    {"422@main", 0x85},
    {"422@high", 0x82},
}};

std::optional<uint8_t> videoProfileByName(std::string_view name) {
    for (const VideoProfileName& p : kVideoProfiles)
        if (p.name == name) return p.profileAndLevel;
    return std::nullopt;
}

void setVideoProfile(StreamConfig& cfg, uint8_t profileAndLevel) {
    for (ProgramConfig& program : cfg.programs)
        if (program.video) program.video->profileLevel = profileAndLevel;
}

}  // namespace tsgen
