#include "fuzz/fuzz_inputs.h"

#include "engine/section_crc.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::fuzz {

std::vector<uint8_t> generatedStream(unsigned packetSize, uint64_t durationMs) {
    tsgen::PresetOptions options;
    options.bitrate = 8'000'000;
    options.packetSize = packetSize;
    options.durationMs = durationMs;
    return tsgen::generateStream(tsgen::cleanPreset(options).config);
}

void appendSectionCrc(std::vector<uint8_t>& section) {
    const uint32_t crc = sectionCrc32(section.data(), section.data() + section.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        section.push_back(static_cast<uint8_t>(crc >> shift));
}

void setSectionLength(std::vector<uint8_t>& section, std::size_t total) {
    if (section.size() < 3) return;
    const std::size_t length = total < 3 ? 0 : (total - 3) & 0x0FFF;
    section[1] = static_cast<uint8_t>((section[1] & 0xF0) | (length >> 8));
    section[2] = static_cast<uint8_t>(length);
}

}  // namespace orv::fuzz
