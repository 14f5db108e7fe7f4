// The texts of the page models from hand-set records: decoded elementary stream headers, the
// repetition rows of the basic information report, bandwidth texts, and the decoder buffer page.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "presentation/buffer_page.h"
#include "presentation/es_header_texts.h"
#include "presentation/report_kinds_pages.h"
#include "presentation/structure_list.h"

namespace orv {
namespace {

TEST(EsHeaderTextsTest, VideoSequenceHeaders) {
    struct Case {
        const char* what;
        uint8_t frameRateCode, extN, extD, profileLevel, aspect, chroma;
        uint16_t width;
        uint8_t widthExt;
        uint32_t rateValue;
        uint16_t rateExt;
        unsigned streamType;
        const char *format, *frameRate, *profile, *aspectText, *chromaText, *widthText, *bitRate;
    };
    const Case cases[] = {
        {"25 Hz MPEG-2, main at main", 3, 0, 0, 0x48, 2, 1, 720, 0, 7500, 0, 0x02,
         "MPEG-2 视频(PAL制)", "25.000 帧/s", "主 : 主", "4 : 3", "4 : 2 : 0", "720",
         "3000000 bps"},
        {"29.97 Hz MPEG-1", 4, 0, 0, 0x00, 3, 2, 352, 0, 2500, 0, 0x01, "MPEG-1 视频(NTSC制)",
         "29.970 帧/s", "保留 : 保留", "16 : 9", "4 : 2 : 2", "352", "1000000 bps"},
        {"extension doubles 25 Hz", 3, 1, 0, 0x85, 4, 3, 1920, 0, 1, 0, 0x02, "MPEG-2 视频(NTSC制)",
         "50.000 帧/s", "4:2:2P@ML", "2.21 : 1", "4 : 2 : 4", "1920", "400 bps"},
        {"width extension and 30-bit rate", 8, 0, 0, 0x14, 0, 0, 16, 1, 0x3FFFF, 0xFFF, 0x02,
         "MPEG-2 视频(NTSC制)", "60.000 帧/s", "高 : 高", "禁止", "保留", "4112",
         "429496729200 bps"},
        {"code without a rate", 9, 0, 0, 0x5A, 1, 1, 720, 0, 0, 0, 0x02, "MPEG-2 视频(NTSC制)",
         "0.000 帧/s", "简单 : 低", "保留", "4 : 2 : 0", "720", "0 bps"},
        {"multiview", 3, 0, 0, 0x8E, 2, 1, 720, 0, 0, 0, 0x02, "MPEG-2 视频(PAL制)", "25.000 帧/s",
         "MVP@LL", "4 : 3", "4 : 2 : 0", "720", "0 bps"},
        {"reserved profile 6", 3, 0, 0, 0x68, 2, 1, 720, 0, 0, 0, 0x02, "MPEG-2 视频(PAL制)",
         "25.000 帧/s", "保留 : 保留", "4 : 3", "4 : 2 : 0", "720", "0 bps"},
        {"level 5 outside profile 0", 3, 0, 0, 0x45, 2, 1, 720, 0, 0, 0, 0x02, "MPEG-2 视频(PAL制)",
         "25.000 帧/s", "主 : 保留", "4 : 3", "4 : 2 : 0", "720", "0 bps"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VideoEsFields es;
        es.frameRateCode = c.frameRateCode;
        es.frameRateExtensionN = c.extN;
        es.frameRateExtensionD = c.extD;
        es.profileAndLevel = c.profileLevel;
        es.aspectRatio = c.aspect;
        es.chromaFormat = c.chroma;
        es.horizontalSize = c.width;
        es.horizontalSizeExtension = c.widthExt;
        es.bitRateValue = c.rateValue;
        es.bitRateExtension = c.rateExt;
        const VideoHeaderTexts t = videoHeaderTexts(c.streamType, es, PesHeaderFields{});
        EXPECT_EQ(t.format, c.format);
        EXPECT_EQ(t.frameRate, c.frameRate);
        EXPECT_EQ(t.profileLevel, c.profile);
        EXPECT_EQ(t.aspectRatio, c.aspectText);
        EXPECT_EQ(t.chroma, c.chromaText);
        EXPECT_EQ(t.horizontal, c.widthText);
        EXPECT_EQ(t.bitRate, c.bitRate);
    }
}

TEST(EsHeaderTextsTest, AudioHeadersAndPesFields) {
    struct Case {
        uint8_t layer, bitrateIndex, sampling, mode, emphasis;
        unsigned streamType;
        const char *format, *layerText, *rate, *samplingText, *modeText, *emphasisText;
    };
    const Case cases[] = {
        {2, 10, 1, 0, 0, 0x03, "MPEG-1 音频", " II ", "192 kbps", "48 kHz", "立体声", "<None>"},
        {3, 1, 0, 1, 1, 0x04, "MPEG-2 音频", " I ", "32 kbps", "44.1 kHz", "联合立体声",
         "50/51 microseconds"},
        {1, 14, 2, 2, 2, 0x03, "MPEG-1 音频", " III ", "384 kbps", "32 kHz", "双声道", "保留"},
        {0, 15, 3, 3, 3, 0x03, "MPEG-1 音频", " 保留 ", "禁止", "保留", "单声道", "CCITT J.17"},
        {2, 0, 1, 0, 0, 0x03, "MPEG-1 音频", " II ", "自由", "48 kHz", "立体声", "<None>"},
    };
    for (const Case& c : cases) {
        AudioEsFields es;
        es.layer = c.layer;
        es.bitrateIndex = c.bitrateIndex;
        es.samplingFrequency = c.sampling;
        es.mode = c.mode;
        es.emphasis = c.emphasis;
        const AudioHeaderTexts t = audioHeaderTexts(c.streamType, es, PesHeaderFields{});
        EXPECT_EQ((std::vector<std::string>{t.format, t.layer, t.bitRate, t.sampling, t.mode,
                                            t.emphasis}),
                  (std::vector<std::string>{c.format, c.layerText, c.rate, c.samplingText,
                                            c.modeText, c.emphasisText}));
    }

    // The PES fields: video shows an unbounded length as such and the flags as 0/1, audio as
    // numbers.
    PesHeaderFields pes;
    pes.streamId = 0xE0;
    pes.pesPacketLength = 0;
    pes.scramblingControl = 2;
    pes.priority = 1;
    pes.dataAlignment = 1;
    const PesHeaderTexts v = videoHeaderTexts(2, VideoEsFields{}, pes).pes;
    EXPECT_EQ((std::vector<std::string>{v.prefix, v.streamId, v.length, v.scrambling, v.priority,
                                        v.alignment}),
              (std::vector<std::string>{"0x000001", "0xe0", "(长度不确定)", "1", "1 ", "1 "}));
    pes.streamId = 0xC0;
    const PesHeaderTexts a = audioHeaderTexts(3, AudioEsFields{}, pes).pes;
    EXPECT_EQ(
        (std::vector<std::string>{a.streamId, a.length, a.scrambling, a.priority, a.alignment}),
        (std::vector<std::string>{"0xc0", "0字节", "2 ", "1 ", "1 "}));
}

TEST(EsHeaderTextsTest, PictureTally) {
    VideoEsFields es;
    es.pictureTally = {3, 10, 20};
    EXPECT_EQ(pictureTallyText(es), "3 : 10 :20");  // fewer than 100 PES headers so far
    es.lastPictureTally = {8, 25, 67};
    es.lastPictureTallyValid = true;
    EXPECT_EQ(pictureTallyText(es), "8 : 25 :67");
}

TEST(BasicInfoReportTest, IntervalRows) {
    struct Case {
        IntervalRow row;
        const char* line;
    };
    const Case cases[] = {
        {{"PAT", 0x00, -1, true, 0.1, 0.100016, 0.099984},
         "\t\t\tPAT           0x00              0.100000              0.100016              "
         "0.099984"},
        {{"PMT", 0x02, 0x1234, true, 0.1, 0.2, 0.05},
         "\t\t\tPMT[1234]     0x02              0.100000              0.200000              "
         "0.050000"},
        {{"PMT", 0x02, 7, false, 0, 0, 0},
         "\t\t\tPMT           0x02              -----              -----              -----"},
        {{"BAT", 0x4A, -1, true, 10, 10, 10},
         "\t\t\tBAT           0x4A              10.000000              10.000000              "
         "10.000000"},
        {{"EIT", 0x4F, -1, true, 2, 2, 2},
         "\t\t\tEIT           0x4F              2.000000              2.000000              "
         "2.000000"},
        {{"EIT", 0x50, -1, true, 8, 8, 8},
         "\t\t\tEIT           0x50              8.000000              8.000000             "
         "8.000000"},
        {{"EIT", 0x5a, -1, true, 8, 8, 8},
         "\t\t\tEIT           0x5a              8.000000              8.000000              "
         "8.000000"},
        {{"EIT", 0x60, -1, true, 8, 8, 8},
         "\t\t\tEIT           0x60              8.000000              8.000000             "
         "8.000000"},
        {{"TDT", 0x70, -1, true, 2, 2, 2},
         "\t\t\tTDT           0x70              2.000000             2.000000             "
         "2.000000"},
        {{"TOT", 0x73, -1, true, 4, 4, 4},
         "\t\t\tTOT           0x73              4.000000             4.000000             "
         "4.000000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(intervalReportLine(c.row), c.line);
}

TEST(StructureListTest, BandwidthTexts) {
    struct Case {
        double share;
        bool pat;
        const char* text;
    };
    const Case cases[] = {
        {1.0 / 100000, false, "0.00"},  // exactly 0.001 %
        {0.9 / 100000, false, "< 0.001"},
        {0.0, false, "< 0.001"},
        {0.5, false, "50.00"},
        {0.00188, true, "0.188"},
        {0.0009 / 100, true, "< 0.001"},
        {0.009 / 100, true, "0.009"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bandwidthText(c.share, c.pat), c.text) << c.share;
}

// Two programs with hand-set buffer states: the bars of the chosen program and the sums of the
// summary list.
TEST(BufferPageTest, BarsCountsAndSelection) {
    auto ctx = std::make_unique<AnalysisContext>();
    ctx->programs.resize(2);
    for (int k = 0; k < 2; ++k) {
        ProgramEntry& p = ctx->programs[static_cast<std::size_t>(k)];
        p.programNumber = static_cast<uint16_t>(k + 1);
        p.pmtPid = static_cast<uint16_t>(0x100 * (k + 1));
        p.video.present = true;
        p.video.pid = static_cast<uint16_t>(p.pmtPid + 1);
        p.audioCount = 2;
        p.audio[0].pid = static_cast<uint16_t>(p.pmtPid + 2);
        p.audio[1].pid = static_cast<uint16_t>(p.pmtPid + 3);
        VideoBufferState& v = p.timing.video.buffer;
        v.tbSize = 512;
        v.mbSize = 10000;
        v.ebSize = 1835008;
        v.tbOverflows = 1;
        v.mbOverflows = 2;
        v.mbUnderflows = 3;
        v.ebOverflows = 4;
        v.ebUnderflows = 5;
        for (AudioTiming& a : p.timing.audio) {
            a.buffer.tbOverflows = 10;
            a.buffer.ebOverflows = 20;
            a.buffer.ebUnderflows = 30;
        }
    }
    ProgramEntry& first = ctx->programs[0];
    first.timing.video.buffer.tbFill = 0;       // below 1: the empty bar
    first.timing.video.buffer.mbFill = 10000;   // full: size - 1
    first.timing.video.buffer.ebFill = 917504;  // half
    first.timing.audio[0].buffer.tbFill = 600;  // past the size: 511 of 512
    first.timing.audio[0].buffer.ebFill = 0;
    first.timing.audio[1].buffer.tbFill = 515;
    first.timing.audio[1].buffer.ebFill = 4000;
    ctx->timing.systemBuffer.tbFill = 512;
    ctx->timing.systemBuffer.bFill = 700;
    ctx->timing.systemBuffer.tbOverflows = 6;
    ctx->timing.systemBuffer.bOverflows = 7;

    BufferPage page;
    EXPECT_EQ(page.refresh(*ctx), 600);
    EXPECT_EQ(page.programChoices(), (std::vector<std::string>{"节目号:0x0001 PMT_PID:0x0100",
                                                               "节目号:0x0002 PMT_PID:0x0200"}));
    EXPECT_EQ(page.videoPids(), (std::vector<std::string>{"0x0101"}));
    EXPECT_EQ(page.audioPids(), (std::vector<std::string>{"0x0102", "0x0103"}));
    EXPECT_EQ(page.scramblingText(), "业务未加扰");
    const ProgramBars& b = page.bars();
    EXPECT_EQ(b.videoTb, (FillBar{1000, 1}));
    EXPECT_EQ(b.videoMb, (FillBar{10000, 9999}));
    EXPECT_EQ(b.videoEb, (FillBar{1835008, 917504}));
    EXPECT_EQ(b.audioTb, (FillBar{512, 511}));
    EXPECT_EQ(b.audioB, (FillBar{3584, 1}));
    EXPECT_EQ(page.systemTb(), (FillBar{512, 511}));
    EXPECT_EQ(page.systemB(), (FillBar{1536, 700}));

    const std::vector<BufferSummaryRow> want = {
        {" 1 ", "视频缓冲器", "上溢错误:2", " - ", "上溢错误:4  下溢错误:6",
         "上溢错误:8  下溢错误:10"},
        {" ", " ", "清空错误:0", " - ", "清空错误:0", " - "},
        {" 2 ", "音频缓冲器", "上溢错误:40", "上溢错误:80  下溢错误:120", " - ", " - "},
        {" ", " ", "清空错误:0", " - ", " - ", " - "},
        {" 3 ", "系统缓冲器", "上溢错误:6", "上溢错误:7", " - ", " - "},
        {" ", "  ", "清空错误:0", " - ", " - ", " - "},
    };
    EXPECT_EQ(page.summary(), want);

    // The second audio component: a TB fill just past the size stays inside the bar.
    page.selectAudio(1);
    page.refresh(*ctx);
    EXPECT_EQ(page.bars().audioTb, (FillBar{512, 511}));
    EXPECT_EQ(page.bars().audioB, (FillBar{3584, 3583}));

    // A scrambled video shows its bars at their minimum whatever the model holds.
    first.video.scrambled = true;
    page.refresh(*ctx);
    EXPECT_EQ(page.scramblingText(), "业务被加扰");
    EXPECT_EQ(page.bars().videoMb, FillBar{});
    EXPECT_EQ(page.bars().videoEb, FillBar{});

    // Another program: its own PIDs fill the selectors at the next refresh.
    page.selectProgram(1);
    EXPECT_TRUE(page.videoPids().empty());
    page.refresh(*ctx);
    EXPECT_EQ(page.videoPids(), (std::vector<std::string>{"0x0201"}));
    EXPECT_EQ(page.audioPids(), (std::vector<std::string>{"0x0202", "0x0203"}));
    EXPECT_EQ(page.bars().videoTb, FillBar{});  // a fill of 0

    page.reset();
    EXPECT_TRUE(page.programChoices().empty());
    EXPECT_TRUE(page.summary().empty());
    EXPECT_EQ(page.systemTb(), FillBar{});
}

}  // namespace
}  // namespace orv
