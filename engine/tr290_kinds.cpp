#include "engine/tr290_kinds.h"

namespace orv {

// name, counter slots, slot 0 is a total
constexpr std::array<Tr290KindInfo, kKindCount> kTr290Kinds = {{
    {"同步丢失错误", 1, false},
    {"同步字节错误", 1, false},
    {"PAT错误", 3, false},
    {"连续计数错误", 3, false},
    {"PMT间隔错误", 1, false},
    {"PMT加扰错误", 1, false},
    {"PID错误", 1, false},
    {"传送流传送错误", 1, false},
    {"CRC错误", 1, false},
    {"PCR间隔错误", 1, false},
    {"PCR非连续标志错误", 1, false},
    {"PCR抖动错误", 1, false},
    {"PTS错误", 1, false},
    {"TS包加扰错误", 1, false},
    {"CAT错误", 1, false},
    {"NIT ID错误", 1, false},
    {"NIT当前间隔错误", 2, false},
    {"NIT其他间隔错误", 1, false},
    {"SI重复间隔错误", 1, false},
    {"缓冲器错误", 7, true},
    {"传送流非指定PID错误", 1, false},
    {"SDT ID错误", 1, false},
    {"SDT当前间隔错误", 2, false},
    {"SDT其他间隔错误", 1, false},
    {"EIT ID错误", 1, false},
    {"EIT当前间隔错误", 3, false},
    {"EIT其他间隔错误", 2, false},
    {"EITP/F错误", 1, false},  // no event code; the counter is shown but never bumped by the log
    {"RST错误", 2, false},
    {"TDT错误", 3, false},
    {"空缓冲器错误", 4, true},
    {"数据延迟错误", 3, true},
}};

}  // namespace orv
