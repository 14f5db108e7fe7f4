// Descriptor loops as text: the listed forms of the catalogue compared as whole lines, the
// column alignment in code page 936 bytes, and loops whose lengths do not fit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text_codec.h"
#include "presentation/descriptor_text.h"
#include "tests/presentation/texts_test_support.h"

namespace {

using orv::DescriptorText;
using orv::TextLines;
using texts_test::Bytes;

TextLines linesOf(const Bytes& loop, const char* prefix = "") {
    TextLines out;
    DescriptorText::appendLines(loop, prefix, out);
    return out;
}

TEST(DescriptorText, ServiceTypeOutsideTheListGivesTheUserDefinedLine) {
    const Bytes loop = {0x48, 8, 0x80, 3, 'A', 'B', 'C', 2, 'X', 'Y'};
    const TextLines expected = {
        "         Service Descriptor(业务描述符)",
        "            Descriptor_tag              8 bit           0x48",
        "            Descriptor_length           8 bit           8 (字节)",
        "服务类型:用户定义业务",
        "            Service_provider_name       3char           ABC",
        "            Service_name                2char           XY",
    };
    EXPECT_EQ(linesOf(loop, "         "), expected);
}

TEST(DescriptorText, ListedServiceTypeIsARegularLine) {
    const Bytes loop = {0x48, 3, 0x0a, 0, 0};
    const TextLines lines = linesOf(loop);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "   Service_type                8 bit           0x0a   调频广播");
    EXPECT_EQ(lines[4], "   Service_provider_name       0char           ");
}

TEST(DescriptorText, ComponentLines) {
    struct Case {
        uint8_t content, type;
        const char* line;
    };
    const Case cases[] = {
        {1, 13, "   Stream_content = 1,Component_type = 13   (高清晰度视频,宽高比4:3,30Hz)"},
        {1, 2, "\tStream_content = 1,Component_type = 2   (视频,宽高比16:9,有摇移矢量,25Hz)"},
        {1, 4, "   Stream_content = 1,Component_type = 4   (视频,宽高比>16:9，25Hz)"},
        {2, 3, "   Stream_content = 2,Component_type = 3   (音频,立体声)"},
        {2, 0x41, "   Stream_content = 2,Component_type = 0x41   (音频,服务于听力障碍者)"},
        {2, 9, "   Stream_content = 2,Component_type = 9   (保留)"},
        {3, 0x12, "   Stream_content = 3,Component_type = 0x12   (DVB字幕,宽高比 16:9)"},
        {3, 2, "   Stream_content = 3,Component_type = 2   (相关图文)"},
        {3, 0x30, "   Stream_content = 3,Component_type = 48   (保留)"},
        {5, 3, "   Stream_content = 5,Component_type = 0x03   (保留)"},
    };
    for (const Case& c : cases) {
        const Bytes loop = {0x50, 6,  static_cast<uint8_t>(0xF0 | c.content), c.type, 0x01, 'c',
                            'h',  'i'};
        const TextLines lines = linesOf(loop);
        const TextLines expected = {
            "Component Descriptor(组件描述符)",
            "   Descriptor_tag              8 bit           0x50",
            "   Descriptor_length           8 bit           6 (字节)",
            c.line,
            "   Component_tag               8 bit           0x01",
            "   ISO_639_language_code       24 bit          chi",
            "   Text_char                   0char           ",
        };
        EXPECT_EQ(lines, expected) << int(c.content) << "/" << int(c.type);
    }
}

TEST(DescriptorText, ContentEntriesUserDefinedReservedAndUndefined) {
    const Bytes loop = {0x54, 6, 0x2F, 0x12, 0x25, 0x00, 0x00, 0xAB};
    const TextLines expected = {
        "Content Descriptor(内容描述符)",
        "   Descriptor_tag              8 bit           0x54",
        "   Descriptor_length           8 bit           6 (字节)",
        "   Content_nibble_level_1     4 bit           0x02",
        "   Content_nibble_level_2     4 bit           0x0f",
        "      节目内容: 用户定义",
        "   User_nibble                4 bit           0x1 (广播者定义节目内容分类)",
        "   User_nibble                4 bit           0x2 (广播者定义节目内容分类)",
        "   Content_nibble_level_1     4 bit           0x02",
        "   Content_nibble_level_2     4 bit           0x05",
        "      节目内容: 预留使用",
        "   User_nibble                4 bit           0x0 (广播者定义节目内容分类)",
        "   User_nibble                4 bit           0x0 (广播者定义节目内容分类)",
        "   Content_nibble_level_1     4 bit           0x00",
        "   Content_nibble_level_2     4 bit           0x00",
        "      节目内容: 未定义",
        "   User_nibble                4 bit           0xa (广播者定义节目内容分类)",
        "   User_nibble                4 bit           0xb (广播者定义节目内容分类)",
    };
    EXPECT_EQ(linesOf(loop), expected);
}

TEST(DescriptorText, ContentTextsByLevel) {
    const std::pair<uint8_t, const char*> cases[] = {
        {0x10, "节目内容: 电影/电视剧/戏剧(普通)"},
        {0x4C, "节目内容: 棋牌"},
        {0x4D, "节目内容: 预留使用"},
        {0x62, "节目内容:古典音乐/严肃音乐"},
        {0x77, "节目内容: 预留使用"},
        {0xA6, "节目内容: 广告/购物"},
        {0xB3, "节目内容: 预留使用"},
        {0xF3, "节目内容: 用户定义"},
        {0x0F, "节目内容: 未定义"},
    };
    for (const auto& [nibbles, text] : cases) {
        const TextLines lines = linesOf({0x54, 2, nibbles, 0});
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[5], std::string("      ") + text) << std::hex << int(nibbles);
    }
}

TEST(DescriptorText, TagsFrom0x5BShowTheirOwnTagAndTheByteLengthForm) {
    for (unsigned tag = 0x5B; tag <= 0x64; ++tag) {
        const Bytes loop = {static_cast<uint8_t>(tag), 4, 0, 0, 0, 0};
        const TextLines lines = linesOf(loop, "  ");
        ASSERT_GE(lines.size(), 3u) << std::hex << tag;
        char tagLine[80];
        std::snprintf(tagLine, sizeof tagLine,
                      "     Descriptor_tag              8 bit           0x%02x", tag);
        EXPECT_EQ(lines[1], tagLine);
        EXPECT_EQ(lines[2], "     Descriptor_length           8 bit           4 字节");
    }
    const TextLines upTo5A = linesOf({0x5A, 0});
    ASSERT_EQ(upTo5A.size(), 3u);
    EXPECT_EQ(upTo5A[2], "   Descriptor_length           8 bit           0 (字节)");
}

TEST(DescriptorText, UndecodedTagIsSkippedSilently) {
    const Bytes loop = {0x45, 2, 0x01, 0x02, 0x40, 3, 'N', 'e', 't'};
    const TextLines expected = {
        "      Network Name Descriptor(网络名称描述符)",
        "         Descriptor_tag              8 bit           0x40",
        "         Descriptor_length           8 bit           3 (字节)",
        "         Network_info                3char            Net",
    };
    EXPECT_EQ(linesOf(loop, "      "), expected);
    for (uint8_t tag : {0x00, 0x13, 0x3F, 0x46, 0x65, 0x80, 0xFF}) {
        EXPECT_TRUE(linesOf({tag, 1, 0}).empty()) << int(tag);
    }
}

TEST(DescriptorText, ShortSmoothingBufferRates) {
    const std::pair<uint8_t, const char*> cases[] = {
        {34, "34   10.0 Mbit/s"}, {9, "9   0.075 Mbit/s"},   {30, "30   7.0 Mbit/s"},
        {31, "31   7.5 Mbit/s"},  {38, "38  13.5 Mbit/s"},   {41, "41   16.0 Mbit/s"},
        {45, "45   22.0 Mbit/s"}, {50, "50   30.0 Mbit/s"},  {60, "60  108 Mbit/s"},
        {0, "0   0   预留使用"},  {63, "63   0   预留使用"},
    };
    for (const auto& [code, text] : cases) {
        const TextLines lines = linesOf({0x61, 1, static_cast<uint8_t>(0x40 | code)});
        const TextLines expected = {
            "Short Smoothing Buffer Descriptor(短平滑缓冲区描述符)",
            "   Descriptor_tag              8 bit           0x61",
            "   Descriptor_length           8 bit           1 字节",
            "   SB_size                     2 bit           1 (1536 字节)",
            std::string("   SB_leak_rate                6 bit           ") + text,
        };
        EXPECT_EQ(lines, expected) << int(code);
    }
}

TEST(DescriptorText, VideoStreamTabLinesAndValueTexts) {
    // multiple rates, 25 Hz, MPEG_1_only 0, constrained 1, still 0; profile 0x48, 4:2:0
    const Bytes loop = {0x02, 3, 0x80 | (3 << 3) | 0x02, 0x48, 0x5F};
    const TextLines expected = {
        "        Video Stream Descriptor(视频流描述符)",
        "           Descriptor_tag              8 bit           0x02",
        "           Descriptor_length           8 bit           3 (字节)",
        "           Multiple_frame_rate_flag    1 bit           1   (可能出现多种帧速率)",
        "           Frame_rate_code             4 bit           3\t(25 帧/秒)",
        "           MPEG_2_flag                 1 bit           0   (可含MPEG-1及MPEG-2 视频)",
        "        \tConstrained_parameter_flag\t\t1 bit\t\t\t1",
        "        \tStill_picture_flag\t\t\t1 bit\t\t\t0\t(视频流含动画或静止图像)",
        "           Profile_and_level_indicatio 8 bit           0x48",
        "           Chroma_format               2 bit           1",
        "           Frame_rate_extension_flag   1 bit           0",
    };
    EXPECT_EQ(linesOf(loop, "        "), expected);
    // MPEG-1 only: the descriptor ends after the first byte.
    const TextLines mpeg1 = linesOf({0x02, 1, 0x0D | 0x04});
    ASSERT_EQ(mpeg1.size(), 8u);
    EXPECT_EQ(mpeg1[4], "   Frame_rate_code             4 bit           1\t(23.976 帧/秒)");
    EXPECT_EQ(mpeg1[5], "   MPEG_2_flag                 1 bit           1   (MPEG-2 视频)");
    EXPECT_EQ(mpeg1[7], "\tStill_picture_flag\t\t\t1 bit\t\t\t1\t(视频流仅含静止图像)");
}

TEST(DescriptorText, RatesAndDeliveryValues) {
    // Maximum bitrate 25000 x 50 byte/s = 10 Mbit/s.
    const TextLines rate = linesOf({0x0E, 3, 0xC0, 0x61, 0xA8});
    ASSERT_EQ(rate.size(), 5u);
    EXPECT_EQ(rate[3], "   reserved                    2 bit           3");
    EXPECT_EQ(rate[4], "   Maximum_bitrate             22 bit          10.00000 Mbit/s");

    const TextLines cable =
        linesOf({0x44, 11, 0x03, 0x46, 0x00, 0x00, 0xFF, 0xF2, 0x03, 0x00, 0x68, 0x75, 0x0F});
    const TextLines expected = {
        "Cable Delivery System Descriptor(有线传送系统描述符)",
        "   Descriptor_tag              8 bit           0x44",
        "   Descriptor_length           8 bit           11 (字节)",
        "   Frequency                   32 bit          0346.0000 MHz",
        "   reserved(future use)        12 bit          0xfff",
        "   FEC_outer                   4 bit           2   (RS(204,188))",
        "   Modulation                  8 bit           3   (64 QAM)",
        "   Symbol_rate                 28 bit          006.8750 Msymbol/s",
        "   FEC_inner                   4 bit           15   (无卷积编码)",
    };
    EXPECT_EQ(cable, expected);

    // Partial transport stream: rates in 400 bit/s units, all-ones fields undefined.
    const TextLines partial = linesOf({0x63, 8, 0xC0, 0x00, 0x64, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    ASSERT_EQ(partial.size(), 6u);
    EXPECT_EQ(partial[3], "   Peak_rate                   22 bit          40000 bps");
    EXPECT_EQ(partial[4], "   Smoothing_rate              22 bit          溢出速率未定义");
    EXPECT_EQ(partial[5], "   Smoothing_buf               14 bit          缓冲区大小未定义");
}

TEST(DescriptorText, RepeatedEntriesComeOncePerEntry) {
    const Bytes loop = {0x41, 9, 0x00, 0x65, 0x01, 0x00, 0x66, 0x02, 0x01, 0x00, 0x80};
    const TextLines expected = {
        "   Service List Descriptor(业务列表描述符)",
        "      Descriptor_tag              8 bit           0x41",
        "      Descriptor_length           8 bit           9 (字节)",
        "      节目0x0065,服务类型:数字电视业务",
        "      节目0x0066,服务类型:数字音频广播业务",
        "      节目0x0100,服务类型:用户定义节目",
    };
    EXPECT_EQ(linesOf(loop, "   "), expected);

    const TextLines languages = linesOf({0x0A, 8, 'e', 'n', 'g', 0x01, 'c', 'h', 'i', 0x07});
    ASSERT_EQ(languages.size(), 7u);
    EXPECT_EQ(languages[3], "   ISO_639_language_code       32 bit          eng");
    EXPECT_EQ(languages[4], "   Audio_type                  8 bit           0x01   (清晰)");
    EXPECT_EQ(languages[5], "   ISO_639_language_code       32 bit          chi");
    EXPECT_EQ(languages[6], "   Audio_type                  8 bit           0x07   (保留)");
}

TEST(DescriptorText, TextFieldsStopAtAZeroByteAndKeepCp936Bytes) {
    // "中文" in CP936 is D6 D0 CE C4.
    const Bytes loop = {0x40, 6, 0xD6, 0xD0, 0xCE, 0xC4, 0x00, 'x'};
    const TextLines lines = linesOf(loop);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "   Network_info                6char            中文");
}

// A field line whose name holds Chinese characters keeps its columns in CP936 bytes.
TEST(DescriptorText, ChineseNamesAlignInCp936Bytes) {
    const Bytes loop = {0x57, 15,  0xE1, 0xCD, 0xA4, '8', '6', '0', '1',
                        '0',  '7', '1',  '0',  '1',  '2', '3', '4'};
    const std::string prefix = "      ";
    const TextLines lines = linesOf(loop, prefix.c_str());
    const std::vector<std::pair<std::string, std::string>> regular = {{"国家/地区前缀", "2char"},
                                                                      {"运营商代码", "1char"},
                                                                      {"国内区域代码", "2char"},
                                                                      {"局号码字符", "4char"}};
    for (const auto& [name, width] : regular) {
        const auto it = std::find_if(
            lines.begin(), lines.end(),
            [&name = name](const std::string& l) { return l.find(name) != std::string::npos; });
        ASSERT_NE(it, lines.end()) << name;
        const orv::CodecResult gbk = orv::utf8ToCp936(*it);
        ASSERT_TRUE(gbk.ok());
        const std::size_t nameAt = prefix.size() + 3;
        const std::string gbkName = orv::utf8ToCp936(name).text;
        EXPECT_EQ(gbk.text.substr(nameAt, gbkName.size()), gbkName);
        EXPECT_EQ(gbk.text.substr(nameAt + 28, width.size()), width) << name;
        EXPECT_EQ(gbk.text[nameAt + 28 - 1], ' ');
        EXPECT_NE(gbk.text[nameAt + 28 + 16], ' ') << name;  // the value starts at the column
        EXPECT_EQ(gbk.text[nameAt + 28 + 16 - 1], ' ');
    }
    const TextLines expectedTail = {
        "      \t国际区域代码\t\t\t\t3char\t\t\t010",
        "         运营商代码                  1char           7",
    };
    EXPECT_NE(std::find(lines.begin(), lines.end(), expectedTail[0]), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), expectedTail[1]), lines.end());
}

TEST(DescriptorText, LengthsThatDoNotFitAreNeverFollowed) {
    // Length 10 with 4 body bytes left: the fields that are wholly present.
    EXPECT_EQ(linesOf({0x0A, 10, 'e', 'n', 'g', 0x01}),
              (TextLines{"ISO 639 Language Descriptor(ISO 639语言描述符)",
                         "   Descriptor_tag              8 bit           0x0a",
                         "   Descriptor_length           8 bit           10 (字节)",
                         "   ISO_639_language_code       32 bit          eng",
                         "   Audio_type                  8 bit           0x01   (清晰)"}));
    // A CA descriptor cut inside CA_PID: its reserved bits are there, the PID is not.
    const TextLines ca = linesOf({0x09, 4, 0x0B, 0x00, 0xE1});
    ASSERT_EQ(ca.size(), 5u);
    EXPECT_EQ(ca[3], "   CA_System_ID                16 bit          0x0b00");
    EXPECT_EQ(ca[4], "   reserved                    3 bit           7");
    // A name longer than what is left shows nothing of it, nor of what follows.
    EXPECT_EQ(linesOf({0x48, 5, 0x01, 50, 'A', 'B', 'C'}).size(), 4u);
    // A descriptor body that says less than its fields need.
    EXPECT_EQ(linesOf({0x48, 1, 0x01, 0x80, 'A', 'B', 'C'}).size(), 4u);
    // Tag without its length byte, empty loop.
    EXPECT_TRUE(linesOf({0x48}).empty());
    EXPECT_TRUE(linesOf({}).empty());
    // Extended event: an item length that runs past the items loop ends the loop there.
    const Bytes ext = {0x4E, 11, 0x01, 'e', 'n', 'g', 4, 9, 'A', 'B', 'C', 1, 'Z'};
    const TextLines lines = linesOf(ext);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines.back(), "   Text_char                   1char           Z");
}

TEST(DescriptorText, MosaicLinkageDecidesTheFieldsThatFollow) {
    const Bytes loop = {0x51,
                        12,
                        0x80 | (1 << 4) | 2,  // entry point, 2 x 3 cells
                        0x05 << 2 | 0x03,
                        0xF9,  // cell 5, reserved, video
                        2,
                        0x01,
                        0x02,  // two elementary cells
                        0x04,
                        0x00,
                        0x01,
                        0x00,
                        0x02,
                        0x00};
    const TextLines lines = linesOf(loop);
    const TextLines expected = {
        "Mosaic Descriptor(马赛克描述符)",
        "   Descriptor_tag              8 bit           0x51",
        "   Descriptor_length           8 bit           12 (字节)",
        "   Mosaic_entry_point          1 bit           1 (马赛克在一个层中为最高)",
        "   Number_of_horizontal_elementary_cells   3 bit   0x01 (水平基本单元:2个)",
        "   Number_of_vertical_elementary_cells     3 bit   0x02 (垂直基本单元:3个)",
        "   Logical_cell_id             6 bit           0x05",
        "   reserved(future use)        7 bit           0x7f",
        "   Logical_cell_presentation_info  3 bit   0x01 (逻辑单元呈现类型:视频)",
        "   Elementary_cell_id          8 bit           0x01",
        "   Elementary_cell_id          8 bit           0x02",
        "   Cell_linkage_info           8 bit           0x04 (与事件相关)",
        "   Original_network_id         16 bit          0x0001 (原始网络标识符)",
        "   Transport_stream_id         16 bit          0x0002 (传送流标识符)",
    };
    EXPECT_EQ(lines, expected);  // the service and event ids are cut off by the length
}

}  // namespace

namespace {

// The catalogue holds the 53 decoded tags once each, and every loop or condition of a table
// stays inside its table.
TEST(DescriptorCatalogue, FiftyThreeTagsWithWellFormedTables) {
    const auto all = orv::descriptorCatalogue();
    ASSERT_EQ(all.size(), 53u);
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i > 0) {
            EXPECT_LT(all[i - 1].tag, all[i].tag);
        }
        EXPECT_EQ(orv::findDescriptorTable(all[i].tag), &all[i]);
        for (std::size_t f = 0; f < all[i].fields.size(); ++f) {
            EXPECT_LE(f + 1 + all[i].fields[f].body, all[i].fields.size())
                << std::hex << int(all[i].tag) << " row " << f;
        }
    }
    for (unsigned tag : {0x13u, 0x3Fu, 0x45u, 0x46u, 0x65u}) {
        EXPECT_EQ(orv::findDescriptorTable(static_cast<uint8_t>(tag)), nullptr);
    }
}

}  // namespace
