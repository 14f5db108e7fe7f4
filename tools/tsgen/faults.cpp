#include "tools/tsgen/faults.h"

#include <stdexcept>

namespace tsgen {

const std::array<FaultKindInfo, 17> kFaultKinds = {{
    {FaultKind::CcSkip, "cc-skip", false, false, 1, 1, 15, "counter jumps by value extra"},
    {FaultKind::CcRepeat, "cc-repeat", false, false, 0, 0, 0, "packet followed by count copies"},
    {FaultKind::CcReorder, "cc-reorder", false, false, 0, 0, 0, "swapped with next of its PID"},
    {FaultKind::SyncByte, "sync", false, false, 0x46, 0, 255, "sync byte replaced by value"},
    {FaultKind::TransportError, "tei", false, false, 0, 0, 0, "transport_error_indicator set"},
    {FaultKind::Scrambling, "scramble", false, false, 2, 1, 3, "scrambling control = value"},
    {FaultKind::CrcDamage, "crc", false, false, 8, 3, 4095, "section byte at value flipped"},
    {FaultKind::WrongTableId, "table-id", false, false, std::nullopt, 0, 255, "table_id = value"},
    {FaultKind::TableGap, "table-gap", true, true, 0, 0, 0, "PID left out over the range"},
    {FaultKind::PcrGap, "pcr-gap", true, false, 0, 0, 0, "no PCR over the range"},
    {FaultKind::PcrJitter, "pcr-jitter", false, false, 1000, -100'000'000, 100'000'000,
     "PCR moved by value ns"},
    {FaultKind::PtsGap, "pts-gap", false, false, 1000, -100'000'000, 100'000'000,
     "PTS/DTS moved by value ms from here on"},
    {FaultKind::StrayPid, "stray", false, true, 0, 0, 0, "null packets become packets of PID"},
    {FaultKind::PcrDiscontinuity, "pcr-discontinuity", false, false, 1000, -3'600'000, 3'600'000,
     "new time base: indicator set, PCRs moved by value ms from here on"},
    {FaultKind::PatChange, "pat-change", false, false, 0, 0, 0xFFFF,
     "PAT's next version; value: a program it leaves out"},
    {FaultKind::PmtChange, "pmt-change", false, true, 0, 0, 0x1FFE,
     "next version of the PMT listing PID; PID moved to value (0: left out)"},
    {FaultKind::SectionCut, "section-cut", false, true, 0, 0, 0,
     "a section's continuation packet left out, counters kept going"},
}};

const FaultKindInfo& faultKindInfo(FaultKind kind) {
    for (const FaultKindInfo& k : kFaultKinds)
        if (k.kind == kind) return k;
    throw std::logic_error("unknown fault kind");
}

std::optional<FaultKind> faultKindByName(std::string_view name) {
    for (const FaultKindInfo& k : kFaultKinds)
        if (k.name == name) return k.kind;
    return std::nullopt;
}

}  // namespace tsgen
