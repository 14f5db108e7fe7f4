// The RST and TDT/TOT handlers: short sections, one record per table, overwritten by each new one.
#include <algorithm>

#include "engine/si_handlers.h"
#include "engine/si_section_view.h"

namespace orv {
namespace {

constexpr std::size_t kTdtBytes = 8;
constexpr std::size_t kMinTotBytes = 14;  // header, UTC_time, loop length, CRC_32

// The record's statistics start empty; last seen stays the start of this first section.
void firstArrival(AnalysisContext& ctx, RepetitionStats& stats, unsigned pid) {
    stats = RepetitionStats{stats.lastSeen, 0.0, 0.0, 0.0};
    ctx.siStore.newSection = true;
    ctx.si[pid - kPidNit].firstTableAccepted = true;
}

}  // namespace

// The RST is a short section without CRC_32: a whole section is all that is required of it.
void OnRstSection(AnalysisContext& ctx, std::span<const uint8_t> assembled) {
    const SiSectionView v = viewSiSection(assembled);
    if (v.tableId != kTableRst) return;  // stuffing
    if (captureSiSection(ctx, v)) return;
    if (!v.whole) return;
    RstRecord& rst = ctx.siStore.rst;
    if (!rst.present) {
        rst.present = true;
        firstArrival(ctx, rst.repetition, kPidRst);
    }
    rst.tableId = v.tableId;
    rst.sectionLength = v.sectionLength;
}

void OnTdtTotSection(AnalysisContext& ctx, std::span<const uint8_t> assembled) {
    const SiSectionView v = viewSiSection(assembled);
    if (v.tableId != kTableTdt && v.tableId != kTableTot) return;  // stuffing
    if (captureSiSection(ctx, v)) return;
    SiSectionStore& store = ctx.siStore;
    if (v.tableId == kTableTot) {
        if (!v.intact) {
            captureSiCrcError(ctx, v);
            // Only once a good TOT has been seen, and without switch.
            if (store.tot.present && ctx.log.kindCount.crc(CrcTable::Tot) < kEventCap)
                logEvent(ctx, 1087);
            return;
        }
        if (v.section.size() < kMinTotBytes) return;
    } else if (!v.whole || v.section.size() < kTdtBytes) {
        return;
    }

    if (v.tableId == kTableTdt) {
        TdtRecord& tdt = store.tdt;
        if (!tdt.present) {
            tdt.present = true;
            firstArrival(ctx, tdt.repetition, kPidTdtTot);
        }
        tdt.tableId = v.tableId;
        tdt.sectionSyntaxIndicator = v.sectionSyntaxIndicator;
        tdt.sectionLength = v.sectionLength;
        tdt.bytes.fill(0);
        const std::size_t n = std::min(tdt.bytes.size(), v.assembled.size());
        std::copy_n(v.assembled.begin(), n, tdt.bytes.begin());
    } else {
        TotRecord& tot = store.tot;
        if (!tot.present) {
            tot.present = true;
            firstArrival(ctx, tot.repetition, kPidTdtTot);
        }
        tot.tableId = v.tableId;
        tot.sectionSyntaxIndicator = v.sectionSyntaxIndicator;
        tot.sectionLength = v.sectionLength;
        const std::size_t n = std::min<std::size_t>(v.section.size(), kSiBufferSize);
        tot.bytes.assign(v.section.begin(), v.section.begin() + static_cast<std::ptrdiff_t>(n));
    }
}

}  // namespace orv
