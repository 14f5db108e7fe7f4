#include "presentation/results_page_kinds.h"

#include <charconv>

namespace orv {
namespace {

using namespace sub;

struct Source {
    DetailSource source = DetailSource::None;
    int index = 0;
    bool afterInitOnly = false;
};

constexpr Source S(int slot) {
    return {DetailSource::Slot, slot};
}
constexpr Source C(CrcTable t, bool afterInitOnly = false) {
    return {DetailSource::CrcTable, static_cast<int>(t), afterInitOnly};
}
constexpr DetailLine L(std::string_view text, Source s = {}) {
    return {text, s.source, static_cast<std::int8_t>(s.index), s.afterInitOnly};
}

// clang-format off
constexpr DetailLine kLines1[] = {
    L("    TS包同步字节0x47丢失 %d 个", S(0)),
};
constexpr DetailLine kLines2[] = {
    L("    TS包同步字节不等于0x47 %d个", S(0)),
};
constexpr DetailLine kLines3[] = {
    L("    PAT(table_id=0x00)出现间隔超过0.5s %d 个", S(0)),
    L("    PID=0x0000的TS包含有的table_id不等于0x00 %d 个", S(1)),
    L("    PID=0x0000的TS包的加扰标志位不等于00 %d 个", S(2)),
};
constexpr DetailLine kLines4[] = {
    L("    不正确的TS包顺序 %d 个", S(0)),
    L("    TS包出现超过2次 %d 个", S(1)),
    L("    TS包丢失 %d 个", S(2)),
};
constexpr DetailLine kLines5[] = {
    L("    PAT指出的table_id=0x02的"),
    L("    任何PMT出现间隔超过0.5s %d 个", S(0)),
};
constexpr DetailLine kLines6[] = {
    L("    PID=PMT_PID的TS包加扰标志位不等于'00' %d 个", S(0)),
};
constexpr DetailLine kLines7[] = {
    L("    用户指定PID出现间隔超过一个用户指定周期 %d 个", S(0)),
};
constexpr DetailLine kLines8[] = {
    L("    TS包头传送错误标志位等于'1' %d 个", S(0)),
};
constexpr DetailLine kLines9[] = {
    L("    PAT发生CRC错误 %d 个", C(CrcTable::Pat, true)),
    L("    PMT发生CRC错误 %d 个", C(CrcTable::Pmt, true)),
    L("    CAT发生CRC错误 %d 个", C(CrcTable::Cat)),
    L("    NIT发生CRC错误 %d 个", C(CrcTable::Nit)),
    L("    EIT发生CRC错误 %d 个", C(CrcTable::Eit)),
    L("    BAT发生CRC错误 %d 个", C(CrcTable::Bat)),
    L("    SDT发生CRC错误 %d 个", C(CrcTable::Sdt)),
    L("    TOT发生CRC错误 %d 个", C(CrcTable::Tot)),
};
constexpr DetailLine kLines10[] = {
    L("    2个连续PCR出现间隔超过40ms %d 个", S(0)),
};
constexpr DetailLine kLines11[] = {
    L("    2个连续PCR间隔不在0...100ms内"),
    L("    且没有非连续标志指示 %d 个", S(0)),
};
constexpr DetailLine kLines12[] = {
    L("    PCR抖动范围超过(-500ns...+500ns) %d 个", S(0)),
};
constexpr DetailLine kLines13[] = {
    L("    视频/音频PTS出现周期超过700ms %d 个", S(0)),
};
constexpr DetailLine kLines14[] = {
    L("    传送流中没有出现CAT"),
    L("    且监测到加扰标志位不等于00的TS包 %d 个", S(0)),
};
constexpr DetailLine kLines15[] = {
    L("    PID=0x0001的TS包含有的table_id不等于(0x01) %d 个", S(0)),
};
constexpr DetailLine kLines16[] = {
    L("    PID=0x0010的TS包含有的table_id"),
    L("    不等于(0x40,0x41,0x72) %d 个", S(0)),
};
constexpr DetailLine kLines17[] = {
    L("    NIT(table_id=0x40)出现间隔超过10s %d 个", S(0)),
    L("    NIT(table_id=0x40)出现间隔小于25ms %d 个", S(1)),
};
constexpr DetailLine kLines18[] = {
    L("    NIT(table_id=0x41)出现间隔超过10s %d 个", S(0)),
};
constexpr DetailLine kLines19[] = {
    L("    SI表出现间隔超过指定的范围 %d 个", S(0)),
};
constexpr DetailLine kLines20[] = {
    L("    传送缓冲器(TBn)上溢 %d 个", S(kBufTBn)),
    L("    系统传送缓冲器(TBsys)上溢 %d 个", S(kBufTBsys)),
    L("    复用缓冲器(MBn)上溢或下溢(在vbv_delay模式下) %d 个", S(kBufMBn)),
    L("    ES流缓冲器(EBn)上溢或下溢(在vbv_delay模式下) %d 个", S(kBufEBn)),
    L("    主缓冲器上溢(Bn) %d 个", S(kBufBn)),
    L("    PSI输入缓冲器(Bsys)上溢 %d 个", S(kBufBsys)),
};
constexpr DetailLine kLines21[] = {
    L("    传送流出现的PID不属于(PSI/SI PID,保留PID,用户定义的"),
    L("    私有数据PID)且在0.5s内不被任何PMT指定 %d 个", S(0)),
};
constexpr DetailLine kLines22[] = {
    L("    PID=0x0011的TS包含有的table_id"),
    L("    不等于(0x42,0x46,0x4A,0x72) %d 个", S(0)),
};
constexpr DetailLine kLines23[] = {
    L("    SDT(table_id=0x42)出现间隔超过2s %d 个", S(0)),
    L("    SDT(table_id=0x42)出现间隔小于25ms %d 个", S(1)),
};
constexpr DetailLine kLines24[] = {
    L("    SDT(table_id=0x46)出现间隔超过10s %d 个", S(0)),
};
constexpr DetailLine kLines25[] = {
    L("    PID=0x0012的TS包含有的table_id"),
    L("    不等于(0x4E...0x6f,0x72) %d 个", S(0)),
};
constexpr DetailLine kLines26[] = {
    L("    EIT(table_id=0x4E,EIT-P)出现间隔超过2s %d 个", S(0)),
    L("    EIT(table_id=0x4E,EIT-F)出现间隔超过2s %d 个", S(1)),
    L("    EIT(table_id=0x4E)出现间隔小于25ms %d 个", S(2)),
};
constexpr DetailLine kLines27[] = {
    L("    EIT(table_id=0x4F,EIT-P)出现间隔超过10s %d 个", S(0)),
    L("    EIT(table_id=0x4F,EIT-F)出现间隔超过10s %d 个", S(1)),
};
constexpr DetailLine kLines28[] = {
    L("    当前/后续表只出现段号('0'或'1') %d 个", S(0)),
};
constexpr DetailLine kLines29[] = {
    L("    PID=0x0013的TS包含有的table_id"),
    L("    不等于(0x71,0x72) %d 个", S(0)),
    L("    RST(table_id=0x71)出现间隔小于25ms %d 个", S(1)),
};
constexpr DetailLine kLines30[] = {
    L("    PID=0x0014的TS包含有的table_id"),
    L("    不等于(0x70,0x72,0x73) %d 个", S(0)),
    L("    TDT(table_id=0x70)出现间隔超过30s %d 个", S(1)),
    L("    TDT(table_id=0x70)出现间隔小于25ms %d 个", S(2)),
};
constexpr DetailLine kLines31[] = {
    L("    传送缓冲器(TBn)1秒内没有清空 %d 个", S(kBufTBn)),
    L("    系统传送缓冲器(TBsys)1秒内没有清空 %d 个", S(kBufTBsys)),
    L("    复用缓冲器(MBn)1秒内没有清空(在leak模式下) %d 个", S(kBufMBn)),
};
constexpr DetailLine kLines32[] = {
    L("    数据通过TSDT缓冲器超过1s(静止图像视频数据除外) %d 个", S(kDelayOverOneSecond)),
    L("    静止图像视频数据通过TSDT缓冲器超过60s %d 个", S(kDelayStillPicture)),
};

// Button, priority group, headline below the cap and at it, sub-lines, cap.
constexpr std::array<ResultsKindInfo, kKindCount> kKinds = {{
    {"同步丢失错", 1, "  监测到传送流同步字节0x47丢失共 %d 个", "  监测到传送流同步字节0x47丢失共 ≥1000 个", kLines1},  // 同步丢失错误
    {"同步字节错", 1, "  监测到传送流同步字节错误共 %d个", "  监测到传送流同步字节错误共 ≥1000 个", kLines2},  // 同步字节错误
    {"PAT错误", 1, "  监测到传送流PAT错误共 %d 个", "  监测到传送流PAT错误共 ≥1000 个", kLines3},  // PAT错误
    {"连续计数错", 1, "  监测到传送流连续计数错误共 %d 个", "  监测到传送流连续计数错误共 ≥1000 个", kLines4},  // 连续计数错误
    {"PMT间隔错误", 1, "  监测到传送流PMT间隔错误共 %d 个", "  监测到传送流PMT间隔错误共 ≥1000 个", kLines5},  // PMT间隔错误
    {"PMT加扰错误", 1, "  监测到传送流PMT加扰错误共 %d 个", "  监测到传送流PMT加扰错误共 ≥1000 个", kLines6},  // PMT加扰错误
    {"PID错误", 1, "  监测到传送流PID错误共 %d 个", "  监测到传送流PID错误共 ≥1000 个", kLines7},  // PID错误
    {"传送错误", 2, "  监测到传送流传送错误共 %d 个", "  监测到传送流传送错误共 ≥1000 个", kLines8},  // 传送流传送错误
    {"CRC错误", 2, "  监测到传送流CRC错误共 %d 个", "  监测到传送流CRC错误共 ≥1000 个", kLines9},  // CRC错误
    {"PCR间隔错", 2, "  监测到传送流PCR间隔错误共 %d 个", "  监测到传送流PCR间隔错误共 ≥1000 个", kLines10},  // PCR间隔错误
    {"PCR非连续标志错", 2, "  监测到传送流PCR非连续标志位错误共 %d 个", "  监测到传送流PCR非连续标志位错误共 ≥1000 个", kLines11},  // PCR非连续标志错误
    {"PCR抖动错", 2, "  监测到传送流PCR抖动错误共 %d 个", "  监测到传送流PCR抖动错误共 ≥1000 个", kLines12},  // PCR抖动错误
    {"PTS错误", 2, "  监测到传送流PTS错误共 %d 个", "  监测到传送流PTS错误共 ≥1000 个", kLines13},  // PTS错误
    {"TS包加扰错", 2, "  监测到传送流加扰错误共 %d 个", "  监测到传送流加扰错误共 ≥1000 个", kLines14},  // TS包加扰错误
    {"CAT错误", 2, "  监测到传送流CAT错误共 %d 个", "  监测到传送流CAT错误共 ≥1000 个", kLines15},  // CAT错误
    {"NIT ID错误", 3, "  监测到传送流NIT ID错误共 %d 个", "  监测到传送流NIT ID错误共 ≥1000 个", kLines16},  // NIT ID错误
    {"NIT当前间隔错", 3, "  监测到传送流NIT当前错误共 %d 个", "  监测到传送流NIT当前错误共 ≥1000 个", kLines17},  // NIT当前间隔错误
    {"NIT其他间隔错", 3, "  监测到传送流NIT其他错误共 %d 个", "  监测到传送流NIT其他错误共 ≥1000 个", kLines18},  // NIT其他间隔错误
    {"SI重复率错", 3, "  监测到传送流SI重复错误共 %d 个", "  监测到传送流SI重复错误共≥1000 个", kLines19},  // SI重复间隔错误
    {"缓冲器错", 3, "  监测到传送流缓冲器错误共 %d 个", "  监测到传送流缓冲器错误共 ≥1000 个", kLines20},  // 缓冲器错误
    {"非指定PID错", 3, "  监测到传送流非指定PID错误共 %d 个", "  监测到传送流非指定PID错误共 ≥1000 个", kLines21},  // 传送流非指定PID错误
    {"SDT ID错误", 3, "  监测到传送流SDT ID错误共 %d 个", "  监测到传送流SDT ID错误共 ≥1000 个", kLines22},  // SDT ID错误
    {"SDT当前间隔错", 3, "  监测到传送流SDT当前错误共 %d 个", "  监测到传送流SDT当前错误共 ≥1000 个", kLines23},  // SDT当前间隔错误
    {"SDT其他间隔错", 3, "  监测到传送流SDT其他错误共 %d 个", "  监测到传送流SDT其他错误共 ≥1000 个", kLines24},  // SDT其他间隔错误
    {"EIT ID错误", 3, "  监测到传送流EIT ID错误共 %d 个", "  监测到传送流EIT ID错误共 ≥1000 个", kLines25},  // EIT ID错误
    {"EIT当前间隔错", 3, "  监测到传送流EIT当前错误共 %d个", "  监测到传送流EIT当前错误共 ≥1000 个", kLines26},  // EIT当前间隔错误
    {"EIT其他间隔错", 3, "  监测到传送流EIT其他错误共 %d个", "  监测到传送流EIT其他错误共 ≥1000 个", kLines27},  // EIT其他间隔错误
    {"EIT PF错", 3, "  监测到传送流EIT PF错误共 %d 个", "  监测到传送流EIT PF错误共 ≥1000 个", kLines28, 1001},  // EITP/F错误
    {"RST错误", 3, "  监测到传送流RST错误共 %d 个", "  监测到传送流RST错误共 ≥1000 个", kLines29, 1001},  // RST错误
    {"TDT错误", 3, "  监测到传送流TDT错误共 %d 个", "  监测到传送流TDT错误共 ≥1000 个", kLines30},  // TDT错误
    {"空缓冲器错", 3, "  监测到传送流空缓冲器错误共 %d 个", "  监测到传送流空缓冲器错误共 ≥1000 个", kLines31},  // 空缓冲器错误
    {"数据延迟错", 3, "  监测到传送流数据延迟错误共 %d 个", "  监测到传送流数据延迟错误共 ≥1000 个", kLines32},  // 数据延迟错误
}};
// clang-format on

constexpr bool linesAreConsistent() {
    for (int k = 0; k < kKindCount; ++k) {
        for (const DetailLine& l : kKinds[k].lines) {
            const bool hasNumber = l.text.find("%d") != std::string_view::npos;
            if (hasNumber != (l.source != DetailSource::None)) return false;
            if (l.source == DetailSource::Slot && (l.index < 0 || l.index >= kMaxSubCounters))
                return false;
            if (l.source == DetailSource::CrcTable && (l.index < 0 || l.index >= kCrcTableCount))
                return false;
        }
        if (kKinds[k].headline.find("%d") == std::string_view::npos) return false;
    }
    return true;
}
static_assert(linesAreConsistent(), "a detail line and its counter do not match");

}  // namespace

const ResultsKindInfo& resultsKind(Tr290ErrorKind k) {
    return kKinds[kindIndex(k)];
}

std::string_view filterName(Tr290ErrorKind k) {
    return kindInfo(k).name;
}

int counterShown(const KindCounters& counters, Tr290ErrorKind k) {
    return counters.total(k);
}

std::string withNumber(std::string_view pattern, long long number) {
    const std::size_t at = pattern.find("%d");
    if (at == std::string_view::npos) return std::string(pattern);
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, number);
    std::string out;
    out.reserve(pattern.size() + 20);
    out.append(pattern.substr(0, at));
    out.append(digits, r.ptr);
    out.append(pattern.substr(at + 2));
    return out;
}

std::string counterBoxText(int shown) {
    return shown < kCounterBoxCap ? withNumber("%d", shown) : std::string("≥1000");
}

std::vector<std::string> detailText(Tr290ErrorKind k, const KindCounters& counters, bool initDone) {
    const ResultsKindInfo& info = resultsKind(k);
    const int shown = counterShown(counters, k);
    std::vector<std::string> lines;
    lines.reserve(info.lines.size() + 2);
    lines.push_back(shown < info.headlineCap ? withNumber(info.headline, shown)
                                             : std::string(info.headlineAtCap));
    lines.emplace_back("  详细项目描述:");
    for (const DetailLine& l : info.lines) {
        if (l.afterInitOnly && !initDone) continue;
        switch (l.source) {
            case DetailSource::None:
                lines.emplace_back(l.text);
                break;
            case DetailSource::Slot:
                lines.push_back(withNumber(l.text, counters.at(k, l.index)));
                break;
            case DetailSource::CrcTable:
                lines.push_back(withNumber(l.text, counters.crc(static_cast<CrcTable>(l.index))));
                break;
        }
    }
    return lines;
}

}  // namespace orv
