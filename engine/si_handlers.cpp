// The NIT, SDT/BAT and EIT handlers: capture, CRC and the section store (the repetition measure is
// taken at each section start, see repetition_check.h).
#include "engine/si_handlers.h"

#include <algorithm>

#include "engine/programme_guide.h"
#include "engine/si_section_store.h"
#include "engine/si_section_view.h"
#include "platform/dvb_text.h"

namespace orv {
namespace {

constexpr int kCrcBytes = 4;
constexpr int kLongHeaderBytes = 8;
constexpr int kSdtHeaderBytes = 11;  // the fixed part of an SDT (a BAT's is longer)
constexpr int kEitHeaderBytes = 14;
constexpr int kTsEntryHeaderBytes = 6;  // transport_stream_id .. transport_descriptors_length
constexpr uint8_t kNetworkNameTag = 0x40;

bool crcEventAllowed(const AnalysisContext& ctx) {
    return ctx.enabled(Tr290ErrorKind::Crc) &&
           ctx.log.kindCount.at(Tr290ErrorKind::Crc, 0) <= kEventCap;
}

int kindOf(unsigned tableId) {
    switch (tableId) {
        case kTableNitActual:
            return static_cast<int>(SiKind::NitActual);
        case kTableNitOther:
            return static_cast<int>(SiKind::NitOther);
        case kTableBat:
            return static_cast<int>(SiKind::Bat);
        case kTableSdtActual:
            return static_cast<int>(SiKind::SdtActual);
        case kTableSdtOther:
            return static_cast<int>(SiKind::SdtOther);
        default:
            return -1;
    }
}

SiHeaderRecord commonHeader(const SiSectionView& v) {
    const uint8_t* s = v.section.data();
    SiHeaderRecord h;
    h.tableId = v.tableId;
    h.sectionSyntaxIndicator = v.sectionSyntaxIndicator;
    h.sectionLength = v.sectionLength;
    h.versionNumber = (s[5] >> 1) & 0x1F;
    h.currentNextIndicator = s[5] & 0x01;
    h.sectionNumber = s[6];
    h.lastSectionNumber = s[7];
    return h;
}

// The network name and the first transport stream of a NIT, read no further than the CRC field.
void readNitDetails(const SiSectionView& v, SiHeaderRecord& h) {
    const uint8_t* s = v.section.data();
    const int crcStart = static_cast<int>(v.section.size()) - kCrcBytes;
    h.networkId = static_cast<uint16_t>(read16(s + 3));
    if (kLongHeaderBytes + 2 > crcStart) return;
    const int loopEnd = std::min(kLongHeaderBytes + 2 + static_cast<int>(read12(s + 8)), crcStart);
    int pos = kLongHeaderBytes + 2;
    while (pos + 2 <= loopEnd) {
        const int length = s[pos + 1];
        if (pos + 2 + length > loopEnd) break;
        if (s[pos] == kNetworkNameTag) {
            h.networkName += dvbTextToUtf8({s + pos + 2, static_cast<std::size_t>(length)});
            h.networkName.push_back('\0');
        }
        pos += 2 + length;
    }
    // transport_stream_loop_length, then the first entry's transport_stream_id and network:
    // only when the loop holds an entry and both lie before the CRC_32.
    const int tsLoop = kLongHeaderBytes + 2 + static_cast<int>(read12(s + 8));
    if (tsLoop + 2 + kTsEntryHeaderBytes <= crcStart &&
        static_cast<int>(read12(s + tsLoop)) >= kTsEntryHeaderBytes) {
        h.firstTransportStreamId = static_cast<uint16_t>(read16(s + tsLoop + 2));
        h.firstOriginalNetworkId = static_cast<uint16_t>(read16(s + tsLoop + 4));
    }
}

void storeSection(AnalysisContext& ctx, SiKind kind, unsigned pid, const SiSectionView& v,
                  SiHeaderRecord&& header) {
    SiSectionStore& store = ctx.siStore;
    SiSectionList& list = store.list(kind);
    if (list.count() > 0) {
        if (IsKnownCrc(v.crc, list.crcs.data(), list.count()) || list.count() >= kSiListCapacity)
            return;
    } else {
        store.newTable = true;
        ctx.si[pid - kPidNit].firstTableAccepted = true;
    }
    list.entries.push_back({std::move(header), {v.section.begin(), v.section.end()}});
    list.crcs.push_back(v.crc);
    store.newSection = true;
    list.shown = false;
}

EitHeaderRecord eitHeader(const SiSectionView& v) {
    const uint8_t* s = v.section.data();
    EitHeaderRecord h;
    h.tableId = v.tableId;
    h.sectionSyntaxIndicator = v.sectionSyntaxIndicator;
    h.sectionLength = v.sectionLength;
    h.serviceId = static_cast<uint16_t>(read16(s + 3));
    h.versionNumber = (s[5] >> 1) & 0x1F;
    h.currentNextIndicator = s[5] & 0x01;
    h.sectionNumber = s[6];
    h.lastSectionNumber = s[7];
    h.transportStreamId = static_cast<uint16_t>(read16(s + 8));
    h.originalNetworkId = static_cast<uint16_t>(read16(s + 10));
    h.segmentLastSectionNumber = s[12];
    h.lastTableId = s[13];
    h.crc32 = v.crc;
    return h;
}

void storeEitSection(AnalysisContext& ctx, const SiSectionView& v, const EitHeaderRecord& h,
                     EitClass cls) {
    SiSectionStore& store = ctx.siStore;
    EitSectionList* list = store.eitList(v.tableId);
    if (list == nullptr) return;
    const int capacity = v.tableId <= kTableEitPfOther ? kEitPfCapacity : kEitScheduleCapacity;
    StoredEitSection entry{h, {v.section.begin(), v.section.end()}};
    store.eitRebuilding = true;
    if (list->count() == 0) {
        if (h.sectionNumber == 0) {
            list->entries.push_back(std::move(entry));
            store.newSection = true;
            list->shown = false;
        }
    } else if (cls == EitClass::NewVersion) {
        // A new version of a section 0: the list starts again from it; its statistics stay.
        list->entries.clear();
        list->entries.push_back(std::move(entry));
        store.newSection = true;
        list->shown = false;
    } else if (cls == EitClass::New && list->count() < capacity) {
        list->entries.push_back(std::move(entry));
        store.newSection = true;
        list->shown = false;
    }
    store.eitRebuilding = false;
}

}  // namespace

void OnNitSection(AnalysisContext& ctx, std::span<const uint8_t> assembled) {
    const SiSectionView v = viewSiSection(assembled);
    if (kindOf(v.tableId) < 0 || v.tableId > kTableNitOther) return;  // stuffing
    if (captureSiSection(ctx, v)) return;
    if (!v.intact) {
        captureSiCrcError(ctx, v);
        if (crcEventAllowed(ctx)) logEvent(ctx, 1083);
        return;
    }
    if (v.section.size() < kLongHeaderBytes + kCrcBytes) return;  // too short to be a NIT
    SiHeaderRecord header = commonHeader(v);
    readNitDetails(v, header);
    const SiKind kind = v.tableId == kTableNitActual ? SiKind::NitActual : SiKind::NitOther;
    storeSection(ctx, kind, kPidNit, v, std::move(header));
}

void OnSdtBatSection(AnalysisContext& ctx, std::span<const uint8_t> assembled) {
    const SiSectionView v = viewSiSection(assembled);
    const int kind = kindOf(v.tableId);
    if (kind < static_cast<int>(SiKind::Bat)) return;  // stuffing
    if (captureSiSection(ctx, v)) return;
    const bool bat = v.tableId == kTableBat;
    if (!v.intact) {
        captureSiCrcError(ctx, v);
        const CrcTable table = bat ? CrcTable::Bat : CrcTable::Sdt;
        if (crcEventAllowed(ctx) && ctx.siStore.tables[kind].count() > 0 &&
            ctx.log.kindCount.crc(table) < kEventCap)
            logEvent(ctx, bat ? 1085 : 1086);
        return;
    }
    if (v.section.size() < kSdtHeaderBytes + kCrcBytes) return;  // too short to be an SDT/BAT
    SiHeaderRecord header = commonHeader(v);
    const uint8_t* s = v.section.data();
    if (bat) {
        header.bouquetId = static_cast<uint16_t>(read16(s + 3));
    } else {
        header.transportStreamId = static_cast<uint16_t>(read16(s + 3));
        header.originalNetworkId = static_cast<uint16_t>(read16(s + 8));
    }
    if (!bat) CollectGuideServices(ctx, v.section);
    storeSection(ctx, static_cast<SiKind>(kind), kPidSdtBat, v, std::move(header));
}

void OnEitSection(AnalysisContext& ctx, std::span<const uint8_t> assembled) {
    const SiSectionView v = viewSiSection(assembled);
    if (ctx.siStore.eitList(v.tableId) == nullptr) return;  // stuffing
    if (captureSiSection(ctx, v)) return;
    if (!v.intact) {
        captureSiCrcError(ctx, v);
        if (crcEventAllowed(ctx)) logEvent(ctx, 1084);
        return;
    }
    if (v.section.size() < kEitHeaderBytes + kCrcBytes) return;  // too short to be an EIT
    const EitHeaderRecord h = eitHeader(v);
    const EitClass cls = ClassifyEitSection(ctx.siStore, h.tableId, h.serviceId, h.sectionNumber,
                                            h.transportStreamId, h.originalNetworkId, h.crc32);
    CollectGuideEvents(ctx, v.section);
    storeEitSection(ctx, v, h, cls);
}

}  // namespace orv
