// Whole texts of sections taken from real captures, frozen as files under golden/. The files
// were written once by this test (ORV_UPDATE_GOLDEN=1) and checked by hand against the section
// bytes; any change to a line shows here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "presentation/section_text.h"
#include "tests/presentation/texts_test_support.h"

namespace {

using namespace texts_test;

struct GoldenCase {
    const char* capture;
    unsigned pid;
    uint8_t firstTableId, lastTableId;
    const char* golden;
};

constexpr GoldenCase kCases[] = {
    {"cap-mpeg2-mp2-sdt.ts", 0x0000, 0x00, 0x00, "mpeg2_pat.txt"},
    {"cap-mpeg2-mp2-sdt.ts", 0x0810, 0x02, 0x02, "mpeg2_pmt.txt"},
    {"cap-mpeg2-mp2-sdt.ts", 0x0011, 0x42, 0x42, "mpeg2_sdt.txt"},
    {"cap-si-only-nit-sdt-eit-tdt.ts", 0x0010, 0x40, 0x40, "si_nit.txt"},
    {"cap-si-only-nit-sdt-eit-tdt.ts", 0x0011, 0x42, 0x42, "si_sdt.txt"},
    {"cap-si-only-nit-sdt-eit-tdt.ts", 0x0012, 0x50, 0x6F, "si_eit_schedule.txt"},
    {"cap-si-only-nit-sdt-eit-tdt.ts", 0x0014, 0x73, 0x73, "si_tot.txt"},
};

class SectionGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(SectionGolden, TextMatchesTheFrozenFile) {
    const GoldenCase& c = GetParam();
    const auto path = streamPath(c.capture);
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "capture not present: " << path;
    const Bytes ts = readFile(path);
    const auto section = firstSection(
        ts, c.pid, [&](uint8_t id) { return id >= c.firstTableId && id <= c.lastTableId; });
    ASSERT_TRUE(section.has_value()) << c.golden;
    orv::TextLines lines;
    ASSERT_TRUE(orv::SectionText::write(*section, lines));
    const std::string text = joined(lines);

    const auto goldenPath = std::filesystem::path(ORV_TEXTS_GOLDEN_DIR) / c.golden;
    if (std::getenv("ORV_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(goldenPath, std::ios::binary) << text;
        GTEST_SKIP() << "written " << goldenPath;
    }
    ASSERT_TRUE(std::filesystem::exists(goldenPath)) << goldenPath;
    std::ifstream in(goldenPath, std::ios::binary);
    const std::string frozen((std::istreambuf_iterator<char>(in)), {});
    // Line by line, so that a failure names the line that changed.
    const orv::TextLines want = linesOf(frozen);
    ASSERT_EQ(lines.size(), want.size()) << c.golden;
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(lines[i], want[i]) << c.golden << " line " << i + 1;
    }
    EXPECT_EQ(text, frozen);
}

INSTANTIATE_TEST_SUITE_P(Captures, SectionGolden, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string n = info.param.golden;
                             return n.substr(0, n.find('.'));
                         });

}  // namespace
