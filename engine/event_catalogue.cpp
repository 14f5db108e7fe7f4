#include "engine/event_catalogue.h"

#include <array>

namespace orv {
namespace {

using K = Tr290ErrorKind;
constexpr EventArg P = EventArg::Pid;
constexpr EventArg G = EventArg::Program;
constexpr EventArg T = EventArg::TableId;
constexpr EventArg V = EventArg::Value;

// Counter slots an error event bumps.
struct Bumps {
    int slot = 0;
    int second = kNoSlot;
    int crc = kNoSlot;
};

// The PID of the table an event is about, for events whose text prints no PID argument.
constexpr EventDef on(unsigned pid, EventDef d) {
    d.tablePid = static_cast<std::int16_t>(pid);
    return d;
}

constexpr Bumps crc(CrcTable t) {
    return {0, kNoSlot, static_cast<int>(t)};
}

constexpr EventDef run(int code, std::string_view message) {
    EventDef d;
    d.code = code;
    d.eventClass = code == 1005 ? EventClass::Save : EventClass::Run;
    d.message = message;
    return d;
}

template <typename... A>
constexpr EventDef err(int code, K kind, Bumps bumps, std::string_view message, A... args) {
    static_assert(sizeof...(A) <= 3);
    EventDef d;
    d.code = code;
    d.eventClass = EventClass::Error;
    d.kind = kind;
    d.slot = static_cast<std::int8_t>(bumps.slot);
    d.secondSlot = static_cast<std::int8_t>(bumps.second);
    d.crcTable = static_cast<std::int8_t>(bumps.crc);
    d.message = message;
    d.argCount = sizeof...(A);
    int i = 0;
    ((d.args[i++] = args), ...);
    d.quotesPid = ((args == EventArg::Pid) || ...);
    return d;
}

using namespace sub;

// clang-format off
constexpr std::array kCatalogue = {
    run(1000, "开始读入数据!"),
    run(1001, "离线数据分析!"),
    run(1002, "传送流中断事件发生!"),
    run(1003, "传送流节目改变事件发生!"),
    run(1004, "重新开始测试!"),
    run(1005, "保存事件!"),

    err(1010, K::SyncLoss, {}, "传送流同步丢失 第%I64d包"),
    err(1020, K::SyncByte, {}, "传送流同步字节不等于0x47 第%I64d包"),
    on(kPidPat, err(1030, K::Pat, {kPatInterval}, "PAT(table_id=0x00)出现间隔等于%2.4fs(>0.5s) 第%I64d包", V)),
    on(kPidPat, err(1031, K::Pat, {kPatTableId}, "PID=0x0000的TS包含有的table_id不等于'0x00' 第%I64d包")),
    on(kPidPat, err(1032, K::Pat, {kPatScrambled}, "PID=0x0000的TS包加扰标志位不等于'0' 第%I64d包")),
    err(1040, K::Continuity, {kCcOrder}, "PID=0x%04x的TS包顺序错误 第%I64d包", P),
    err(1041, K::Continuity, {kCcDuplicate}, "PID=0x%04x的TS包出现超过2次 第%I64d包", P),
    err(1042, K::Continuity, {kCcLoss}, "PID=0x%04x的TS包出现丢包 第%I64d包", P),
    err(1050, K::PmtInterval, {}, "PMT(节目%04x,PMT_PID:0x%04x)出现间隔等于%2.4fs(>0.5s) 第%I64d包", G, P, V),
    err(1051, K::PmtScrambled, {}, "PMT_PID=0x%04x(节目%04x)的TS包加扰标志不等于00 第%I64d包", P, G),
    err(1060, K::Pid, {}, "指定PID0x%04x的TS包出现间隔超过1个用户指定周期 第%I64d包", P),
    err(1070, K::TransportError, {}, "PID0x%04x的TS包传送错误标志位等于'1' 第%I64d包", P),

    on(kPidCat, err(1080, K::Crc, crc(CrcTable::Cat), "CAT发生CRC错误 第%I64d包")),
    on(kPidPat, err(1081, K::Crc, crc(CrcTable::Pat), "PAT发生CRC错误 第%I64d包")),
    err(1082, K::Crc, crc(CrcTable::Pmt), "PMT(节目%04x,PMT_PID:0x%04x)发生CRC错误 第%I64d包", G, P),
    on(kPidNit, err(1083, K::Crc, crc(CrcTable::Nit), "NIT发生CRC错误 第%I64d包")),
    on(kPidEit, err(1084, K::Crc, crc(CrcTable::Eit), "EIT发生CRC错误 第%I64d包")),
    on(kPidSdtBat, err(1085, K::Crc, crc(CrcTable::Bat), "BAT发生CRC错误 第%I64d包")),
    on(kPidSdtBat, err(1086, K::Crc, crc(CrcTable::Sdt), "SDT发生CRC错误 第%I64d包")),
    on(kPidTdtTot, err(1087, K::Crc, crc(CrcTable::Tot), "TOT发生CRC错误 第%I64d包")),

    err(1090, K::PcrInterval, {}, "PCR(PCR_PID=0x%04x)出现间隔等于%2.4fms(>40ms) 第%I64d包", P, V),
    err(1091, K::PcrDiscontinuity, {}, "PCR(PCR_PID=0x%04x)出现间隔等于%2.4fms(不在0...100ms范围内) 第%I64d包", P, V),
    err(1092, K::PcrJitter, {}, "PCR(PCR_PID=0x%04x)抖动等于%3.2fns(不在±500ns范围内) 第%I64d包", P, V),
    err(1100, K::Pts, {}, "视频(PID=0x%04x,属于节目%04x)PTS间隔等于%3.2fms(>700ms) 第%I64d包", P, G, V),
    err(1101, K::Pts, {}, "音频(PID=0x%04x,属于节目%04x)PTS间隔等于%3.2fms(>700ms) 第%I64d包", P, G, V),
    err(1110, K::TsScrambled, {}, "TS包(PID=0x%04x)加扰不等于'00'且CAT没有出现 第%I64d包", P),
    on(kPidCat, err(1111, K::Cat, {}, "PID=0x0001的TS包含有的table_id不等于'0x01' 第%I64d包")),

    on(kPidNit, err(1120, K::NitId, {}, "PID=0x0010的TS包含有的table_id不等于(0x40,0x41,0x72) 第%I64d包")),
    on(kPidNit, err(1121, K::NitActualInterval, {kTooLong}, "NIT(table_id=0x40)出现间隔等于%2.4fs(>10s) 第%I64d包", V)),
    on(kPidNit, err(1122, K::NitActualInterval, {kTooShort}, "NIT表(table_id=0x40)出现间隔等于%2.4fms(<25ms) 第%I64d包", V)),
    on(kPidNit, err(1123, K::NitOtherInterval, {}, "NIT(table_id=0x41)出现间隔等于%2.4fs(>10s) 第%I64d包", V)),
    err(1130, K::SiRepetition, {}, "SI表(table_id=0x%02x)出现间隔等于%2.4fs(超过限制) 第%I64d包", T, V),

    err(1140, K::Buffer, {kBufTotal, kBufTBn}, "视频(PID=0x%04x,属于节目%04x)传送缓冲器(TBn)发生上溢 第%I64d包", P, G),
    err(1141, K::Buffer, {kBufTotal, kBufTBn}, "音频(PID=0x%04x,属于节目%04x)传送缓冲器(TBn)发生上溢 第%I64d包", P, G),
    err(1142, K::Buffer, {kBufTotal, kBufTBsys}, "系统(PSI表table_id=0x%02x)传送缓冲器(TBsys)发生上溢 第%I64d包", T),
    err(1143, K::Buffer, {kBufTotal, kBufMBn}, "视频(PID=0x%04x,属于节目%04x)复用缓冲器(MBn)发生上溢 第%I64d包", P, G),
    err(1144, K::Buffer, {kBufTotal, kBufMBn}, "视频(PID=0x%04x,属于节目%04x)复用缓冲器(MBn)发生下溢 第%I64d包", P, G),
    err(1145, K::Buffer, {kBufTotal, kBufEBn}, "视频(PID=0x%04x,属于节目%04x)ES缓冲器(EBn)发生上溢 第%I64d包", P, G),
    err(1146, K::Buffer, {kBufTotal, kBufEBn}, "视频(PID=0x%04x,属于节目%04x)ES缓冲器(EBn)发生下溢 第%I64d包", P, G),
    err(1147, K::Buffer, {kBufTotal, kBufEBn}, "音频(PID=0x%04x,属于节目%04x)ES缓冲器(EBn)发生上溢 第%I64d包", P, G),
    err(1148, K::Buffer, {kBufTotal, kBufEBn}, "音频(PID=0x%04x,属于节目%04x)ES缓冲器(EBn)发生下溢 第%I64d包", P, G),
    err(1149, K::Buffer, {kBufTotal, kBufBn}, "视频(PID=0x%04x,属于节目%04x)主缓冲器(Bn)发生上溢 第%I64d包", P, G),
    err(1150, K::Buffer, {kBufTotal, kBufBsys}, "系统(table_id=0x%02x)输入缓冲器(Bsys)发生上溢 第%I64d包", T),

    err(1160, K::UnreferencedPid, {}, "PID=0x%04x的TS包在0.5s内不被任何PMT指出 第%I64d包", P),
    on(kPidSdtBat, err(1170, K::SdtId, {}, "PID=0x0011的TS包含有的table_id不等于(0x42,0x46,0x4A,0x72) 第%I64d包")),
    on(kPidSdtBat, err(1171, K::SdtActualInterval, {kTooLong}, "SDT(table_id=0x42)出现间隔等于%2.4fs(>2s) 第%I64d包", V)),
    on(kPidSdtBat, err(1172, K::SdtActualInterval, {kTooShort}, "SDT(table_id=0x42)出现间隔等于%2.4fms(<25ms) 第%I64d包", V)),
    on(kPidSdtBat, err(1173, K::SdtOtherInterval, {}, "SDT(table_id=0x46)出现间隔等于%2.4fs(>10s) 第%I64d包", V)),
    on(kPidEit, err(1180, K::EitId, {}, "PID=0x0012的TS包含有的table_id不等于(0x4E...0x6F,0x72) 第%I64d包")),
    on(kPidEit, err(1181, K::EitActualInterval, {kEitP}, "EIT(table_id=0x4E,EIT-P)出现间隔等于%2.4fs(>2s) 第%I64d包", V)),
    on(kPidEit, err(1182, K::EitActualInterval, {kEitF}, "EIT(table_id=0x4E,EIT-F)出现间隔等于%2.4fs(>2s) 第%I64d包", V)),
    on(kPidEit, err(1183, K::EitActualInterval, {kEitTooShort}, "EIT(table_id=0x4E,EIT-P/F)出现间隔等于%2.4fms(<25ms) 第%I64d包", V)),
    on(kPidEit, err(1184, K::EitOtherInterval, {kEitP}, "EIT(table_id=0x4F,EIT-P)出现间隔等于%2.4fs(>10s) 第%I64d包", V)),
    on(kPidEit, err(1185, K::EitOtherInterval, {kEitF}, "EIT(table_id=0x4F,EIT-F)出现间隔等于%2.4fs(>10s) 第%I64d包", V)),
    on(kPidRst, err(1190, K::Rst, {kRstTableId}, "PID=0x0013的TS包含有的table_id不等于(0x71,0x72) 第%I64d包")),
    on(kPidRst, err(1191, K::Rst, {kRstTooShort}, "RST表(table_id=0x71)出现间隔等于%2.4fms(<25ms) 第%I64d包", V)),
    on(kPidTdtTot, err(1200, K::Tdt, {kTdtTableId}, "PID=0x0014的TS包含有的table_id不等于(0x70,0x72,0x73) 第%I64d包")),
    on(kPidTdtTot, err(1201, K::Tdt, {kTdtTooLong}, "TDT(table_id=70)出现间隔等于%2.4fs(>30s) 第%I64d包", V)),
    on(kPidTdtTot, err(1202, K::Tdt, {kTdtTooShort}, "TDT(table_id=70)出现间隔等于%2.4fms(<25ms) 第%I64d包", V)),

    err(1210, K::EmptyBuffer, {kBufTotal, kBufTBn}, "视频(PID=0x%04x,属于节目%04x)传送缓冲器(TBn)1秒内没有清空 第%I64d包", P, G),
    err(1211, K::EmptyBuffer, {kBufTotal, kBufTBn}, "音频(PID=0x%04x,属于节目%04x)传送缓冲器(TBn)1秒内没有清空 第%I64d包", P, G),
    err(1212, K::EmptyBuffer, {kBufTotal, kBufTBsys}, "系统(PSI table_id=0x%02x)传送缓冲器(TBsys)1秒内没有清空 第%I64d包", T),
    err(1213, K::EmptyBuffer, {kBufTotal, kBufMBn}, "视频(PID=0x%04x,属于节目%04x)复用缓冲器(MBn)1秒内没有清空 第%I64d包", P, G),
    err(1220, K::DataDelay, {kDelayTotal, kDelayOverOneSecond}, "视频(PID=0x%04x,属于节目%04x)数据延迟错误 第%I64d包", P, G),
    err(1221, K::DataDelay, {kDelayTotal, kDelayOverOneSecond}, "音频(PID=0x%04x,属于节目%04x)数据延迟错误 第%I64d包", P, G),
};
// clang-format on

constexpr int kFirstCode = 1000;
constexpr int kLastCode = 1221;

// Every message must use its arguments exactly: each placeholder in turn takes the next argument
// of a matching type, an error text ends with the packet number, and a run text prints nothing.
constexpr bool placeholdersMatchArguments(const EventDef& d) {
    std::string_view s = d.message;
    int arg = 0;
    bool packetSeen = false;
    while (!s.empty()) {
        const FormatPiece p = nextFormatPiece(s);
        switch (p.type) {
            case PieceType::Literal:
            case PieceType::Percent:
                break;
            case PieceType::Invalid:
                return false;
            case PieceType::Hex:
                if (arg >= d.argCount || d.args[arg] == EventArg::Value || packetSeen) return false;
                ++arg;
                break;
            case PieceType::Fixed:
                if (arg >= d.argCount || d.args[arg] != EventArg::Value || packetSeen) return false;
                ++arg;
                break;
            case PieceType::PacketNumber:
                if (packetSeen) return false;
                packetSeen = true;
                break;
        }
        s.remove_prefix(p.length);
    }
    const bool isError = d.eventClass == EventClass::Error;
    return arg == d.argCount && packetSeen == isError &&
           (!isError || d.message.ends_with(" 第%I64d包"));
}

constexpr bool catalogueIsConsistent() {
    int previous = kFirstCode - 1;
    for (const EventDef& d : kCatalogue) {
        if (d.code <= previous || d.code > kLastCode) return false;
        previous = d.code;
        if (!placeholdersMatchArguments(d)) return false;
        if ((d.eventClass == EventClass::Error) != (d.slot != kNoSlot)) return false;
        if ((d.crcTable != kNoSlot) != (d.kind == K::Crc && d.eventClass == EventClass::Error)) {
            return false;
        }
        // An event names its PID once: by its argument or by its table, not both.
        if (d.quotesPid && d.tablePid != kNoPid) return false;
    }
    return true;
}
static_assert(catalogueIsConsistent(), "an event message does not match its arguments");

// Position in kCatalogue of each code from kFirstCode, -1 where there is none.
constexpr auto kIndex = [] {
    std::array<std::int16_t, kLastCode - kFirstCode + 1> index{};
    index.fill(-1);
    for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
        index[kCatalogue[i].code - kFirstCode] = static_cast<std::int16_t>(i);
    }
    return index;
}();

}  // namespace

const EventDef* findEvent(int code) {
    if (code < kFirstCode || code > kLastCode) return nullptr;
    const int i = kIndex[code - kFirstCode];
    return i < 0 ? nullptr : &kCatalogue[i];
}

std::span<const EventDef> eventCatalogue() {
    return kCatalogue;
}

}  // namespace orv
