// The 32 monitored kinds of ETSI TR 101 290 in their fixed order (also the order of the switches
// and of the result buttons), and the counters each keeps.
#pragma once

#include <array>
#include <string_view>

#include "engine/limits.h"

namespace orv {

enum class Tr290ErrorKind : int {
    SyncLoss = 0,
    SyncByte,
    Pat,
    Continuity,
    PmtInterval,
    PmtScrambled,
    Pid,
    TransportError,
    Crc,
    PcrInterval,
    PcrDiscontinuity,
    PcrJitter,
    Pts,
    TsScrambled,
    Cat,
    NitId,
    NitActualInterval,
    NitOtherInterval,
    SiRepetition,
    Buffer,
    UnreferencedPid,
    SdtId,
    SdtActualInterval,
    SdtOtherInterval,
    EitId,
    EitActualInterval,
    EitOtherInterval,
    EitPf,
    Rst,
    Tdt,
    EmptyBuffer,
    DataDelay,
};

inline constexpr int kindIndex(Tr290ErrorKind k) {
    return static_cast<int>(k);
}

// Sub-counter slots. A kind with one counter uses slot 0. A kind with a total keeps it in slot 0
// and its causes after it; a kind with causes but no total keeps the causes from slot 0.
inline constexpr int kMaxSubCounters = 7;
namespace sub {
// "PAT错误"
inline constexpr int kPatInterval = 0, kPatTableId = 1, kPatScrambled = 2;
// "连续计数错误"
inline constexpr int kCcOrder = 0, kCcDuplicate = 1, kCcLoss = 2;
// interval kinds with too long / too short causes (NIT actual, SDT actual)
inline constexpr int kTooLong = 0, kTooShort = 1;
// "EIT当前间隔错误" / "EIT其他间隔错误"
inline constexpr int kEitP = 0, kEitF = 1, kEitTooShort = 2;
// "RST错误"
inline constexpr int kRstTableId = 0, kRstTooShort = 1;
// "TDT错误"
inline constexpr int kTdtTableId = 0, kTdtTooLong = 1, kTdtTooShort = 2;
// "缓冲器错误" and "空缓冲器错误"
inline constexpr int kBufTotal = 0, kBufTBn = 1, kBufTBsys = 2, kBufMBn = 3, kBufEBn = 4,
                     kBufBn = 5, kBufBsys = 6;
// "数据延迟错误": the total, data over 1 s (the one the log counts beside the total), and still
// picture data over 60 s (shown by the results page; no event counts it)
inline constexpr int kDelayTotal = 0, kDelayOverOneSecond = 1, kDelayStillPicture = 2;
}  // namespace sub

// The per-table CRC counters, in their fixed order.
enum class CrcTable : int { Pat = 0, Cat, Pmt, Nit, Eit, Bat, Sdt, Tot };
inline constexpr int kCrcTableCount = 8;

struct Tr290KindInfo {
    std::string_view name;  // the type text of the kind's events
    int subCounters;        // slots used in KindCounters::counters
    bool slotZeroIsTotal;   // slot 0 counts every event of the kind
};

// Indexed by Tr290ErrorKind.
extern const std::array<Tr290KindInfo, kKindCount> kTr290Kinds;

inline const Tr290KindInfo& kindInfo(Tr290ErrorKind k) {
    return kTr290Kinds[kindIndex(k)];
}

}  // namespace orv
