// Writers of the DVB SI tables: NIT, SDT, BAT, EIT, TDT and TOT.
#include "presentation/dvb_time_text.h"
#include "presentation/section_rows.h"
#include "presentation/section_text.h"
#include "presentation/text_format.h"

namespace orv {
namespace {

using namespace rows;

constexpr const char* kCrcLine =
    "   CRC_32                                      32 bit          0x%08x";

constexpr Row kNitHeader[] = {
    literal("Network Information Section"),
    value("   Table_id                                    8 bit           0x%02x", 0, 1),
    value("   Section_syntax_indicator                    1 bit           %d", 1, 1, 7, 1),
    literal("   reserved(future use)                        1 bit           1"),
    literal("   reserved                                    2 bit           3"),
    value("   Section_length                              12 bit          %d (字节)", 1, 2, 0,
          0xFFF),
    value("   Network_id                                  16 bit          0x%04x", 3, 2),
    literal("   reserved                                    2 bit           3"),
    value("   Version_number                              5 bit           %d", 5, 1, 1, 0x1F),
    flag("   Current_next_indicator                      1 bit           1   当前子表正被使用",
         "   Current_next_indicator                      1 bit          0   所传子表尚未被使用", 5,
         0),
    value("   section_number                              8 bit           %d", 6, 1),
    value("   Last_section_number                         8 bit           %d", 7, 1),
    literal("   reserved(future use)                        4 bit           15"),
    value("   Network_descriptors_length                  12 bit          %d (字节)", 8, 2, 0,
          0xFFF),
};

constexpr Row kBatHeader[] = {
    literal("Bouquet Association Section"),
    value("   Table_id                                    8 bit          0x%04x", 0, 1),
    value("   Section_syntax_indicator                    1 bit           %d", 1, 1, 7, 1),
    literal("   reserved(future use)                        1 bit           1"),
    literal("   reserved                                    2 bit           3"),
    value("   Section_length                              12 bit          %d (字节)", 1, 2, 0,
          0xFFF),
    value("   Bouquet_id                                  16 bit          0x%04x", 3, 2),
    literal("   reserved                                    2 bit           3"),
    value("   Version_number                              5 bit           %d", 5, 1, 1, 0x1F),
    flag("   Current_next_indicator                     1 bit          1",
         "   Current_next_indicator                     1 bit           0", 5, 0),
    value("   Section_number                              8 bit           %d", 6, 1),
    value("   Last_section_number                         8 bit           %d", 7, 1),
    literal("   reserved(future use)                        4 bit           15"),
    value("   Bouquet_descriptors_length                  12 bit          %d (字节)", 8, 2, 0,
          0xFFF),
};

constexpr Row kSdtHeader[] = {
    literal("Service Description Section"),
    value("   Table_id                                    8 bit           0x%02x", 0, 1),
    value("   Section_syntax_indicator                    1 bit           %d", 1, 1, 7, 1),
    literal("   reserved(future use)                        1 bit           1"),
    literal("   reserved                                    2 bit           3"),
    value("   Section_length                              12 bit          %d (字节)", 1, 2, 0,
          0xFFF),
    value("   Transport_stream_id                         16 bit          0x%04x", 3, 2),
    literal("   reserved                                    2 bit           3"),
    value("   Version_number                              5 bit           %d", 5, 1, 1, 0x1F),
    flag("   Current_next_indicator                      1 bit           1   当前子表正被使用",
         "   Current_next_indicator                      1 bit           0   所传子表尚未被使用", 5,
         0),
    value("   Section_number                              8 bit           %d", 6, 1),
    value("   Last_section_number                         8 bit           %d", 7, 1),
    value("   Original_network_id                         16 bit          0x%04x", 8, 2),
    literal("   reserved(future use)                        8 bit           0xff"),
    literal("   Service Loop"),
};

constexpr Row kEitHeader[] = {
    literal("Event Information Section"),
    value("   Table_id                                    8 bit           0x%02x", 0, 1),
    value("   Section_syntax_indicator                    1 bit           %d", 1, 1, 7, 1),
    literal("   reserved(future use)                        1 bit           1"),
    literal("   reserved                                    2 bit           3"),
    value("   Section_length                              12 bit          %d (字节)", 1, 2, 0,
          0xFFF),
    value("   Service_id                                  16 bit          0x%04x", 3, 2),
    literal("   reserved                                    2 bit           3"),
    value("   Version_number                              5 bit           %d", 5, 1, 1, 0x1F),
    flag("   Current_next_indicator                      1 bit          1   当前子表正被使用",
         "   Current_next_indicator                      1 bit          0   所传子表尚未被使用", 5,
         0),
    value("   Section_number                              8 bit           %d", 6, 1),
    value("   Last_section_number                         8 bit           %d", 7, 1),
    value("   Transport_stream_id                         16 bit          0x%04x", 8, 2),
    value("   Original_network_id                         16 bit          0x%04x", 10, 2),
    value("   Segment_last_section_number                 8 bit           %d", 12, 1),
    value("   Last_table_id                               8 bit           %d", 13, 1),
    literal("   Event Loop"),
};

constexpr Row kTdtHeader[] = {
    literal("Time Data Section"),
    value("   Section_syntax_indicator                    1 bit           %d", 1, 1, 7, 1),
    literal("   reserved(future use)                        1 bit           1"),
    literal("   reserved                                    2 bit           3"),
    value("   Section_length                              12 bit          %d (字节)", 1, 2, 0,
          0xFFF),
};

constexpr Row kTotHeader[] = {
    literal("Time Offset Section"),
    value("   Table_id                                    8 bit           0x%02x", 0, 1),
    literal("   reserved(future use)                        1 bit           1"),
    literal("   reserved                                    2 bit           3"),
    value("   Section_length                              12 bit          %d (字节)", 1, 2, 0,
          0xFFF),
};

// An MJD and BCD time of the section at `at` (5 bytes), in the given date form.
std::string timeAt(const SectionView& s, std::size_t at, const char* tmpl) {
    const CivilDate d = mjdToDate(static_cast<uint16_t>(s.be(at, 2)));
    const uint32_t t = s.be(at + 2, 3);
    return formatText(tmpl, {d.year, d.month, d.day, t >> 16, (t >> 8) & 0xFF, t & 0xFF});
}

// The transport stream loop of NIT and BAT, starting at its 16-bit length field.
void writeTransportStreamLoop(const SectionView& s, std::size_t at, const char* prefix,
                              TextLines& out) {
    if (!s.has(at, 2)) return;
    const std::size_t loopLength = s.be(at, 2) & 0xFFF;
    out.emplace_back("   reserved(future use)                        4 bit           15");
    out.push_back(withValue(
        "   Transport_stream_loop_length                12 bit          %d (字节)", loopLength));
    out.emplace_back("   Transport Stream Loop");
    const std::size_t end = std::min(s.bodyEnd(), at + 2 + loopLength);
    for (std::size_t e = at + 2; e + 6 <= end;) {
        const std::size_t length = s.be(e + 4, 2) & 0xFFF;
        out.push_back(withValue(
            "      Transport_stream_id                     16 bit          0x%04x", s.be(e, 2)));
        out.push_back(
            withValue("      Original_network_id                     16 bit          0x%04x",
                      s.be(e + 2, 2)));
        out.emplace_back("      reserved(future use)                    4 bit           15");
        out.push_back(withValue(
            "      Transport_descriptors_length            12 bit          %d (字节)", length));
        DescriptorText::appendLines(s.loop(e + 6, std::min(length, end - (e + 6))), prefix, out);
        e += 6 + length;
    }
}

// NIT and BAT share their layout; only the texts and the prefixes of the two loops differ.
void writeNetworkLike(std::span<const uint8_t> section, std::span<const Row> header,
                      const char* firstPrefix, const char* streamPrefix, const char* crcLine,
                      TextLines& out) {
    const SectionView s(section, true);
    if (!writeRows(s, header, out)) return;
    const std::size_t length = s.be(8, 2) & 0xFFF;
    DescriptorText::appendLines(s.loop(10, length), firstPrefix, out);
    writeTransportStreamLoop(s, 10 + length, streamPrefix, out);
    if (s.crcPresent()) out.push_back(withValue(crcLine, s.crc()));
}

}  // namespace

void SectionText::writeNit(std::span<const uint8_t> section, TextLines& out) {
    writeNetworkLike(section, kNitHeader, "      ", "         ", kCrcLine, out);
}

// The bouquet descriptors sit at the level of the network descriptors of the NIT and the
// transport stream descriptors one level deeper, as in the NIT.
void SectionText::writeBat(std::span<const uint8_t> section, TextLines& out) {
    writeNetworkLike(section, kBatHeader, "      ", "         ",
                     "   CRC_32                              32 bit                  0x%08x", out);
}

void SectionText::writeSdt(std::span<const uint8_t> section, TextLines& out) {
    const SectionView s(section, true);
    if (!writeRows(s, kSdtHeader, out)) return;
    for (std::size_t at = 11; at + 5 <= s.bodyEnd();) {
        const uint32_t flags = s.be(at + 2, 1);
        const uint32_t status = s.be(at + 3, 2);
        const std::size_t length = status & 0xFFF;
        out.push_back(withValue(
            "      Service_id                               16 bit          0x%04x", s.be(at, 2)));
        out.emplace_back("      reserved(future use)                     6 bit           0x3f");
        out.emplace_back((flags & 0x02) ? "      EIT_schdule_flag                         1 bit    "
                                          "       1   (EIT时间表存在于当前传送流中)"
                                        : "      EIT_schdule_flag                         1 bit    "
                                          "       0   (EIT时间表不在于当前传送流中)");
        out.emplace_back((flags & 0x01) ? "      EIT_present_following_flag               1 bit    "
                                          "       1   (EIT当前/后续信息存在于当前传送流中)"
                                        : "      EIT_present_following_flag               1 bit    "
                                          "       0   (EIT当前/后续信息不在于当前传送流中)");
        out.push_back(runningStatusLine(
            "      Running_status                           3 bit           ", status >> 13));
        out.emplace_back((status & 0x1000) ? "      Free_CA_mode                             1 bit "
                                             "          1   (传送流由CA系统控制)"
                                           : "      Free_CA_mode                             1 bit "
                                             "          0   (表示业务未被加扰)");
        out.emplace_back("      reserved(future use)                     8 bit           0xff");
        out.push_back(withValue(
            "      Service_descriptors_loop_length          12 bit          %d(字节)", length));
        DescriptorText::appendLines(s.loop(at + 5, length), "         ", out);
        at += 5 + length;
    }
    if (s.crcPresent()) out.push_back(withValue(kCrcLine, s.crc()));
}

void SectionText::writeEit(std::span<const uint8_t> section, TextLines& out) {
    const SectionView s(section, true);
    if (!writeRows(s, kEitHeader, out)) return;
    for (std::size_t at = 14; at + 12 <= s.bodyEnd();) {
        const uint32_t status = s.be(at + 10, 2);
        const std::size_t length = status & 0xFFF;
        const uint32_t duration = s.be(at + 7, 3);
        out.push_back(withValue("      Event_id                             16 bit          0x%04x",
                                s.be(at, 2)));
        out.push_back("      Start_time                           40 bit          " +
                      timeAt(s, at + 2, "%02d/%02d/%02d %02x:%02x:%02x"));
        out.push_back(
            formatText("      Duration                             24 bit          %02x:%02x:%02x",
                       {duration >> 16, (duration >> 8) & 0xFF, duration & 0xFF}));
        out.push_back(runningStatusLine(
            "      Running_status                      3 bit           ", status >> 13));
        out.emplace_back(
            (status & 0x1000)
                ? "      Free_CA_mode                        1 bit           1   "
                  "(传送流由CA系统控制)"
                : "      Free_CA_mode                        1 bit           0   (业务未被加扰)");
        out.push_back(withValue(
            "      Descriptors_loopp_length                12 bit          %d (字节)", length));
        DescriptorText::appendLines(s.loop(at + 12, length), "         ", out);
        at += 12 + length;
    }
    if (s.crcPresent()) out.push_back(withValue(kCrcLine, s.crc()));
}

void SectionText::writeTdt(std::span<const uint8_t> section, TextLines& out) {
    const SectionView s(section, false);
    if (!writeRows(s, kTdtHeader, out) || !s.has(3, 5)) return;
    out.push_back("   UTC_time                                    40 bit          " +
                  timeAt(s, 3, "%d/%02d/%02d %02x:%02x:%02x"));
}

void SectionText::writeTot(std::span<const uint8_t> section, TextLines& out) {
    const SectionView s(section, true);
    if (!writeRows(s, kTotHeader, out) || !s.has(3, 5)) return;
    out.push_back("   UTC_time                                    40 bit          " +
                  timeAt(s, 3, "%d/%02d/%02d %02x:%02x:%02x"));
    if (s.has(8, 2)) {
        const std::size_t length = s.be(8, 2) & 0xFFF;
        out.emplace_back("   reserved                                    4 bit           15");
        out.push_back(withValue(
            "   Descriptors_loop_length                     12 bit          %d (字节)", length));
        DescriptorText::appendLines(s.loop(10, length), "      ", out);
    }
    if (s.crcPresent()) out.push_back(withValue(kCrcLine, s.crc()));
}

}  // namespace orv
