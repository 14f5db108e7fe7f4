// The capture viewer's texts and the capture report body, against packets and sections decoded by
// hand from their bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/section_crc.h"
#include "presentation/capture_viewer_text.h"
#include "presentation/report_kind_capture.h"

namespace orv {
namespace {

std::vector<uint8_t> counting(std::size_t n) {
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i);
    return v;
}

std::vector<uint8_t> packet(std::initializer_list<uint8_t> header) {
    std::vector<uint8_t> p(188, 0xFF);
    std::copy(header.begin(), header.end(), p.begin());
    return p;
}

TEST(CaptureViewerText, HexDumpHasTwentyBytesALineAndAlwaysALastLine) {
    struct Row {
        std::size_t bytes;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {0, {"0000    "}},
        {3, {"0000    00 01 02 "}},
        // Exactly 20 bytes: one full line, then a line with the next offset and no bytes.
        {20, {"0000    00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 ", "0014    "}},
        {41,
         {"0000    00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 ",
          "0014    14 15 16 17 18 19 1a 1b 1c 1d 1e 1f 20 21 22 23 24 25 26 27 ", "0028    28 "}},
    };
    for (const Row& r : rows) {
        TextLines out;
        appendHexDump(counting(r.bytes), out);
        EXPECT_EQ(out, r.lines) << r.bytes;
    }
}

TEST(CaptureViewerText, TsHeaderFieldsDecodeEveryBit) {
    struct Row {
        std::vector<uint8_t> packet;
        std::vector<std::string> lines;
    };
    // 5F = 0 1 0 11111: PUSI set, PID 0x1FFF; 1A = 00 01 1010: payload only, counter 10.
    // A2 = 1 0 1 00010: TEI and priority set, PID 0x0201; F5 = 11 11 0101.
    const Row rows[] = {
        {packet({0x47, 0x5F, 0xFF, 0x1A}),
         {"TS Header", "Sync Byte                             8 bit            0x47",
          "Transport Error Indicator             1 bit            0",
          "Payload Unit Start Indicator          1 bit            1",
          "Transport Priority                    1 bit            0",
          "PID                                   13 bit           0x1fff",
          "Transport Scrambling Control          2 bit            0",
          "Adaptation Field Contrlo              2 bit            1",
          "Continuity Counter                    4 bit            10"}},
        {packet({0x47, 0xA2, 0x01, 0xF5}),
         {"TS Header", "Sync Byte                             8 bit            0x47",
          "Transport Error Indicator             1 bit            1",
          "Payload Unit Start Indicator          1 bit            0",
          "Transport Priority                    1 bit            1",
          "PID                                   13 bit           0x0201",
          "Transport Scrambling Control          2 bit            3",
          "Adaptation Field Contrlo              2 bit            3",
          "Continuity Counter                    4 bit            5"}},
        {{0x47, 0x40, 0x00}, {}},  // too short for a header
    };
    for (const Row& r : rows) {
        TextLines out;
        appendTsHeader(r.packet, out);
        EXPECT_EQ(out, r.lines);
    }
}

// What each kind of copy shows: in the report (kind 9) and in the viewer.
TEST(CaptureViewerText, EachCopyKindShowsItsSyntaxThenItsBytes) {
    // A one-program PAT: section_length 13, transport_stream_id 1, program 1 on PID 0x0100.
    std::vector<uint8_t> pat = {0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1, 0x00, 0x00,
                                0x00, 0x01, 0xE1, 0x00, 0,    0,    0,    0};
    const uint32_t crc = sectionCrc32(pat.data(), pat.data() + 12);
    for (int i = 0; i < 4; ++i)
        pat[12 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));

    CaptureCopy section{.trigger = kCaptureLaterPat, .bytes = pat};
    std::vector<std::string> lines = captureReportLines(section);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "Program Association Section");
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "   Section_length                              12 bit          13 (字节)"),
              lines.end());
    char dump[80];
    std::snprintf(dump, sizeof dump,
                  "0000    00 b0 0d 00 01 c1 00 00 00 01 e1 00 %02x %02x %02x %02x ", pat[12],
                  pat[13], pat[14], pat[15]);
    EXPECT_EQ(lines.back(), dump);

    // A packet: the header, then 188 bytes: nine full lines and one of 8 bytes at 0xb4.
    const CaptureCopy pkt{.trigger = kCapturePidPacket, .bytes = packet({0x47, 0xA2, 0x01, 0xF5})};
    lines = captureReportLines(pkt);
    ASSERT_EQ(lines.size(), 1u + 8u + 10u);
    EXPECT_EQ(lines[0], "TS Header");
    EXPECT_EQ(lines[2], "Transport Error Indicator             1 bit            1");
    EXPECT_EQ(lines[9], "0000    47 a2 01 f5 ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ");
    EXPECT_EQ(lines.back(), "00b4    ff ff ff ff ff ff ff ff ");

    // A PES start and an error block: the report holds their bytes only.
    const CaptureCopy pes{.trigger = kCaptureVideoPes, .bytes = {0x00, 0x00, 0x01, 0xE0}};
    EXPECT_EQ(captureReportLines(pes), std::vector<std::string>{"0000    00 00 01 e0 "});

    // The block of three packets with the faulty one second: the viewer decodes that packet and
    // marks its bits, 188 x 8 to 376 x 8.
    std::vector<uint8_t> block = packet({0x47, 0x01, 0x00, 0x10});
    const std::vector<uint8_t> faulty = packet({0x47, 0xA2, 0x01, 0xF5});
    block.insert(block.end(), faulty.begin(), faulty.end());
    block.insert(block.end(), block.begin(), block.begin() + 188);
    const CaptureCopy error{.trigger = kCaptureTransportError, .bytes = block, .packetOffset = 188};
    const std::vector<std::string> report = captureReportLines(error);
    EXPECT_EQ(report.front().substr(0, 20), "0000    47 01 00 10 ");
    EXPECT_EQ(report.size(), 564u / 20u + 1u);
    const CaptureView view = captureView(error);
    EXPECT_EQ(view.fromBit, 188u * 8u);
    EXPECT_EQ(view.toBit, 376u * 8u);
    ASSERT_GE(view.lines.size(), 9u);
    EXPECT_EQ(view.lines[0], "TS Header");
    EXPECT_EQ(view.lines[2], "Transport Error Indicator             1 bit            1");
    EXPECT_EQ(view.lines[5], "PID                                   13 bit           0x0201");
    EXPECT_EQ(view.lines.size(), 9u + report.size());

    // A CRC error copy is shown in the viewer with its section text.
    const CaptureCopy crcCopy{.trigger = kCaptureCrcError, .bytes = pat};
    EXPECT_EQ(captureView(crcCopy).lines.front(), "Program Association Section");
}

}  // namespace
}  // namespace orv
