// Section writers: whole texts of sections built by the stream synthesizer, the forms the
// catalogue singles out, the choice of writer by table_id and sections cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "presentation/section_text.h"
#include "tests/presentation/texts_test_support.h"
#include "tools/tsgen/crc32.h"
#include "tools/tsgen/dvb_time.h"
#include "tools/tsgen/sections.h"

namespace {

using orv::SectionText;
using orv::TextLines;
using texts_test::Bytes;

std::string crcLine(const char* head, const Bytes& s) {
    const std::size_t n = s.size();
    char buf[120];
    std::snprintf(buf, sizeof buf, "%s0x%02x%02x%02x%02x", head, s[n - 4], s[n - 3], s[n - 2],
                  s[n - 1]);
    return buf;
}

TextLines write(const Bytes& s) {
    TextLines out;
    EXPECT_TRUE(SectionText::write(s, out));
    return out;
}

TEST(SectionText, PmtWithoutProgramDescriptorsAndUnlistedStreamTypes) {
    tsgen::PmtParams p;
    p.programNumber = 1;
    p.pcrPid = 0x100;
    p.streams = {{0x81, 0x101, {}}, {0x1B, 0x102, {tsgen::iso639LanguageDescriptor("chi", 1)}}};
    const Bytes s = tsgen::buildPmt(p);
    const TextLines expected = {
        "Program Map Section",
        "   Table_id                                    8 bit           0x02",
        "   Section_syntax_indicator                    1 bit           1",
        "   '0'                                         1 bit           0",
        "   reserved                                    2 bit           3",
        "   Section_length                              12 bit          29 (字节)",
        "   Program_number                              16 bit          0x0001",
        "   reserved                                    2 bit           3",
        "   Version_number                              5 bit           0",
        "   Current_next_indicator                     1 bit           1   当前子表正被使用",
        "   Section_number                              8 bit           0",
        "   Last_section_number                         8 bit           0",
        "   reserved                                    3 bit           7",
        "   PCR_PID                                     13 bit          0x0100",
        "\treserved\t\t\t\t\t\t\t\t\t4 bit\t\t\t15",
        "\tProgram_info_length\t\t\t\t\t\t\t12 bit\t\t\t0 (字节)",
        "\tStream Loop",
        "      Stream_type                          8 bit           0x81\t用户定义数据",
        "        reserved                          3 bit             7",
        "        Elementary_PID                    13 bit            0x0101",
        "        reserved                          4 bit             15",
        "        ES_info_length                    12 bit            0 (字节)",
        "      Stream_type                          8 bit           0x1b\t保留",
        "        reserved                          3 bit             7",
        "        Elementary_PID                    13 bit            0x0102",
        "        reserved                          4 bit             15",
        "        ES_info_length                    12 bit            6 (字节)",
        "           ISO 639 Language Descriptor(ISO 639语言描述符)",
        "              Descriptor_tag              8 bit           0x0a",
        "              Descriptor_length           8 bit           4 (字节)",
        "              ISO_639_language_code       32 bit          chi",
        "              Audio_type                  8 bit           0x01   (清晰)",
        crcLine("   CRC_32                                      32 bit           ", s),
    };
    EXPECT_EQ(write(s), expected);
}

TEST(SectionText, StreamTypeTexts) {
    const std::pair<uint8_t, const char*> cases[] = {
        {0x02, "0x02\tMPEG-2 视频"}, {0x0a, "0x0a\t13818-6类型A"}, {0x0e, "0x0e\t13818-1辅助数据"},
        {0x00, "0x00\t保留"},        {0x7f, "0x7f\t保留"},         {0xff, "0xff\t用户定义数据"},
    };
    for (const auto& [type, text] : cases) {
        tsgen::PmtParams p;
        p.streams = {{type, 0x200, {}}};
        const TextLines lines = write(tsgen::buildPmt(p));
        ASSERT_GT(lines.size(), 17u);
        EXPECT_EQ(
            lines[17],
            std::string("      Stream_type                          8 bit           ") + text);
    }
}

TEST(SectionText, TdtHasNeitherTableIdNorCrc) {
    const Bytes s = tsgen::buildTdt(tsgen::unixTime(2008, 3, 7, 12, 34, 56));
    const TextLines expected = {
        "Time Data Section",
        "   Section_syntax_indicator                    1 bit           0",
        "   reserved(future use)                        1 bit           1",
        "   reserved                                    2 bit           3",
        "   Section_length                              12 bit          5 (字节)",
        "   UTC_time                                    40 bit          2008/03/07 12:34:56",
    };
    EXPECT_EQ(write(s), expected);
}

TEST(SectionText, TotWithLocalTimeOffsetAndItsCrc) {
    tsgen::TotParams p;
    p.utc = tsgen::unixTime(2008, 3, 7, 12, 34, 56);
    tsgen::LocalTimeOffset lto;
    lto.offsetMinutes = 8 * 60;
    lto.timeOfChange = tsgen::unixTime(2008, 10, 26, 1, 0, 0);
    lto.nextOffsetMinutes = 9 * 60;
    p.descriptors = {tsgen::localTimeOffsetDescriptor({lto})};
    const Bytes s = tsgen::buildTot(p);
    const TextLines expected = {
        "Time Offset Section",
        "   Table_id                                    8 bit           0x73",
        "   reserved(future use)                        1 bit           1",
        "   reserved                                    2 bit           3",
        "   Section_length                              12 bit          26 (字节)",
        "   UTC_time                                    40 bit          2008/03/07 12:34:56",
        "   reserved                                    4 bit           15",
        "   Descriptors_loop_length                     12 bit          15 (字节)",
        "      Local Time Offset Descriptor(本地时间偏移描述符)",
        "         Descriptor_tag              8 bit           0x58",
        "         Descriptor_length           8 bit           13 (字节)",
        "         Country_code                24 bit          CHN (国家代码)",
        "         Country_region_id           6 bit           0 (未使用时区扩展)",
        "         reserved                    1 bit           1",
        "         Local_time_offset_polarity  1 bit           0 (本地时间早于UTC时间)",
        "      \tLocal_time_offset\t\t\t16 bit\t\t\t08小时00分钟",
        "         Time_of_change              40 bit          2008/10/26 01:00:00",
        "         Next_time_offset            16 bit          09小时00分钟",
        crcLine("   CRC_32                                      32 bit          ", s),
    };
    const TextLines lines = write(s);
    EXPECT_EQ(lines, expected);
    // Eight hex digits whatever the value.
    EXPECT_EQ(lines.back().size(), expected.back().size());
    EXPECT_EQ(lines.back().substr(lines.back().size() - 10, 2), "0x");
}

TEST(SectionText, SdtServiceFlagsAndRunningStatus) {
    tsgen::SdtParams p;
    p.transportStreamId = 0x0002;
    p.originalNetworkId = 0x0003;
    p.numbering.version = 5;
    p.numbering.currentNext = false;
    p.services = {{0x0101, true, false, 6, true, {}}, {0x0102, false, true, 1, false, {}}};
    const Bytes s = tsgen::buildSdt(p);
    const TextLines expected = {
        "Service Description Section",
        "   Table_id                                    8 bit           0x42",
        "   Section_syntax_indicator                    1 bit           1",
        "   reserved(future use)                        1 bit           1",
        "   reserved                                    2 bit           3",
        "   Section_length                              12 bit          22 (字节)",
        "   Transport_stream_id                         16 bit          0x0002",
        "   reserved                                    2 bit           3",
        "   Version_number                              5 bit           5",
        "   Current_next_indicator                      1 bit           0   所传子表尚未被使用",
        "   Section_number                              8 bit           0",
        "   Last_section_number                         8 bit           0",
        "   Original_network_id                         16 bit          0x0003",
        "   reserved(future use)                        8 bit           0xff",
        "   Service Loop",
        "      Service_id                               16 bit          0x0101",
        "      reserved(future use)                     6 bit           0x3f",
        "      EIT_schdule_flag                         1 bit           1   "
        "(EIT时间表存在于当前传送流中)",
        "      EIT_present_following_flag               1 bit           0   "
        "(EIT当前/后续信息不在于当前传送流中)",
        "      Running_status                           3 bit           6   (预留使用)",
        "      Free_CA_mode                             1 bit           1   (传送流由CA系统控制)",
        "      reserved(future use)                     8 bit           0xff",
        "      Service_descriptors_loop_length          12 bit          0(字节)",
        "      Service_id                               16 bit          0x0102",
        "      reserved(future use)                     6 bit           0x3f",
        "      EIT_schdule_flag                         1 bit           0   "
        "(EIT时间表不在于当前传送流中)",
        "      EIT_present_following_flag               1 bit           1   "
        "(EIT当前/后续信息存在于当前传送流中)",
        "      Running_status                           3 bit           1   (业务状态未定义)",
        "      Free_CA_mode                             1 bit           0   (表示业务未被加扰)",
        "      reserved(future use)                     8 bit           0xff",
        "      Service_descriptors_loop_length          12 bit          0(字节)",
        crcLine("   CRC_32                                      32 bit          ", s),
    };
    EXPECT_EQ(write(s), expected);
}

TEST(SectionText, PatListsTheNetworkPidFirst) {
    tsgen::PatParams p;
    p.transportStreamId = 0x1234;
    p.programs = {{1, 0x100}, {0, 0x10}, {2, 0x200}};
    const Bytes s = tsgen::buildPat(p);
    const TextLines lines = write(s);
    const TextLines loop(lines.begin() + 12, lines.end());
    const TextLines expected = {
        "Program Loop",
        "      Program_number                          16 bit           0x0000",
        "      reserved                                3 bit            7",
        "      Network_PID                             13 bit           0x0010",
        "      Program_number                          16 bit           0x0001",
        "      reserved                                3 bit            7",
        "      Program_map_PID                         13 bit           0x0100",
        "      Program_number                          16 bit           0x0002",
        "      reserved                                3 bit            7",
        "      Program_map_PID                         13 bit           0x0200",
        crcLine("   CRC_32                                      32 bit           ", s),
    };
    EXPECT_EQ(loop, expected);
    EXPECT_EQ(lines[3], "   '0'1                                        1 bit           0");
    EXPECT_EQ(lines[6], "   Transport_stream_id                         16 bit          0x1234");

    // The PAT as the analysis keeps it gives the same text.
    orv::PatModel model;
    model.header.tableId = 0;
    model.header.sectionSyntaxIndicator = 1;
    model.header.tableIdExtension = 0x1234;
    model.header.currentNextIndicator = 1;
    model.header.crc32 = static_cast<uint32_t>(s[s.size() - 4]) << 24 |
                         static_cast<uint32_t>(s[s.size() - 3]) << 16 |
                         static_cast<uint32_t>(s[s.size() - 2]) << 8 | s[s.size() - 1];
    model.networkPid = 0x10;
    model.programs[0] = {1, 0x100};
    model.programs[1] = {2, 0x200};
    model.programCount = 2;
    TextLines fromModel;
    SectionText::writePat(model, fromModel);
    EXPECT_EQ(fromModel, lines);
}

TEST(SectionText, EitEventLines) {
    tsgen::EitParams p;
    p.tableId = 0x50;
    p.serviceId = 0x0065;
    p.lastTableId = 0x50;
    tsgen::EitEvent e;
    e.eventId = 0x1234;
    e.start = tsgen::unixTime(2009, 12, 31, 23, 30, 0);
    e.durationSeconds = 90 * 60;
    e.runningStatus = 4;
    e.descriptors = {tsgen::shortEventDescriptor("chi", "News", "")};
    p.events = {e};
    const TextLines lines = write(tsgen::buildEit(p));
    ASSERT_GE(lines.size(), 30u);
    const TextLines events(lines.begin() + 16, lines.begin() + 23);
    const TextLines expected = {
        "   Event Loop",
        "      Event_id                             16 bit          0x1234",
        "      Start_time                           40 bit          2009/12/31 23:30:00",
        "      Duration                             24 bit          01:30:00",
        "      Running_status                      3 bit           4   (业务正在运行)",
        "      Free_CA_mode                        1 bit           0   (业务未被加扰)",
        "      Descriptors_loopp_length                12 bit          11 (字节)",
    };
    EXPECT_EQ(events, expected);
    EXPECT_EQ(lines[23], "         Short Event Descriptor(短事件描述符)");
    EXPECT_EQ(lines[27], "            Event_name                  4char          News (事件名称)");
    EXPECT_EQ(lines[9],
              "   Current_next_indicator                      1 bit          1   当前子表正被使用");
}

TEST(SectionText, NitAndBatLoopsAndPrefixes) {
    tsgen::NitParams n;
    n.networkId = 0x0001;
    n.networkDescriptors = {tsgen::networkNameDescriptor("Net")};
    n.transportStreams = {{0x0002, 0x0003, {tsgen::serviceListDescriptor({{0x65, 1}})}}};
    const TextLines nit = write(tsgen::buildNit(n));
    const TextLines expectedNit = {
        "   Network_descriptors_length                  12 bit          5 (字节)",
        "      Network Name Descriptor(网络名称描述符)",
        "         Descriptor_tag              8 bit           0x40",
        "         Descriptor_length           8 bit           3 (字节)",
        "         Network_info                3char           Net",
        "   reserved(future use)                        4 bit           15",
        "   Transport_stream_loop_length                12 bit          11 (字节)",
        "   Transport Stream Loop",
        "      Transport_stream_id                     16 bit          0x0002",
        "      Original_network_id                     16 bit          0x0003",
        "      reserved(future use)                    4 bit           15",
        "      Transport_descriptors_length            12 bit          5 (字节)",
        "         Service List Descriptor(业务列表描述符)",
        "            Descriptor_tag              8 bit           0x41",
        "            Descriptor_length           8 bit           3 (字节)",
        "            节目0x0065,服务类型:数字电视业务",
    };
    ASSERT_EQ(nit.size(), 13u + expectedNit.size() + 1);
    EXPECT_EQ(TextLines(nit.begin() + 13, nit.end() - 1), expectedNit);

    tsgen::BatParams b;
    b.bouquetId = 0x0007;
    b.transportStreams = {{0x0002, 0x0003, {}}};
    const TextLines bat = write(tsgen::buildBat(b));
    EXPECT_EQ(bat[0], "Bouquet Association Section");
    EXPECT_EQ(bat[1], "   Table_id                                    8 bit          0x004a");
    EXPECT_EQ(bat[9], "   Current_next_indicator                     1 bit          1");
    EXPECT_EQ(bat.back().substr(0, bat.back().size() - 8),
              "   CRC_32                              32 bit                  0x");
}

// The section bytes with section_length set and a correct CRC_32 appended.
Bytes sealed(Bytes s) {
    const std::size_t length = s.size() - 3 + 4;
    s[1] = static_cast<uint8_t>((s[1] & 0xF0) | (length >> 8));
    s[2] = static_cast<uint8_t>(length & 0xFF);
    const uint32_t crc = tsgen::crc32Mpeg2(s.data(), s.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<uint8_t>(crc >> shift));
    return s;
}

bool anyLineHas(const TextLines& lines, const char* text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

// A NIT or BAT that ends after its first descriptor loop, a TOT that ends after its time: the
// CRC_32 that follows is never read as the next loop's length.
TEST(SectionText, LoopsStopBeforeTheCrc) {
    for (const uint8_t tableId : {uint8_t{0x40}, uint8_t{0x4A}}) {
        SCOPED_TRACE(int(tableId));
        const Bytes s = sealed({tableId, 0xF0, 0, 0x00, 0x01, 0xC1, 0x00, 0x00, 0xF0, 0x05, 0x40,
                                0x03, 'N', 'e', 't'});
        const TextLines lines = write(s);
        ASSERT_EQ(lines.size(), 14u + 4u + 1u);  // header, the network name, CRC_32
        EXPECT_FALSE(anyLineHas(lines, "Transport_stream_loop_length"));
        EXPECT_FALSE(anyLineHas(lines, "Transport Stream Loop"));
        EXPECT_EQ(lines[17].substr(lines[17].size() - 3), "Net");
        EXPECT_EQ(lines.back().substr(lines.back().size() - 10), crcLine("", s));
    }
    const Bytes tot = sealed({0x73, 0x70, 0, 0xC0, 0x79, 0x12, 0x45, 0x00});
    const TextLines lines = write(tot);
    ASSERT_EQ(lines.size(), 6u + 1u);  // header, UTC_time, CRC_32
    EXPECT_FALSE(anyLineHas(lines, "Descriptors_loop_length"));
    EXPECT_EQ(lines.back(),
              crcLine("   CRC_32                                      32 bit          ", tot));
}

TEST(SectionText, WriterIsChosenByTableId) {
    const std::pair<uint8_t, const char*> titles[] = {
        {0x00, "Program Association Section"}, {0x01, "CA Section"},
        {0x02, "Program Map Section"},         {0x41, "Network Information Section"},
        {0x46, "Service Description Section"}, {0x4A, "Bouquet Association Section"},
        {0x4F, "Event Information Section"},   {0x6F, "Event Information Section"},
        {0x70, "Time Data Section"},           {0x73, "Time Offset Section"},
    };
    for (const auto& [id, title] : titles) {
        Bytes s(40, 0);
        s[0] = id;
        s[1] = 0xB0;
        s[2] = 37;
        TextLines out;
        ASSERT_TRUE(SectionText::write(s, out)) << int(id);
        EXPECT_EQ(out.at(0), title);
    }
    for (uint8_t id : {0x03, 0x3F, 0x43, 0x71, 0x72, 0x74, 0xFF}) {
        TextLines out;
        EXPECT_FALSE(SectionText::write(Bytes{id, 0xB0, 0}, out));
        EXPECT_TRUE(out.empty());
    }
}

TEST(SectionText, CutSectionsShowWhatIsPresentAndNoCrc) {
    tsgen::SdtParams p;
    p.services = {{0x0101, true, true, 4, false, {tsgen::serviceDescriptor(1, "P", "Name")}}};
    const Bytes whole = tsgen::buildSdt(p);
    const TextLines full = write(whole);
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        TextLines out;
        SectionText::writeSdt(part, out);
        ASSERT_LT(out.size(), full.size()) << cut;
        // What is written is what the whole section gives, up to the first missing field.
        EXPECT_EQ(out,
                  TextLines(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(out.size())))
            << cut;
    }
}

}  // namespace
