#include "engine/repetition_check.h"

#include "engine/packet_checks.h"

namespace orv {
namespace {

constexpr double kLowerLimitSeconds = 0.025;
constexpr int kNone = 0;

// The limits of one table kind. Upper events quote seconds, lower events milliseconds.
struct IntervalRule {
    uint8_t tableId;
    Tr290ErrorKind kind;
    bool alwaysTested;  // no switch: the TDT limits
    bool capInclusive;  // the event goes out while its counter is at most (not below) the cap
    double upperSeconds;
    int upperCode, upperSlot;
    int upperCodeF, upperSlotF;  // EIT p/f: when the completed section is not section 0
    int lowerCode, lowerSlot;
};

using K = Tr290ErrorKind;
constexpr IntervalRule kRules[] = {
    {0x40, K::NitActualInterval, false, false, 10.0, 1121, sub::kTooLong, 1121, sub::kTooLong, 1122,
     sub::kTooShort},
    {0x41, K::NitOtherInterval, false, false, 10.0, 1123, 0, 1123, 0, kNone, 0},
    {0x42, K::SdtActualInterval, false, true, 2.0, 1171, sub::kTooLong, 1171, sub::kTooLong, 1172,
     sub::kTooShort},
    {0x46, K::SdtOtherInterval, false, false, 10.0, 1173, 0, 1173, 0, kNone, 0},
    {0x4E, K::EitActualInterval, false, false, 2.0, 1181, sub::kEitP, 1182, sub::kEitF, 1183,
     sub::kEitTooShort},
    {0x4F, K::EitOtherInterval, false, false, 10.0, 1184, sub::kEitP, 1185, sub::kEitF, kNone, 0},
    {0x71, K::Rst, false, true, 0.0, kNone, 0, kNone, 0, 1191, sub::kRstTooShort},
    // Not 30 s: a TDT sent every 30 s is allowed its packet jitter.
    {0x70, K::Tdt, true, false, 30.01, 1201, sub::kTdtTooLong, 1201, sub::kTdtTooLong, 1202,
     sub::kTdtTooShort},
};

const IntervalRule* findRule(unsigned tableId) {
    for (const IntervalRule& r : kRules)
        if (r.tableId == tableId) return &r;
    return nullptr;
}

bool underCap(const AnalysisContext& ctx, const IntervalRule& r, int slot) {
    const int n = ctx.log.kindCount.at(r.kind, slot);
    return r.capInclusive ? n <= kEventCap : n < kEventCap;
}

void checkLimits(AnalysisContext& ctx, const IntervalRule& r, double seconds,
                 unsigned completedSectionNumber) {
    if (!r.alwaysTested && !ctx.enabled(r.kind)) return;
    if (r.upperCode != kNone && seconds > r.upperSeconds) {
        const bool first = completedSectionNumber == 0;
        const int code = first ? r.upperCode : r.upperCodeF;
        const int slot = first ? r.upperSlot : r.upperSlotF;
        if (underCap(ctx, r, slot)) logEvent(ctx, code, 0, -1, r.tableId, seconds);
    }
    if (r.lowerCode != kNone && seconds < kLowerLimitSeconds && underCap(ctx, r, r.lowerSlot))
        logEvent(ctx, r.lowerCode, 0, -1, r.tableId, seconds * 1000.0);
}

}  // namespace

void measureRepetition(AnalysisContext& ctx, RepetitionStats& stats, unsigned tableId,
                       unsigned completedSectionNumber) {
    if (ctx.streamBitrate.current > 0.0) {
        const double seconds = packetSpanSeconds(ctx, stats.lastSeen, ctx.packetCounter);
        stats.current = seconds;
        if (const IntervalRule* rule = findRule(tableId))
            checkLimits(ctx, *rule, seconds, completedSectionNumber);
        if (stats.longest <= 0.0 || seconds > stats.longest) stats.longest = seconds;
        if (stats.shortest <= 0.0 || seconds < stats.shortest) stats.shortest = seconds;
    }
    stats.lastSeen = ctx.packetCounter;
}

namespace {

// The statistics of the table kind of `tableId` and whether that kind holds a section yet;
// nullptr for stuffing and tables the SI PIDs do not measure.
RepetitionStats* statsOf(SiSectionStore& store, unsigned tableId, bool& held) {
    switch (tableId) {
        case kTableNitActual:
        case kTableNitOther:
        case kTableBat:
        case kTableSdtActual:
        case kTableSdtOther: {
            const SiKind kind = tableId == kTableNitActual   ? SiKind::NitActual
                                : tableId == kTableNitOther  ? SiKind::NitOther
                                : tableId == kTableBat       ? SiKind::Bat
                                : tableId == kTableSdtActual ? SiKind::SdtActual
                                                             : SiKind::SdtOther;
            SiSectionList& list = store.list(kind);
            held = list.count() > 0;
            return &list.repetition;
        }
        case kTableRst:
            held = store.rst.present;
            return &store.rst.repetition;
        case kTableTdt:
            held = store.tdt.present;
            return &store.tdt.repetition;
        case kTableTot:
            held = store.tot.present;
            return &store.tot.repetition;
        default:
            break;
    }
    if (EitSectionList* list = store.eitList(tableId)) {
        held = list->count() > 0;
        return &list->repetition;
    }
    return nullptr;
}

}  // namespace

void measureSectionStart(AnalysisContext& ctx, unsigned tableId, unsigned completedSectionNumber) {
    if (ctx.capture.captureMode) return;  // capture only: nothing is analysed
    bool held = false;
    RepetitionStats* stats = statsOf(ctx.siStore, tableId, held);
    if (stats == nullptr) return;
    if (held) {
        measureRepetition(ctx, *stats, tableId, completedSectionNumber);
    } else {
        stats->lastSeen = ctx.packetCounter;  // the start a first stored section will measure from
    }
}

}  // namespace orv
