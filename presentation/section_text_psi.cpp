// Writers of the MPEG-2 tables: PAT, CAT and PMT.
#include <algorithm>
#include <vector>

#include "presentation/section_rows.h"
#include "presentation/section_text.h"
#include "presentation/text_format.h"

namespace orv {
namespace {

using namespace rows;

constexpr const char* kCurrentNext1 =
    "   Current_next_indicator                     1 bit           1   当前子表正被使用";
constexpr const char* kCurrentNext0 =
    "   Current_next_indicator                     1 bit           0   所传子表尚未被使用";

constexpr Row kPatHeader[] = {
    literal("Program Association Section"),
    value("   Table_id                                    8 bit           0x%02x", 0, 1),
    value("   Section_syntax_indicator                    1 bit           %01x", 1, 1, 7, 1),
    literal("   '0'1                                        1 bit           0"),
    literal("   reserved                                    2 bit           3"),
    value("   Section_length                              12 bit          %d (字节)", 1, 2, 0,
          0xFFF),
    value("   Transport_stream_id                         16 bit          0x%04x", 3, 2),
    literal("   reserved                                    2 bit           3"),
    value("   Version_number                              5 bit           %d", 5, 1, 1, 0x1F),
    flag(kCurrentNext1, kCurrentNext0, 5, 0),
    value("   Section_number                              8 bit           %d", 6, 1),
    value("   Last_section_number                         8 bit           %d", 7, 1),
    literal("Program Loop"),
};

constexpr Row kCatHeader[] = {
    literal("CA Section"),
    value("   Table_id                                    8 bit           0x%02x", 0, 1),
    value("   Section_syntax_indicator                    1 bit           %d", 1, 1, 7, 1),
    literal("   '0'                                         1 bit           1"),
    literal("   reserved                                    2 bit           3"),
    value("   Section_length                              12 bit          %d (字节)", 1, 2, 0,
          0xFFF),
    literal("   reserved                                    18 bit          0x3ffff"),
    value("   Version_number                              5 bit           %d", 5, 1, 1, 0x1F),
    flag(kCurrentNext1, kCurrentNext0, 5, 0),
    value("   Section_number                              8 bit           %d", 6, 1),
    value("   Last_section_number                         8 bit           %d", 7, 1),
};

constexpr Row kPmtHeader[] = {
    literal("Program Map Section"),
    value("   Table_id                                    8 bit           0x%02x", 0, 1),
    value("   Section_syntax_indicator                    1 bit           %d", 1, 1, 7, 1),
    literal("   '0'                                         1 bit           0"),
    literal("   reserved                                    2 bit           3"),
    value("   Section_length                              12 bit          %d (字节)", 1, 2, 0,
          0xFFF),
    value("   Program_number                              16 bit          0x%04x", 3, 2),
    literal("   reserved                                    2 bit           3"),
    value("   Version_number                              5 bit           %d", 5, 1, 1, 0x1F),
    flag(kCurrentNext1, kCurrentNext0, 5, 0),
    value("   Section_number                              8 bit           %d", 6, 1),
    value("   Last_section_number                         8 bit           %d", 7, 1),
    literal("   reserved                                    3 bit           7"),
    value("   PCR_PID                                     13 bit          0x%04x", 8, 2, 0, 0x1FFF),
    literal("\treserved\t\t\t\t\t\t\t\t\t4 bit\t\t\t15"),
    value("\tProgram_info_length\t\t\t\t\t\t\t12 bit\t\t\t%d (字节)", 10, 2, 0, 0xFFF),
};

constexpr const char* kStreamTypes[] = {
    "0x01\tMPEG-1 视频",   "0x02\tMPEG-2 视频",    "0x03\tMPEG-1 音频",  "0x04\tMPEG-2 音频",
    "0x05\t13818-1私有段", "0x06\tPES包私有数据",  "0x07\t13522 MHEG",   "0x08\tDSM CC",
    "0x09\tRec.H.221.1",   "0x0a\t13818-6类型A",   "0x0b\t13818-6类型B", "0x0c\t13818-6类型C",
    "0x0d\t13818-6类型D",  "0x0e\t13818-1辅助数据"};

std::string streamTypeText(unsigned type) {
    if (type >= 1 && type <= std::size(kStreamTypes)) return kStreamTypes[type - 1];
    return formatText(type >= 0x80 ? "0x%02x\t用户定义数据" : "0x%02x\t保留", {type});
}

void writeCrc(const SectionView& s, const char* tmpl, TextLines& out) {
    if (s.crcPresent()) out.push_back(withValue(tmpl, s.crc()));
}

}  // namespace

void SectionText::writePat(std::span<const uint8_t> section, TextLines& out) {
    const SectionView s(section, true);
    if (!writeRows(s, kPatHeader, out)) return;
    // The network PID entry comes first, then the programs in the order of the bytes.
    for (const bool network : {true, false}) {
        for (std::size_t at = 8; s.has(at, 4) && at + 4 <= s.bodyEnd(); at += 4) {
            const uint32_t number = s.be(at, 2);
            const uint32_t pid = s.be(at + 2, 2) & 0x1FFF;
            if ((number == 0) != network) continue;
            out.push_back(withValue(
                "      Program_number                          16 bit           0x%04x", number));
            out.emplace_back("      reserved                                3 bit            7");
            out.push_back(withValue(
                network ? "      Network_PID                             13 bit           0x%04x"
                        : "      Program_map_PID                         13 bit           0x%04x",
                pid));
        }
    }
    writeCrc(s, "   CRC_32                                      32 bit           0x%08x", out);
}

void SectionText::writePat(const PatModel& pat, TextLines& out) {
    // Rebuilt as the section it was read from, so that both ways share one writer.
    const PsiHeader& h = pat.header;
    const int count = std::clamp(pat.programCount, 0, static_cast<int>(pat.programs.size()));
    const bool network = pat.networkPid != 0;
    const std::size_t length = 5 + 4 * (static_cast<std::size_t>(count) + network) + 4;
    std::vector<uint8_t> b;
    b.reserve(3 + length);
    auto put16 = [&b](uint32_t v) {
        b.push_back(static_cast<uint8_t>(v >> 8));
        b.push_back(static_cast<uint8_t>(v));
    };
    b.push_back(h.tableId);
    put16(static_cast<uint32_t>(h.sectionSyntaxIndicator & 1) << 15 | 0x3000 |
          static_cast<uint32_t>(length));
    put16(h.tableIdExtension);
    b.push_back(
        static_cast<uint8_t>(0xC0 | (h.versionNumber & 0x1F) << 1 | (h.currentNextIndicator & 1)));
    b.push_back(h.sectionNumber);
    b.push_back(h.lastSectionNumber);
    if (network) {
        put16(0);
        put16(0xE000u | pat.networkPid);
    }
    for (int i = 0; i < count; ++i) {
        put16(pat.programs[static_cast<std::size_t>(i)].programNumber);
        put16(0xE000u | pat.programs[static_cast<std::size_t>(i)].pmtPid);
    }
    put16(h.crc32 >> 16);
    put16(h.crc32 & 0xFFFF);
    writePat(b, out);
}

void SectionText::writeCat(std::span<const uint8_t> section, TextLines& out) {
    const SectionView s(section, true);
    if (!writeRows(s, kCatHeader, out)) return;
    DescriptorText::appendLines(s.loop(8, s.bodyEnd()), "   ", out);
    writeCrc(s, "   CRC_32                                      32 bit          0x%08x", out);
}

void SectionText::writePmt(std::span<const uint8_t> section, TextLines& out) {
    const SectionView s(section, true);
    if (!writeRows(s, kPmtHeader, out)) return;
    const std::size_t infoLength = s.be(10, 2) & 0xFFF;
    DescriptorText::appendLines(s.loop(12, infoLength), "        ", out);
    out.emplace_back("\tStream Loop");
    for (std::size_t at = 12 + infoLength; at + 5 <= s.bodyEnd();) {
        const std::size_t esLength = s.be(at + 3, 2) & 0xFFF;
        out.push_back("      Stream_type                          8 bit           " +
                      streamTypeText(s.be(at, 1)));
        out.emplace_back("        reserved                          3 bit             7");
        out.push_back(
            withValue("        Elementary_PID                    13 bit            0x%04x",
                      s.be(at + 1, 2) & 0x1FFF));
        out.emplace_back("        reserved                          4 bit             15");
        out.push_back(withValue(
            "        ES_info_length                    12 bit            %d (字节)", esLength));
        DescriptorText::appendLines(s.loop(at + 5, esLength), "           ", out);
        at += 5 + esLength;
    }
    writeCrc(s, "   CRC_32                                      32 bit           0x%08x", out);
}

namespace {

using SectionWriter = void (*)(std::span<const uint8_t>, TextLines&);
struct WriterByTableId {
    uint8_t first, last;
    SectionWriter writer;
};
constexpr WriterByTableId kWriters[] = {
    {0x00, 0x00, static_cast<SectionWriter>(&SectionText::writePat)},
    {0x01, 0x01, &SectionText::writeCat},
    {0x02, 0x02, &SectionText::writePmt},
    {0x40, 0x41, &SectionText::writeNit},
    {0x42, 0x42, &SectionText::writeSdt},
    {0x46, 0x46, &SectionText::writeSdt},
    {0x4A, 0x4A, &SectionText::writeBat},
    {0x4E, 0x6F, &SectionText::writeEit},
    {0x70, 0x70, &SectionText::writeTdt},
    {0x73, 0x73, &SectionText::writeTot},
};

}  // namespace

bool SectionText::write(std::span<const uint8_t> section, TextLines& out) {
    if (section.empty()) return false;
    for (const WriterByTableId& w : kWriters) {
        if (section[0] >= w.first && section[0] <= w.last) {
            w.writer(section, out);
            return true;
        }
    }
    return false;
}

}  // namespace orv
