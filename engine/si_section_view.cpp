#include "engine/si_section_view.h"

#include "engine/section_crc.h"

namespace orv {

SiSectionView viewSiSection(std::span<const uint8_t> assembled) {
    SiSectionView v;
    v.assembled = assembled;
    if (assembled.empty()) return v;
    v.tableId = assembled[0];
    if (assembled.size() < 3) return v;
    v.sectionSyntaxIndicator = assembled[1] >> 7;
    v.sectionLength = static_cast<uint16_t>(read12(assembled.data() + 1));
    const std::size_t total = 3u + v.sectionLength;
    if (total > assembled.size()) return v;
    v.whole = true;
    v.section = assembled.first(total);
    if (total >= 7) {
        const uint8_t* c = v.section.data() + total - 4;
        v.crc = read32(c);
        v.intact = sectionCrc32(v.section.data(), v.section.data() + total) == 0;
    }
    return v;
}

int siCaptureTrigger(unsigned tableId) {
    struct Range {
        unsigned first, last;
        int trigger;
    };
    static constexpr Range kTriggers[] = {
        {kTableNitActual, kTableNitOther, 0x400},
        {kTableBat, kTableBat, 0x500},
        {kTableSdtActual, kTableSdtActual, 0x600},
        {kTableSdtOther, kTableSdtOther, 0x600},
        {kTableEitPfActual, kTableEitScheduleLast, 0x700},
        {kTableTdt, kTableTdt, 0x800},
        {kTableTot, kTableTot, 0x900},
        {kTableRst, kTableRst, 0xA00},
    };
    for (const Range& r : kTriggers)
        if (tableId >= r.first && tableId <= r.last) return r.trigger;
    return 0;
}

bool captureSiSection(AnalysisContext& ctx, const SiSectionView& v) {
    const int trigger = siCaptureTrigger(v.tableId);
    if (trigger != 0 && ctx.captureSink != nullptr && ctx.capture.tableTrigger == trigger &&
        (ctx.capture.tableId < 0 || ctx.capture.tableId == v.tableId) &&
        ctx.capture.wants(trigger)) {
        const auto bytes = v.captureBytes();
        ctx.captureSink->copyBytes(trigger, bytes.data(), bytes.size());
        ++ctx.capture.made;
    }
    return ctx.capture.captureMode;
}

void captureSiCrcError(AnalysisContext& ctx, const SiSectionView& v) {
    if (ctx.captureSink == nullptr || !ctx.capture.wants(kCaptureCrcError)) return;
    const auto bytes = v.captureBytes();
    ctx.captureSink->copyBytes(kCaptureCrcError, bytes.data(), bytes.size());
    ++ctx.capture.made;
}

}  // namespace orv
