// The model of the DVB service information on PIDs 0x0010..0x0014: the distinct sections stored
// per table kind, their repetition statistics, the RST/TDT/TOT records and the change flags the
// table tree reads. Stored sections are allocated as they arrive, never per packet.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/tr290_kinds.h"

namespace orv {

// How often one table kind repeats, measured from packet positions. Longest and shortest start
// at 0, which means none yet.
struct RepetitionStats {
    uint64_t lastSeen = 0;  // packetCounter when a section of this kind last started
    double current = 0.0;   // seconds
    double longest = 0.0;
    double shortest = 0.0;
};

// Header record of a stored NIT, BAT or SDT section; the fields of the other two tables stay 0.
struct SiHeaderRecord {
    uint8_t tableId = 0;
    uint8_t sectionSyntaxIndicator = 0;
    uint16_t sectionLength = 0;
    uint8_t sectionNumber = 0;
    uint8_t lastSectionNumber = 0;
    uint8_t versionNumber = 0;
    uint8_t currentNextIndicator = 0;
    uint16_t networkId = 0;  // NIT
    // NIT: the first entry of the transport stream loop.
    uint16_t firstTransportStreamId = 0;
    uint16_t firstOriginalNetworkId = 0;
    // NIT: the name of every network_name_descriptor of the network loop (decoded to UTF-8), each
    // followed by '\0'.
    std::string networkName;
    uint16_t bouquetId = 0;  // BAT
    // SDT
    uint16_t transportStreamId = 0;
    uint16_t originalNetworkId = 0;
};

struct StoredSiSection {
    SiHeaderRecord header;
    std::vector<uint8_t> bytes;  // the whole section, 3 + section_length bytes
};

// One NIT, BAT or SDT kind: its distinct sections (told apart by CRC_32) and their repetition.
struct SiSectionList {
    std::vector<StoredSiSection> entries;
    std::vector<uint32_t> crcs;  // CRC_32 of entries[i]
    RepetitionStats repetition;
    bool shown = false;  // the table tree has shown the current content

    int count() const { return static_cast<int>(entries.size()); }
};

struct EitHeaderRecord {
    uint8_t tableId = 0;
    uint8_t sectionSyntaxIndicator = 0;
    uint16_t sectionLength = 0;
    uint16_t serviceId = 0;
    uint8_t versionNumber = 0;
    uint8_t currentNextIndicator = 0;
    uint8_t sectionNumber = 0;
    uint8_t lastSectionNumber = 0;
    uint16_t transportStreamId = 0;
    uint16_t originalNetworkId = 0;
    uint8_t segmentLastSectionNumber = 0;
    uint8_t lastTableId = 0;
    uint32_t crc32 = 0;
};

struct StoredEitSection {
    EitHeaderRecord header;
    std::vector<uint8_t> bytes;
};

// One EIT table_id: its sections of every service, and the repetition of the table_id.
struct EitSectionList {
    std::vector<StoredEitSection> entries;
    RepetitionStats repetition;
    bool shown = false;

    int count() const { return static_cast<int>(entries.size()); }
};

struct RstRecord {
    bool present = false;
    uint8_t tableId = 0;
    uint16_t sectionLength = 0;
    RepetitionStats repetition;
};

struct TdtRecord {
    bool present = false;
    uint8_t tableId = 0;
    uint8_t sectionSyntaxIndicator = 0;
    uint16_t sectionLength = 0;
    std::array<uint8_t, 10> bytes{};  // the 8-byte TDT and the two bytes after it
    RepetitionStats repetition;
};

struct TotRecord {
    bool present = false;
    uint8_t tableId = 0;
    uint8_t sectionSyntaxIndicator = 0;
    uint16_t sectionLength = 0;
    std::vector<uint8_t> bytes;  // the section, at most 1024 bytes
    RepetitionStats repetition;
};

// Assembly of the sections of one SI PID. The buffer holds 4096 bytes for the EIT PID and 1024 for
// the others (see siBufferSize); bytes beyond it are dropped.
inline constexpr int kSiBufferSize = 1024;
inline constexpr int kEitBufferSize = 4096;
struct SiCollector {
    std::array<uint8_t, kEitBufferSize> bytes{};
    int length = 0;  // 0: no section under way
    // packetCounter where the section under way started, and whether its sub_table still waits
    // for the header bytes that name it before its start can be measured.
    uint64_t startPacket = 0;
    bool subTablePending = false;
    // section_number of the last EIT section that ended on the PID (0 after any other section):
    // it chooses between the EIT-P and EIT-F events of the next start.
    uint8_t endedSectionNumber = 0;
};

// NIT, BAT and SDT kinds, in the order of SiSectionStore::tables.
enum class SiKind : int { NitActual = 0, NitOther, Bat, SdtActual, SdtOther };
inline constexpr int kSiKindCount = 5;
inline constexpr int kSiListCapacity = 64;

inline constexpr uint8_t kTableNitActual = 0x40, kTableNitOther = 0x41, kTableSdtActual = 0x42,
                         kTableSdtOther = 0x46, kTableBat = 0x4A, kTableEitPfActual = 0x4E,
                         kTableEitPfOther = 0x4F, kTableEitScheduleFirst = 0x50,
                         kTableEitScheduleLast = 0x6F, kTableTdt = 0x70, kTableRst = 0x71,
                         kTableStuffing = 0x72, kTableTot = 0x73;

// EIT lists for table_id 0x4E..0x6F, indexed by table_id - 0x4E.
inline constexpr int kEitListCount = kTableEitScheduleLast - kTableEitPfActual + 1;

// The per-table counter (CRC errors, sections cut short) of a table_id, or -1 for the tables
// without a CRC_32 (TDT, RST, stuffing) and the table_ids of no table.
constexpr int crcTableOfTableId(unsigned tableId) {
    if (tableId <= 0x02) return static_cast<int>(tableId);  // PAT, CAT, PMT
    if (tableId == kTableNitActual || tableId == kTableNitOther) return int(CrcTable::Nit);
    if (tableId == kTableSdtActual || tableId == kTableSdtOther) return int(CrcTable::Sdt);
    if (tableId == kTableBat) return int(CrcTable::Bat);
    if (tableId >= kTableEitPfActual && tableId <= kTableEitScheduleLast) return int(CrcTable::Eit);
    if (tableId == kTableTot) return int(CrcTable::Tot);
    return -1;
}
static_assert(crcTableOfTableId(0x01) == int(CrcTable::Cat));
inline constexpr int kEitPfCapacity = 512;
inline constexpr int kEitScheduleCapacity = 1024;

struct SiSectionStore {
    std::array<SiSectionList, kSiKindCount> tables{};
    std::array<EitSectionList, kEitListCount> eit{};
    RstRecord rst;
    TdtRecord tdt;
    TotRecord tot;

    // Read and cleared by the table tree: a first section of a NIT or SDT/BAT kind was stored;
    // any section was stored (or the first RST, TDT or TOT arrived).
    bool newTable = false;
    bool newSection = false;
    // 1 while an EIT list is being changed, so that a reader does not take it half-written.
    bool eitRebuilding = false;

    SiSectionList& list(SiKind k) { return tables[static_cast<int>(k)]; }
    const SiSectionList& list(SiKind k) const { return tables[static_cast<int>(k)]; }
    // nullptr for a table_id outside 0x4E..0x6F.
    EitSectionList* eitList(unsigned tableId) {
        if (tableId < kTableEitPfActual || tableId > kTableEitScheduleLast) return nullptr;
        return &eit[tableId - kTableEitPfActual];
    }
    const EitSectionList* eitList(unsigned tableId) const {
        if (tableId < kTableEitPfActual || tableId > kTableEitScheduleLast) return nullptr;
        return &eit[tableId - kTableEitPfActual];
    }
};

}  // namespace orv
