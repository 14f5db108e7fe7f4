#include "engine/section_crc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tsgen/presets.h"

namespace orv {
namespace {

std::vector<uint8_t> fromHex(std::string_view hex) {
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return out;
}

uint32_t crcOf(const std::vector<uint8_t>& v) {
    return sectionCrc32(v.data(), v.data() + v.size());
}

// Whole sections, CRC_32 field included, as broadcast: a PAT with a network PID and one program,
// a PAT of fourteen programs and a PMT with descriptors.
const std::string_view kBroadcastSections[] = {
    "00b0110001c100000000e01f0001e10024ac4884",
    "00b0390438d900000000e0102261e0642262e0c82263e12c2264e1902265e1f42266e2582267e2bc2268e3202269"
    "e384226ae3e822c3f0032caeb25a",
    "02b0340001c10000f001f00c050448444d5688040ffffcfc02f011f00086f100f0060a04656e670004f101f0060a"
    "04656e6700d4536c26",
};

TEST(SectionCrc, IntactBroadcastSectionsGiveZero) {
    for (auto hex : kBroadcastSections) {
        const auto section = fromHex(hex);
        EXPECT_EQ(crcOf(section), 0u) << hex;
        EXPECT_EQ(sectionCrc32BitSerial(section.data(), section.data() + section.size()), 0u);
    }
}

TEST(SectionCrc, EverySingleBitFlipIsDetected) {
    for (auto hex : kBroadcastSections) {
        auto section = fromHex(hex);
        for (std::size_t bit = 0; bit < section.size() * 8; ++bit) {
            section[bit / 8] ^= static_cast<uint8_t>(0x80u >> (bit % 8));
            EXPECT_NE(crcOf(section), 0u) << hex << " bit " << bit;
            section[bit / 8] ^= static_cast<uint8_t>(0x80u >> (bit % 8));
        }
    }
}

TEST(SectionCrc, KnownCheckValues) {
    const std::string_view digits = "123456789";
    const auto* first = reinterpret_cast<const uint8_t*>(digits.data());
    EXPECT_EQ(sectionCrc32(first, first + digits.size()), 0x0376E6E7u);
    EXPECT_EQ(sectionCrc32(first, first), 0xFFFFFFFFu);  // preset, no final inversion
}

TEST(SectionCrc, TableDrivenEqualsBitSerial) {
    std::mt19937 rng(20240611u);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> size(0, 1100);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> data(static_cast<std::size_t>(size(rng)));
        for (auto& b : data)
            b = static_cast<uint8_t>(byte(rng));
        ASSERT_EQ(crcOf(data), sectionCrc32BitSerial(data.data(), data.data() + data.size()))
            << "round " << round << " size " << data.size();
    }
}

// Every section of the sample stream's tables (PAT, PMTs, NIT, SDT, EIT present/following and
// schedule) as the generator builds them: intact, and no single flipped bit goes unnoticed.
TEST(SectionCrc, GeneratedSectionsAndEveryBitFlip) {
    const tsgen::Preset preset = tsgen::samplePreset();
    int sections = 0;
    for (const tsgen::TableSource& table : preset.config.tables) {
        for (tsgen::Section section : table.sections) {
            ++sections;
            ASSERT_EQ(crcOf(section), 0u) << "table on PID " << table.pid;
            for (std::size_t bit = 0; bit < section.size() * 8; ++bit) {
                section[bit / 8] ^= static_cast<uint8_t>(0x80u >> (bit % 8));
                ASSERT_NE(crcOf(section), 0u) << "PID " << table.pid << " bit " << bit;
                section[bit / 8] ^= static_cast<uint8_t>(0x80u >> (bit % 8));
            }
        }
    }
    EXPECT_GT(sections, 100);
}

}  // namespace
}  // namespace orv
