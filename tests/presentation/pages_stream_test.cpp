// The basic information, program and buffer pages on a generated stream of known content and on
// two real captures. Expected values come from the stream's configuration and from counting the
// packets of the generated file and of the captures by PID, independently of the analyzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "acquisition/interface_settings.h"
#include "presentation/basic_info_page.h"
#include "presentation/buffer_page.h"
#include "presentation/guide_page.h"
#include "presentation/program_info_page.h"
#include "presentation/report_kinds_pages.h"
#include "tests/support/engine_run.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using test::EngineRun;
using test::EngineRunOptions;
using test::runEngine;

// The clean preset, 10 s at 8 Mbit/s: 53191 packets. By PID: 0x0000 100, 0x0010 5, 0x0011 10,
// 0x0012 25, 0x0014 8, 0x0100 100, 0x0101 20678, 0x0102 1668, 0x0200 100, 0x0201 20186,
// 0x0202 1666, 0x0210 333 (program 2's PCR alone), 0x1FFF 8312.
EngineRun cleanRun() {
    EngineRunOptions o;
    o.offline = true;
    o.mbps = 8.0;
    return runEngine(tsgen::generateStream(tsgen::cleanPreset().config), o);
}

TEST(BasicInfoPageTest, FieldsOfAGeneratedStream) {
    const EngineRun run = cleanRun();
    BasicInfoPage page;
    EXPECT_EQ(page.refresh(*run.ctx), 2000);
    const BasicInfo& i = page.info();
    ASSERT_TRUE(i.filled);
    struct Class {
        PacketClass c;
        uint64_t packets;
        const char* text;
        int bar;
    };
    // share x 100 "%2.2f%", and share x 10000 truncated, of 53191 packets
    const Class classes[] = {{PacketClass::Video, 40864, "76.83%", 7682},
                             {PacketClass::Audio, 3334, "6.27%", 626},
                             {PacketClass::PsiSi, 348, "0.65%", 65},
                             {PacketClass::Null, 8312, "15.63%", 1562},
                             {PacketClass::Other, 333, "0.63%", 62}};
    for (const Class& c : classes) {
        const ClassShare& got = i.classes[static_cast<std::size_t>(c.c)];
        EXPECT_EQ(got.packets, c.packets) << c.text;
        EXPECT_EQ(got.text, c.text);
        EXPECT_EQ(got.bar, c.bar) << c.text;
    }
    const std::pair<std::string, std::string> fields[] = {
        {i.rateMinText, "8.000000"},
        {i.rateMaxText, "8.000000"},
        {i.rateMeanText, "8.000000"},
        {i.rateCurrentText, "8.000000"},
        {i.packetLengthText, "188 Bytes"},
        {i.syncLossText, "0"},
        {i.syncByteText, "0"},
        {i.transportErrorText, "0"},
        {i.transportStreamIdText, "0x0001"},
        {i.programCountText, "2"},
        {i.pcrPidCountText, "2"},
        {i.nitPidText, "0x0010"},
        {i.networkIdText, "0x0001"},
        {i.networkNameText, "ORV01 Test Network"},
        {i.nitTransportStreamIdText, "0x0001"},
        {i.nitOriginalNetworkIdText, "0x0001"},
        {i.selectedProgram.provider, "ORV01"},
        {i.selectedProgram.name, "ORV News"},
        {i.selectedProgram.freeCa, "业务组件未被加扰"},
        {i.selectedProgram.pcrPid, "0x0101"},
    };
    for (const auto& [got, want] : fields)
        EXPECT_EQ(got, want);
    EXPECT_EQ(i.programChoices, (std::vector<std::string>{"节目号:0x0001  PMT_PID:0x0100",
                                                          "节目号:0x0002  PMT_PID:0x0200"}));
    EXPECT_EQ(i.selectedProgram.components,
              (std::vector<std::string>{"MPEG-2视频 PID:0x0101", "MPEG-1音频 PID:0x0102"}));
    EXPECT_EQ(i.selectedProgram.caList, (std::vector<std::string>{"   CA_system_ID  ECM_PID"}));

    page.selectProgram(*run.ctx, 1);
    EXPECT_EQ(page.info().selectedProgram.name, "ORV Sports");
    EXPECT_EQ(page.info().selectedProgram.pcrPid, "0x0210");
    page.selectProgram(*run.ctx, 2);  // no such program: the choice stays
    EXPECT_EQ(page.info().selected, 1);

    // The stop ends the refresh cycle and leaves the texts.
    page.reset();
    EXPECT_FALSE(page.refreshCycleActive());
    EXPECT_EQ(page.info().networkNameText, "ORV01 Test Network");
}

TEST(BasicInfoPageTest, StructureListOfAGeneratedStream) {
    const EngineRun run = cleanRun();
    BasicInfoPage page;
    page.refresh(*run.ctx);
    struct Row {
        const char *group, *type, *id, *ca, *pid, *pcr, *rate, *bandwidth;
    };
    // rate = packets / 53191 x 8 "%2.5f"; bandwidth = packets / 53191 x 100 "%2.2f" (PAT "%2.3f")
    const Row want[] = {
        {"传送流摘要", "", "0x0001", " - ", "", "", "8.00000", "100"},
        {"PSI/SI", "摘要", "", "", "", "", "0.05234", "0.65"},
        {"", "PAT", "0x00", "", "0x0000", "", "0.01504", "0.188"},
        {"", "节目 0x0001", "0x02", "", "0x0100", "", "0.01504", "0.19"},
        {"", "节目 0x0002", "0x02", "", "0x0200", "", "0.01504", "0.19"},
        {"", "NIT", "0x40,0x41", "", "0x0010", "", "0.00075", "0.01"},
        {"", "SDT/BAT", "0x42,0x46,0x4A", "", "0x0011", "", "0.00150", "0.02"},
        {"", "EIT", "0x4E...0x6F", "", "0x0012", "", "0.00376", "0.05"},
        {"", "TDT/TOT", "0x70,0x73", "", "0x0014", "", "0.00120", "0.02"},
        {"节目单元摘要", "MPEG-2视频", "0x02", "", "0x0101", "0x0101", "3.11000", "38.87"},
        {"", "MPEG-1音频", "0x03", "", "0x0102", "0x0101", "0.25087", "3.14"},
        {"", "MPEG-2视频", "0x02", "", "0x0201", "0x0210", "3.03600", "37.95"},
        {"", "MPEG-1音频", "0x03", "", "0x0202", "0x0210", "0.25057", "3.13"},
        {"CA摘要信息", "CA系统", "", "", "", "", "0.00000", "< 0.001"},
        {"其他", "非指定PID", "", "", "", "", "0.00000", "< 0.001"},
        {"", "空包", "", "", "0x1FFF", "", "1.25014", "15.63"},
        {"", "填充", "", "", "", "", "0.05008", "0.63"},
    };
    const std::vector<StructureRow>& rows = page.info().structure;
    ASSERT_EQ(rows.size(), std::size(want));
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const StructureRow& r = rows[k];
        const Row& w = want[k];
        SCOPED_TRACE(w.type);
        EXPECT_EQ(r.groupText, w.group);
        EXPECT_EQ(r.type, w.type);
        EXPECT_EQ(r.id, w.id);
        EXPECT_EQ(r.caSystemIdText, w.ca);
        EXPECT_EQ(r.pidText, w.pid);
        EXPECT_EQ(r.pcrPidText, w.pcr);
        EXPECT_EQ(r.rate, w.rate);
        EXPECT_EQ(r.bandwidth, w.bandwidth);
    }
    // The report of kind 1 takes the same cells, with the CA_PID column empty here.
    const auto report = structureReportRows(page);
    ASSERT_EQ(report.size(), rows.size());
    EXPECT_EQ(report[2], (std::vector<std::string>{"", "PAT", "0x00", "", "", "0x0000", "",
                                                   "0.01504", "0.188"}));
}

// Kind 2 checked line by line against the configuration of the clean preset and its PID counts.
TEST(BasicInfoReportTest, KindTwoOfAGeneratedStream) {
    const EngineRun run = cleanRun();
    BasicInfoPage page;
    page.refresh(*run.ctx);
    InterfaceSettings cable;
    cable.inputInterface = InputInterface::Cable;
    const std::vector<std::string> lines = basicInfoReportLines(page, &cable);
    const std::vector<std::string> head = {
        "传送流数据结构:",
        "\t\t视频:    76.83%",
        "\t\t音频:    6.27%",
        "\t\tPSI/SI:  0.65%",
        "\t\t空包:    15.63%",
        "\t\t其他:    0.63%",
        "传送流传送速率:",
        "\t\t最小值:    8.000000 Mbps",
        "\t\t最大值:    8.000000 Mbps",
        "\t\t平均值:    8.000000 Mbps",
        "\t\t当前值:    8.000000 Mbps",
        "传送流信息",
        "\t\tTS分组长度:    188 Bytes",
        "\t\t同步丢失错误:  0",
        "\t\t同步错误:      0",
        "\t\t传送错误:      0",
        "PAT/NIT信息",
        "\t\t传送流ID:    0x0001",
        "\t\t节目数:      2",
        "\t\tPCR数:       2",
        "\t\tNIT_PID:     0x0010",
        "\t\t网络ID:      0x0001",
        "\t\t网络名称:    ORV01 Test Network",
        "\t\t传送-原始ID: 0x0001-0x0001",
        "PMT信息:",
        "\t\t节目ID:               PMT[0001]  PID:0x0100",
        "\t\t业务提供者名称:       ORV01",
        "\t\t业务名称:             ORV News",
        "\t\tPCR_PID:              0x0101",
        "\t\t节目信息描述:",
        "\t\t\tMPEG-2视频 PID:0x0101",
        "\t\t\tMPEG-1音频 PID:0x0102",
        "",
        "\t\t节目ID:               PMT[0002]  PID:0x0200",
        "\t\t业务提供者名称:       ORV01",
        "\t\t业务名称:             ORV Sports",
        "\t\tPCR_PID:              0x0210",
        "\t\t节目信息描述:",
        "\t\t\tMPEG-2视频 PID:0x0201",
        "\t\t\tMPEG-1音频 PID:0x0202",
        "",
        "\t\tPSI/SI表传送间隔信息:",
        "\t\t\t内容          table_id          当前值(s)            最大值(s)              "
        "最小值(s)",
    };
    // The interval rows: name and table_id columns (the values are checked on their own below).
    const std::vector<std::string> intervals = {
        "\t\t\tPAT           0x00              ", "\t\t\tPMT[0001]     0x02              ",
        "\t\t\tPMT[0002]     0x02              ", "\t\t\tNIT           0x40              ",
        "\t\t\tSDT           0x42              ", "\t\t\tEIT           0x4E              ",
        "\t\t\tTDT           0x70              ", "\t\t\tTOT           0x73              ",
    };
    const std::vector<std::string> tail = {
        "QAM参数测量:",
        "\t\t输入接口\tCABLE",
        "\t\t下行频率\t315000 KHz",
        "\t\t符号率\t\t6875 Ksymbol/s",
        "\t\t调制模式\t64 QAM",
    };
    ASSERT_EQ(lines.size(), head.size() + intervals.size() + tail.size());
    for (std::size_t k = 0; k < head.size(); ++k)
        EXPECT_EQ(lines[k], head[k]);
    for (std::size_t k = 0; k < intervals.size(); ++k) {
        const std::string& line = lines[head.size() + k];
        EXPECT_EQ(line.substr(0, intervals[k].size()), intervals[k]);
        // Three values "%2.6f" apart by 14 spaces (13 between all in the TDT and TOT rows).
        const std::string values = line.substr(intervals[k].size());
        const std::size_t gap = k >= 6 ? 13 : 14;
        EXPECT_EQ(values.size(), 3 * 8 + 2 * gap) << line;
    }
    for (std::size_t k = 0; k < tail.size(); ++k)
        EXPECT_EQ(lines[head.size() + intervals.size() + k], tail[k]);

    // Any other input than the cable one.
    EXPECT_EQ(basicInfoReportLines(page, nullptr).back(), "\t\t<None>");
    cable.inputInterface = InputInterface::Asi;
    EXPECT_EQ(basicInfoReportLines(page, &cable).back(), "\t\t<None>");
}

// The program page of the sample: the clean preset plus a lost packet on 0x0101 and a packet sent
// three times on 0x0102. Video: 720 x 576, 4:3, frame_rate_code 3, bit_rate 7500 x 400,
// profile_and_level 0x48, 4:2:0; PES flags 0x84. Audio: Layer II, 192 kbit/s, 48 kHz, stereo,
// PES of 3 + 5 + 576 bytes.
TEST(ProgramInfoPageTest, ProgramOfTheSampleStream) {
    const tsgen::Preset sample = tsgen::samplePreset();
    EngineRunOptions o;
    o.offline = true;
    const EngineRun run = runEngine(tsgen::generateStream(sample.config, sample.faults), o);
    ProgramInfoPage page;
    page.refresh(*run.ctx);
    ASSERT_EQ(page.programChoices().size(), 2u);
    const ProgramView& v = page.view();
    const std::pair<std::string, std::string> fields[] = {
        {v.programNumberText, "0x0001"},
        {v.componentCountText, "2"},
        {v.pcrPidText, "0x0101"},
        {v.serviceTypeText, "数字电视节目"},
        {v.scrambledText, "业务未被加扰"},
        {v.runningText, "正在运行"},
        {v.provider, "ORV01"},
        {v.serviceName, "ORV News"},
    };
    for (const auto& [got, want] : fields)
        EXPECT_EQ(got, want);
    ASSERT_EQ(v.components.size(), 2u);
    // One continuity error on each PID: the lost packet and the third copy.
    EXPECT_EQ(v.components[0].index + v.components[0].type + v.components[0].pid +
                  v.components[0].ccErrors,
              "1MPEG-2 视频0x01011");
    EXPECT_EQ(v.components[1].index + v.components[1].type + v.components[1].pid +
                  v.components[1].ccErrors,
              "2MPEG-1 音频0x01021");

    const std::vector<std::string> lines = programReportLines(page);
    const std::vector<std::string> want = {
        "节目基本信息:",
        "    节目PID:0x0100   节目号:0x0001",
        "    节目单元数:2",
        "    PCR_PID:0x0101",
        "    节目类型:数字电视节目",
        "    加密状态:业务未被加扰",
        "    运行状态:正在运行",
        "    业务提供者名称:ORV01",
        "    业务名称:ORV News",
        "",
        "    序号  类型            PID        码率(Mbps)    连续计数错",
        "    1     MPEG-2 视频     0x0101     " + v.components[0].rate + "     1     ",
        "    2     MPEG-1 音频     0x0102     " + v.components[1].rate + "     1     ",
        "",
        "    视频es流信息:",
        "    视频PID:0x0101",
        "    视频格式:MPEG-2 视频(PAL制)",
        "    水平大小:720",
        "    垂直大小:576",
        "    帧频:25.000 帧/s",
        "    传输速率:3000000 bps",
        "    类和级:主 : 主",
        "    宽高比:4 : 3",
        "    色度格式:4 : 2 : 0",
        "    PES包前缀:0x000001",
        "    Stream_ID:0xe0",
        "    PES包长度:" + v.video.pes.length,
        "    PES加扰标志:0",
        "    PES优先标志:0 ",
        "    数据对齐标志:1 ",
        "    音频es流信息:",
        "    音频PID:0x0102",
        "    音频格式:MPEG-1 音频",
        "    层: II ",
        "    比特率:192 kbps",
        "    采样率:48 kHz",
        "    模式:立体声",
        "    加重:<None>",
        "    PES包前缀:0x000001",
        "    Stream_ID:0xc0",
        "    PES包长度:584字节",
        "    PES加扰标志:0 ",
        "    PES优先标志:0 ",
        "    数据对齐标志:1 ",
    };
    EXPECT_EQ(lines, want);
    // The rate is the share of all packets times 8 Mbit/s with seven decimals.
    EXPECT_EQ(v.components[0].rate.size(), 9u);
    // A video PES packet of an I picture is longer than 65535 bytes and says so with 0.
    const std::string& len = v.video.pes.length;
    EXPECT_TRUE(len == "(长度不确定)" || len.find("字节") != std::string::npos) << len;
    // A GOP of 12 has 1 I, 3 P and 8 B pictures: 99 or 100 pictures per tally.
    unsigned i = 0, p = 0, b = 0;
    ASSERT_EQ(std::sscanf(v.pictureTally.c_str(), "%u : %u :%u", &i, &p, &b), 3) << v.pictureTally;
    EXPECT_GE(i + p + b, 99u);
    EXPECT_LE(i + p + b, 100u);
    EXPECT_NEAR(double(b) / (i + p + b), 8.0 / 12.0, 0.03);

    page.selectProgram(*run.ctx, 1);
    EXPECT_EQ(page.view().serviceName, "ORV Sports");
    EXPECT_EQ(page.view().pcrPidText, "0x0210");
    EXPECT_EQ(page.view().components[0].ccErrors, "0");
    const std::vector<std::string> text = multiplexText(*run.ctx);
    EXPECT_EQ(text,
              (std::vector<std::string>{
                  "共复用了2路节目", "节目0x0001  (PMT_PID:0x0100)", "PCR_PID:0x0101",
                  "MPEG-2视频 PID:0x0101", "MPEG-1音频 PID:0x0102", "节目0x0002  (PMT_PID:0x0200)",
                  "PCR_PID:0x0210", "MPEG-2视频 PID:0x0201", "MPEG-1音频 PID:0x0202"}));
}

std::vector<uint8_t> readCapture(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Two captures, counted by PID and their headers decoded from a hex dump:
// - cap-mpeg2-mp2-sdt.ts, 9751 packets: PAT 31, PMT 0x0810 31, SDT 32, PCR alone on 0x0100 87,
//   video 0x1000 9077 (720 x 576, aspect 3, frame_rate_code 3, bit_rate_value 11375, profile and
//   level 0x48, 4:2:0), audio 0x1001 493 (FF FC A4 04: Layer II, 192 kbit/s, 48 kHz, stereo);
//   SDT service 0x0810: type 1, running 4, provider "\x03DVB", name "\x04P1.1".
// - cap-mpeg2-dts-mp2.ts, 2660 packets: PAT 16, PMT 0x0100 16, SIT 0x001F 16, PCR alone on
//   0x1001 2, video 0x1011 2477, audio (stream_type 4) 0x1101 28, user private (0x86) 0x1100 105;
//   no SDT and no NIT; its PSI bursts overfill TBsys.
TEST(PagesRealCaptureTest, PagesOfTwoCaptures) {
    const fs::path streams = ORV_STREAMS_DIR;
    if (!fs::is_directory(streams)) GTEST_SKIP() << "no captures at " << streams;
    struct Case {
        const char* file;
        std::vector<std::string> classes;
        std::vector<std::string> components;  // of the PMT list of the basic information page
        std::vector<std::pair<std::string, uint64_t>> structure;  // type, packets
        std::string provider, name, serviceType, running;
        std::vector<std::string> video;  // format, sizes, frame rate, bit rate, profile, aspect
        std::vector<std::string> audio;  // format, layer, bit rate, sampling, mode, emphasis
        bool systemOverflows;            // TBsys overflows in the run
    };
    const Case cases[] = {
        {"cap-mpeg2-mp2-sdt.ts",
         {"93.09%", "5.06%", "0.96%", "0.00%", "0.89%"},
         {"MPEG-2视频 PID:0x1000", "MPEG-1音频 PID:0x1001"},
         {{"", 9751},
          {"摘要", 94},
          {"PAT", 31},
          {"节目 0x0810", 31},
          {"SDT/BAT", 32},
          {"MPEG-2视频", 9077},
          {"MPEG-1音频", 493},
          {"CA系统", 0},
          {"非指定PID", 0},
          {"空包", 0},
          {"填充", 87}},
         "DVB",
         "P1.1",
         "数字电视节目",
         "正在运行",
         {"MPEG-2 视频(PAL制)", "720", "576", "25.000 帧/s", "4550000 bps", "主 : 主", "16 : 9",
          "4 : 2 : 0"},
         {"MPEG-1 音频", " II ", "192 kbps", "48 kHz", "立体声", "<None>"},
         false},
        {"cap-mpeg2-dts-mp2.ts",
         {"93.12%", "1.05%", "1.80%", "0.00%", "4.02%"},
         {"MPEG-2视频 PID:0x1011", "MPEG-2音频 PID:0x1101", "用户私有 PID:0x1100"},
         {{"", 2660},
          {"摘要", 48},
          {"PAT", 16},
          {"节目 0x0001", 16},
          {"SIT", 16},
          {"MPEG-2视频", 2477},
          {"MPEG-2音频", 28},
          {"用户私有", 105},
          {"CA系统", 0},
          {"非指定PID", 0},
          {"空包", 0},
          {"填充", 2}},
         "<None>",
         "<None>",
         "用户定义节目",
         "没有定义",
         {},
         {},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EngineRunOptions o;
        o.offline = true;
        const EngineRun run = runEngine(readCapture(streams / c.file), o);
        BasicInfoPage basic;
        basic.refresh(*run.ctx);
        const BasicInfo& i = basic.info();
        std::vector<std::string> classes;
        for (const ClassShare& s : i.classes)
            classes.push_back(s.text);
        EXPECT_EQ(classes, c.classes);
        EXPECT_EQ(i.classes[static_cast<int>(PacketClass::Null)].bar, 0);
        EXPECT_EQ(i.selectedProgram.components, c.components);
        std::vector<std::pair<std::string, uint64_t>> structure;
        for (const StructureRow& r : i.structure)
            structure.emplace_back(r.type, r.packets);
        EXPECT_EQ(structure, c.structure);
        if (c.provider == "<None>") {
            // Neither SDT nor NIT: every NIT field but the PID shows "<None>".
            EXPECT_EQ(i.nitPidText, "0x0010");
            EXPECT_EQ(i.networkIdText + i.networkNameText + i.nitTransportStreamIdText +
                          i.nitOriginalNetworkIdText,
                      "<None><None><None><None>");
        }

        ProgramInfoPage program;
        program.refresh(*run.ctx);
        const ProgramView& v = program.view();
        EXPECT_EQ(v.provider, c.provider);
        EXPECT_EQ(v.serviceName, c.name);
        EXPECT_EQ(v.serviceTypeText, c.serviceType);
        EXPECT_EQ(v.runningText, c.running);
        if (!c.video.empty()) {
            const VideoHeaderTexts& t = v.video;
            EXPECT_EQ(
                (std::vector<std::string>{t.format, t.horizontal, t.vertical, t.frameRate,
                                          t.bitRate, t.profileLevel, t.aspectRatio, t.chroma}),
                c.video);
            EXPECT_EQ(t.pes.streamId, "0xe0");
            const AudioHeaderTexts& a = v.audio;
            EXPECT_EQ((std::vector<std::string>{a.format, a.layer, a.bitRate, a.sampling, a.mode,
                                                a.emphasis}),
                      c.audio);
            EXPECT_EQ(a.pes.streamId, "0xc0");
            EXPECT_EQ(a.pes.length, "584字节");
        }

        BufferPage buffers;
        buffers.refresh(*run.ctx);
        ASSERT_EQ(buffers.summary().size(), 6u);
        // The row counts what the model logged as TBsys overflows (event 1142).
        EXPECT_EQ(run.count(1142) > 0, c.systemOverflows);
        EXPECT_EQ(buffers.summary()[4][2], "上溢错误:" + std::to_string(run.count(1142)));
    }
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

// The guide page on two captures; the services, names and present/following event ids come from
// an independent walk of the captures' SDT and EIT sections (not from the engine).
TEST(GuidePageRealCaptures, ServicesNamesAndPresentFollowingEvents) {
    const fs::path streams = ORV_STREAMS_DIR;
    if (!fs::is_directory(streams)) GTEST_SKIP() << "no captures at " << streams;
    struct Case {
        const char* file;
        std::vector<std::string> serviceIds;  // the actual SDT's services, in id order
        std::string firstName, firstProvider;
        std::vector<std::string> firstEvents;  // EIT p/f event ids of the first service
    };
    const Case cases[] = {
        {"cap-si-only-nit-sdt-eit-tdt.ts",
         {"0x0401", "0x0402", "0x0407", "0x0415", "0x0416"},
         "M6",
         "Multi4",
         {"0x0030", "0x0031"}},
        {"cap-h264-mp2-sdt.ts", {"0x0001"}, "Big Buck Bunny, Sunflower version", "FFmpeg", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EngineRunOptions o;
        o.offline = true;
        const EngineRun run = runEngine(readCapture(streams / c.file), o);
        GuidePage page;
        page.refresh(*run.ctx);
        std::vector<std::string> ids;
        for (const GuideServiceRow& r : page.services(GuideListId::Actual))
            ids.push_back(r.serviceId);
        std::vector<std::string> sorted = ids;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, c.serviceIds);
        const auto first = std::find(ids.begin(), ids.end(), c.serviceIds.front()) - ids.begin();
        page.selectionChanged(*run.ctx, GuideListId::Actual, static_cast<int>(first));
        EXPECT_EQ(page.texts().serviceName, c.firstName);
        EXPECT_EQ(page.texts().providerName, c.firstProvider);
        std::vector<std::string> events;
        for (const GuideEventRow& e : page.events())
            events.push_back(e.eventId);
        for (const std::string& id : c.firstEvents)
            EXPECT_NE(std::find(events.begin(), events.end(), id), events.end()) << id;
    }
}

}  // namespace
}  // namespace orv
