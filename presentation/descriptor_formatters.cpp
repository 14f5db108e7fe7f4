#include "presentation/descriptor_formatters.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "presentation/text_format.h"

namespace orv::fmt {
namespace {

FormattedValue field(std::string text) {
    return {std::move(text), LineForm::Field};
}

// Names of service types 0x01..0x10 in the two wordings the descriptors use.
constexpr const char* kServiceTypeTexts[] = {
    "0x01   数字电视业务",     "0x02   数字音频广播业务", "0x03   图文电视节目",
    "0x04   NVOD参考业务",     "0x05   NVOD时移业务",     "0x06   马赛克业务",
    "0x07   PAL制编码信息",    "0x08   SECAM制编码信息",  "0x09   本指导性文件预留",
    "0x0a   调频广播",         "0x0b   NTSC制编码信号",   "0x0c   数据广播业务",
    "0x0d   公共接口使用预留", "0x0e   RCS映射",          "0x0f   RCS FLS",
    "0x10   MHP业务"};
constexpr const char* kServiceListNames[] = {
    "数字电视业务",         "数字音频广播业务", "图文电视业务",   "NVOD参考业务",
    "NVOD时移业务",         "马赛克业务",       "PAL制编码信号",  "SECAM制编码信号",
    "本指导性技术文件预留", "调频广播",         "NTSC制编码信号", "数据广播业务",
    "公共接口使用预留",     "RCS映射",          "RCS FLS",        "MHP业务"};

struct Explained {
    uint8_t type;
    const char* text;
};
constexpr Explained kVideoComponents[] = {
    {1, "(视频,宽高比4:3,25Hz)"},
    {2, "(视频,宽高比16:9,有摇移矢量,25Hz)"},
    {3, "(视频,宽高比16:9,无摇移矢量,25Hz)"},
    {4, "(视频,宽高比>16:9，25Hz)"},
    {5, "(视频,宽高比4:3,30Hz)"},
    {6, "(视频,宽高比16:9,有摇移矢量,30Hz)"},
    {7, "(视频,宽高比16:9,无摇移矢量,30Hz)"},
    {8, "(视频,宽高比>16:9，30Hz)"},
    {9, "(高清晰度视频,宽高比4:3,25Hz)"},
    {10, "(高清晰度视频,宽高比16:9,有摇移矢量,25Hz)"},
    {11, "(高清晰度视频,宽高比16:9,无摇移矢量,25Hz)"},
    {12, "(高清晰度视频,宽高比>16:9，25Hz)"},
    {13, "(高清晰度视频,宽高比4:3,30Hz)"},
    {14, "(高清晰度视频,宽高比16:9,有摇移矢量,30Hz)"},
    {15, "(高清晰度视频,宽高比16:9,无摇移矢量,30Hz)"},
    {16, "(高清晰度视频,宽高比>16:9，30Hz)"},
};
constexpr Explained kAudioComponents[] = {
    {1, "(音频,单声道)"},
    {2, "(音频,双声道)"},
    {3, "(音频,立体声)"},
    {4, "(音频,多语言,多声道)"},
    {5, "(音频,环绕声)"},
    {0x40, "(音频,服务于视觉障碍者)"},
    {0x41, "(音频,服务于听力障碍者)"},
};
constexpr Explained kSubtitleComponents[] = {
    {1, "(图文字幕)"},
    {2, "(相关图文)"},
    {0x10, "(DVB字幕,无宽高比限制)"},
    {0x11, "(DVB字幕,宽高比 4:3)"},
    {0x12, "(DVB字幕,宽高比 16:9)"},
    {0x13, "(DVB字幕,宽高比 2.21:1)"},
    {0x20, "(DVB字幕,听力障碍者用,无宽高比限制)"},
    {0x21, "(DVB字幕,听力障碍者用,宽高比 4:3)"},
    {0x22, "(DVB字幕,听力障碍者用,宽高比 16:9)"},
    {0x23, "(DVB字幕,听力障碍者用,宽高比 2.21:1)"},
};

struct ComponentClass {
    std::span<const Explained> types;
    unsigned hexFrom;  // types from here on are shown as "0x%02x"
};

const char* explain(std::span<const Explained> list, unsigned type) {
    for (const Explained& e : list) {
        if (e.type == type) return e.text;
    }
    return nullptr;
}

// Content texts by level 1 (index 1..0xA) and level 2 (index 0..0xC); empty slots are reserved.
inline constexpr std::size_t kContentLevel2Count = 13;
constexpr const char* kContent[11][kContentLevel2Count] = {
    {},
    {"节目内容: 电影/电视剧/戏剧(普通)", "节目内容: 侦探/恐怖", "节目内容: 冒险/战争",
     "节目内容: 科幻", "节目内容: 喜剧", "节目内容: 肥皂剧", "节目内容: 言情",
     "节目内容: 古典/历史"},
    {"节目内容: 新闻时事(普通)", "节目内容: 新闻/天气预报", "节目内容: 新闻杂志", "节目内容: 资料",
     "节目内容: 讨论/访谈/辩论"},
    {"节目内容: 表演/游戏(普通)", "节目内容: 智力游戏/智力竞赛", "节目内容: 杂技",
     "节目内容: 脱口秀"},
    {"节目内容: 综合体育", "节目内容: 特别节目(奥运会、世界杯等)", "节目内容: 体育杂志",
     "节目内容: 足球/篮球/排球", "节目内容: 乒乓球", "节目内容: 团体性运动", "节目内容: 田径",
     "节目内容: 自行车/赛车", "节目内容: 水上运动", "节目内容: 冬季运动", "节目内容: 马术",
     "节目内容: 武术/拳击/摔跤", "节目内容: 棋牌"},
    {"节目内容: 青年少儿节目(综合)", "节目内容: 幼儿节目", "节目内容:少儿节目",
     "节目内容: 青年节目", "节目内容: 信息/教育", "节目内容: 卡通/木偶戏"},
    {"节目内容: 音乐/舞蹈(综合)", "节目内容: 流行", "节目内容:古典音乐/严肃音乐",
     "节目内容: 民俗音乐/民族音乐", "节目内容: 爵士乐", "节目内容: 歌舞剧/歌剧", "节目内容: 芭蕾舞",
     "节目内容: 戏曲/曲艺"},
    {"节目内容: 文化艺术(综合)", "节目内容: 表演艺术", "节目内容:高雅艺术", "节目内容: 预留使用",
     "节目内容: 大众文化/传统艺术", "节目内容: 文学", "节目内容: 电影/电视文化",
     "节目内容: 预留使用", "节目内容: 预留使用", "节目内容: 新媒体", "节目内容: 艺术/文化杂志",
     "节目内容: 时尚"},
    {"节目内容: 社会/政治/经济(普通)", "节目内容: 杂志/报道/资讯/证券", "节目内容:经济/社会咨询",
     "节目内容: 名人专题"},
    {"节目内容: 教育/科学/专题(普通)", "节目内容: 自然/动物/环境", "节目内容:技术/自然科学",
     "节目内容: 医疗/生理/心理", "节目内容: 探险", "节目内容: 社会科学", "节目内容: 继续教育",
     "节目内容: 语言"},
    {"节目内容: 休闲/业余爱好(普通)", "节目内容: 旅游", "节目内容:手工", "节目内容: 车趣",
     "节目内容: 健身", "节目内容: 烹饪", "节目内容: 广告/购物"},
};
constexpr const char* kContentReserved = "节目内容: 预留使用";
constexpr const char* kContentUser = "节目内容: 用户定义";
constexpr const char* kContentUndefined = "节目内容: 未定义";

// Rates of the short smoothing buffer codes 1..29 and the odd ones above; the regular runs
// between them are computed.
struct LeakRate {
    uint8_t code;
    const char* text;
};
constexpr LeakRate kLeakRates[] = {
    {1, "1   0.0009 Mbit/s"},  {2, "2   0.0018 Mbit/s"},  {3, "3   0.0036 Mbit/s"},
    {4, "4   0.0072 Mbit/s"},  {5, "5   0.0108 Mbit/s"},  {6, "6   0.0144 Mbit/s"},
    {7, "7   0.0216 Mbit/s"},  {8, "8   0.0288 Mbit/s"},  {9, "9   0.075 Mbit/s"},
    {10, "10  0.5 Mbit/s"},    {11, "11  0.5625 Mbit/s"}, {12, "12  0.8437 Mbit/s"},
    {13, "13  1.0 Mbit/s"},    {14, "14  1.1250 Mbit/s"}, {15, "15  1.5 Mbit/s"},
    {16, "16  1.6875 Mbit/s"}, {17, "17  2.0 Mbit/s"},    {18, "18  2.2500 Mbit/s"},
    {19, "19  2.5 Mbit/s"},    {20, "20  3.0 Mbit/s"},    {21, "21  3.3750 Mbit/s"},
    {22, "22  3.5 Mbit/s"},    {23, "23  4.0 Mbit/s"},    {24, "24  4.5 Mbit/s"},
    {25, "25  5.0 Mbit/s"},    {26, "26  5.5 Mbit/s"},    {27, "27  6.0 Mbit/s"},
    {28, "28  6.5 Mbit/s"},    {29, "29  6.75 Mbit/s"},   {38, "38  13.5 Mbit/s"},
    {48, "48  27 Mbit/s"},     {56, "56  44 Mbit/s"},     {57, "57  48 Mbit/s"},
    {58, "58  54 Mbit/s"},     {59, "59  72 Mbit/s"},     {60, "60  108 Mbit/s"},
};

struct LeakRun {
    uint8_t first, last;
    double scale, offset;  // rate = scale * code + offset
};
constexpr LeakRun kLeakRuns[] = {
    {30, 32, 0.5, -8.0},  {33, 37, 1.0, -24.0}, {39, 43, 1.0, -25.0},
    {44, 47, 2.0, -68.0}, {49, 55, 2.0, -70.0},
};

std::string bcdDigits(std::string_view tmpl, uint64_t v, int digits) {
    return partsText(tmpl, v, digits, 4);
}

}  // namespace

std::string partsText(std::string_view tmpl, uint64_t v, int count, int bitsEach) {
    int64_t d[8] = {};
    const uint64_t mask = (uint64_t{1} << bitsEach) - 1;
    for (int i = 0; i < count && i < 8; ++i) {
        d[i] = static_cast<int64_t>((v >> (bitsEach * (count - 1 - i))) & mask);
    }
    return formatText(tmpl, {d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]});
}

FormattedValue maximumBitrate(uint64_t v, const DescriptorVars&) {
    return field(formatText("%2.5f Mbit/s", {static_cast<double>(v) * 50.0 * 8.0 / 1e6}));
}

FormattedValue serviceType(uint64_t v, const DescriptorVars&) {
    if (v >= 1 && v <= std::size(kServiceTypeTexts)) return field(kServiceTypeTexts[v - 1]);
    return {"服务类型:用户定义业务", LineForm::Bare};
}

FormattedValue serviceListEntry(uint64_t v, const DescriptorVars&) {
    const uint64_t type = v & 0xFF;
    const char* name = (type >= 1 && type <= std::size(kServiceListNames))
                           ? kServiceListNames[type - 1]
                           : "用户定义节目";
    return {formatText("   节目0x%04x,服务类型:%s", {v >> 8, name}), LineForm::AfterPrefix};
}

FormattedValue componentPair(uint64_t v, const DescriptorVars&) {
    const unsigned content = static_cast<unsigned>(v >> 8) & 0xF;
    const unsigned type = static_cast<unsigned>(v) & 0xFF;
    const ComponentClass classes[] = {
        {kVideoComponents, 0x100}, {kAudioComponents, 0x40}, {kSubtitleComponents, 0x10}};
    if (content < 1 || content > 3) {
        return {
            formatText("   Stream_content = %d,Component_type = 0x%02x   (保留)", {content, type}),
            LineForm::AfterPrefix};
    }
    const ComponentClass& cls = classes[content - 1];
    const char* text = explain(cls.types, type);
    const char* lead = (content == 1 && type == 2) ? "\t" : "   ";
    const char* typeForm = (text != nullptr && type >= cls.hexFrom) ? "0x%02x" : "%d";
    std::string line = formatText("%sStream_content = %d,Component_type = ", {lead, content});
    line += formatText(typeForm, {type});
    line += "   ";
    line += text != nullptr ? text : "(保留)";
    return {std::move(line), LineForm::AfterPrefix};
}

FormattedValue contentText(uint64_t, const DescriptorVars& vars) {
    const uint64_t l1 = vars[0] & 0xF, l2 = vars[1] & 0xF;
    const char* text = kContentReserved;
    if (l1 == 0) {
        text = kContentUndefined;
    } else if (l1 == 0xF) {
        text = kContentUser;
    } else if (l1 <= 0xA) {
        if (l2 == 0xF) {
            text = kContentUser;
        } else if (l2 < kContentLevel2Count && kContent[l1][l2] != nullptr) {
            text = kContent[l1][l2];
        }
    }
    return field(text);
}

FormattedValue parentalRating(uint64_t v, const DescriptorVars&) {
    if (v == 0) return field("0   (未定义)");
    if (v <= 0x0F) return field(formatText("%d   (最小年龄 = %d )", {v, v + 3}));
    return field(formatText("%d   (广播者定义)", {v}));
}

FormattedValue countryRegion(uint64_t v, const DescriptorVars&) {
    if (v == 0) return field("0 (未使用时区扩展)");
    if (v == 1) return field("1 (时区1(最东部))");
    if (v == 60) return field("60 (时区60(最西部))");
    if (v > 60) return field(formatText("%d (保留时区)", {v}));
    return field(formatText("%d (时区%d)", {v, v}));
}

// A count field codes the number of cells minus one.
FormattedValue horizontalCells(uint64_t v, const DescriptorVars&) {
    return field(formatText("0x%02x (水平基本单元:%d个)", {v, v + 1}));
}
FormattedValue verticalCells(uint64_t v, const DescriptorVars&) {
    return field(formatText("0x%02x (垂直基本单元:%d个)", {v, v + 1}));
}

FormattedValue terrestrialFrequency(uint64_t v, const DescriptorVars&) {
    return field(formatText("%d Hz", {v * 10}));
}

FormattedValue shortSmoothingLeakRate(uint64_t v, const DescriptorVars&) {
    for (const LeakRate& r : kLeakRates) {
        if (r.code == v) return field(r.text);
    }
    for (const LeakRun& run : kLeakRuns) {
        if (v >= run.first && v <= run.last) {
            return field(formatText("%d   %2.1f Mbit/s",
                                    {v, run.scale * static_cast<double>(v) + run.offset}));
        }
    }
    // Codes 0 and 61..63 are reserved: the code, and 0 where a rate would stand.
    return field(formatText("%d   %d   预留使用", {v, 0}));
}

FormattedValue listedFrequency(uint64_t v, const DescriptorVars& vars) {
    switch (vars[0]) {
        case 2:
            return field(bcdDigits("%d%d%d%d.%d%d%d%d MHz", v, 8));
        case 3:
            return terrestrialFrequency(v, vars);
        default:
            return field(bcdDigits("%d%d%d.%d%d%d%d%d GHz", v, 8));
    }
}

FormattedValue partialPeakRate(uint64_t v, const DescriptorVars&) {
    return field(formatText("%d bps", {v * 400}));
}

FormattedValue partialSmoothingRate(uint64_t v, const DescriptorVars&) {
    if (v == 0x3FFFFF) return field("溢出速率未定义");
    return field(formatText("%d bps", {v * 400}));
}

FormattedValue partialSmoothingBuffer(uint64_t v, const DescriptorVars&) {
    if (v == 0x3FFF) return field("缓冲区大小未定义");
    return field(formatText("%d Byte", {v}));
}

}  // namespace orv::fmt
