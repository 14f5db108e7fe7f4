#include "engine/repetition_check.h"

#include "engine/packet_checks.h"
#include "engine/section_fields.h"

namespace orv {
namespace {

constexpr double kLowerLimitSeconds = 0.025;
constexpr int kNone = 0;
constexpr int kAbsent = -1;

// Where the fields that name a sub_table lie in a section, from its table_id (kAbsent: the table
// has no such field). Without any, the table_id alone names it.
struct SubTableFields {
    int extension;  // table_id_extension
    int transportStreamId;
    int originalNetworkId;
};

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
    SubTableFields subTable;  // of the kinds with a lower limit
};

using K = Tr290ErrorKind;
constexpr SubTableFields kNoFields{kAbsent, kAbsent, kAbsent};
constexpr IntervalRule kRules[] = {
    // NIT: network_id.
    {0x40,
     K::NitActualInterval,
     false,
     false,
     10.0,
     1121,
     sub::kTooLong,
     1121,
     sub::kTooLong,
     1122,
     sub::kTooShort,
     {3, kAbsent, kAbsent}},
    {0x41, K::NitOtherInterval, false, false, 10.0, 1123, 0, 1123, 0, kNone, 0, kNoFields},
    // SDT: transport_stream_id, original_network_id.
    {0x42,
     K::SdtActualInterval,
     false,
     true,
     2.0,
     1171,
     sub::kTooLong,
     1171,
     sub::kTooLong,
     1172,
     sub::kTooShort,
     {3, kAbsent, 8}},
    {0x46, K::SdtOtherInterval, false, false, 10.0, 1173, 0, 1173, 0, kNone, 0, kNoFields},
    // EIT: service_id, transport_stream_id, original_network_id.
    {0x4E,
     K::EitActualInterval,
     false,
     false,
     2.0,
     1181,
     sub::kEitP,
     1182,
     sub::kEitF,
     1183,
     sub::kEitTooShort,
     {3, 8, 10}},
    {0x4F, K::EitOtherInterval, false, false, 10.0, 1184, sub::kEitP, 1185, sub::kEitF, kNone, 0,
     kNoFields},
    {0x71, K::Rst, false, true, 0.0, kNone, 0, kNone, 0, 1191, sub::kRstTooShort, kNoFields},
    // Not 30 s: a TDT sent every 30 s is allowed its packet jitter.
    {0x70, K::Tdt, true, false, 30.01, 1201, sub::kTdtTooLong, 1201, sub::kTdtTooLong, 1202,
     sub::kTdtTooShort, kNoFields},
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

bool tested(const AnalysisContext& ctx, const IntervalRule& r) {
    return r.alwaysTested || ctx.enabled(r.kind);
}

void checkUpperLimit(AnalysisContext& ctx, const IntervalRule& r, double seconds,
                     unsigned completedSectionNumber) {
    if (r.upperCode == kNone || !tested(ctx, r) || seconds <= r.upperSeconds) return;
    const bool first = completedSectionNumber == 0;
    const int code = first ? r.upperCode : r.upperCodeF;
    const int slot = first ? r.upperSlot : r.upperSlotF;
    if (underCap(ctx, r, slot)) logEvent(ctx, code, 0, -1, r.tableId, seconds);
}

int fieldEnd(int at) {
    return at == kAbsent ? 1 : at + 2;
}

int keyBytes(const SubTableFields& f) {
    const int a = fieldEnd(f.extension), b = fieldEnd(f.transportStreamId),
              c = fieldEnd(f.originalNetworkId);
    return a > b ? (a > c ? a : c) : (b > c ? b : c);
}

uint64_t field(const uint8_t* s, int at) {
    return at == kAbsent ? 0u : read16(s + at);
}

uint64_t subTableKey(const IntervalRule& r, const uint8_t* s) {
    const SubTableFields& f = r.subTable;
    return uint64_t{r.tableId} << 48 | field(s, f.extension) << 32 |
           field(s, f.transportStreamId) << 16 | field(s, f.originalNetworkId);
}

}  // namespace

void measureRepetition(AnalysisContext& ctx, RepetitionStats& stats, unsigned tableId,
                       unsigned completedSectionNumber) {
    if (ctx.streamBitrate.current > 0.0) {
        const double seconds = packetSpanSeconds(ctx, stats.lastSeen, ctx.packetCounter);
        stats.current = seconds;
        if (const IntervalRule* rule = findRule(tableId))
            checkUpperLimit(ctx, *rule, seconds, completedSectionNumber);
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

int subTableKeyBytes(unsigned tableId) {
    const IntervalRule* r = findRule(tableId);
    return r != nullptr && r->lowerCode != kNone ? keyBytes(r->subTable) : 0;
}

void measureSubTableStart(AnalysisContext& ctx, std::span<const uint8_t> header,
                          uint64_t startPacket) {
    if (ctx.capture.captureMode || header.empty()) return;
    const IntervalRule* r = findRule(header[0]);
    if (r == nullptr || r->lowerCode == kNone ||
        header.size() < static_cast<std::size_t>(keyBytes(r->subTable)))
        return;
    uint64_t previous = 0;
    if (!recordSubTableStart(ctx.subTableStarts, subTableKey(*r, header.data()), startPacket,
                             previous))
        return;
    bool held = false;
    statsOf(ctx.siStore, r->tableId, held);
    if (!held || !tested(ctx, *r) || !(ctx.streamBitrate.current > 0.0) || previous > startPacket)
        return;
    const double seconds = packetSpanSeconds(ctx, previous, startPacket);
    if (seconds < kLowerLimitSeconds && underCap(ctx, *r, r->lowerSlot))
        logEvent(ctx, r->lowerCode, 0, -1, r->tableId, seconds * 1000.0);
}

}  // namespace orv
