// Builders of whole PSI/SI sections (table_id through CRC_32), byte-exact to the table syntax of
// ISO/IEC 13818-1 and ETSI EN 300 468. Each returns the section's bytes; long sections end with
// a correct CRC_32. Multi-section tables are built one section at a time: the caller splits
// the loops and gives section_number and last_section_number. Reserved bits are ones. Any
// section_length above 4093 throws std::length_error (the 1021 limit of PSI tables is not
// enforced, so oversize sections can be built on purpose).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/tsgen/descriptors.h"

namespace tsgen {

using Section = std::vector<uint8_t>;

inline constexpr uint8_t kTablePat = 0x00, kTableCat = 0x01, kTablePmt = 0x02;
inline constexpr uint8_t kTableNitActual = 0x40, kTableNitOther = 0x41;
inline constexpr uint8_t kTableSdtActual = 0x42, kTableSdtOther = 0x46, kTableBat = 0x4A;
inline constexpr uint8_t kTableEitPfActual = 0x4E, kTableEitPfOther = 0x4F;
inline constexpr uint8_t kTableEitScheduleFirst = 0x50, kTableEitScheduleLast = 0x6F;
inline constexpr uint8_t kTableTdt = 0x70, kTableRst = 0x71, kTableTot = 0x73;

// version_number, current_next_indicator, section_number, last_section_number.
struct SectionNumbering {
    uint8_t version = 0;  // 5 bits
    bool currentNext = true;
    uint8_t sectionNumber = 0;
    uint8_t lastSectionNumber = 0;
};

struct PatEntry {
    uint16_t programNumber = 0;  // 0: the entry gives the network PID
    uint16_t pid = 0;
};
struct PatParams {
    uint16_t transportStreamId = 1;
    SectionNumbering numbering;
    std::vector<PatEntry> programs;
};
Section buildPat(const PatParams& p);

struct CatParams {
    SectionNumbering numbering;
    Descriptors descriptors;  // usually CA descriptors
};
Section buildCat(const CatParams& p);

struct PmtStream {
    uint8_t streamType = 0;
    uint16_t pid = 0;
    Descriptors descriptors;
};
struct PmtParams {
    uint16_t programNumber = 1;
    SectionNumbering numbering;
    uint16_t pcrPid = 0x1FFF;
    Descriptors programInfo;
    std::vector<PmtStream> streams;
};
Section buildPmt(const PmtParams& p);

// One transport stream of the NIT or BAT loop.
struct TransportStreamEntry {
    uint16_t transportStreamId = 1;
    uint16_t originalNetworkId = 1;
    Descriptors descriptors;
};
struct NitParams {
    bool actual = true;  // table_id 0x40, else 0x41
    uint16_t networkId = 1;
    SectionNumbering numbering;
    Descriptors networkDescriptors;
    std::vector<TransportStreamEntry> transportStreams;
};
Section buildNit(const NitParams& p);

struct BatParams {
    uint16_t bouquetId = 1;
    SectionNumbering numbering;
    Descriptors bouquetDescriptors;
    std::vector<TransportStreamEntry> transportStreams;
};
Section buildBat(const BatParams& p);

struct SdtService {
    uint16_t serviceId = 1;
    bool eitSchedule = false;
    bool eitPresentFollowing = false;
    uint8_t runningStatus = 4;  // running
    bool freeCaMode = false;
    Descriptors descriptors;
};
struct SdtParams {
    bool actual = true;  // table_id 0x42, else 0x46
    uint16_t transportStreamId = 1;
    uint16_t originalNetworkId = 1;
    SectionNumbering numbering;
    std::vector<SdtService> services;
};
Section buildSdt(const SdtParams& p);

struct EitEvent {
    uint16_t eventId = 1;
    int64_t start = 0;  // UTC seconds since the epoch
    uint32_t durationSeconds = 0;
    uint8_t runningStatus = 0;  // 0 undefined, 1 not running, 4 running
    bool freeCaMode = false;
    Descriptors descriptors;
};
struct EitParams {
    uint8_t tableId = kTableEitPfActual;  // 0x4E, 0x4F or 0x50..0x6F
    uint16_t serviceId = 1;
    uint16_t transportStreamId = 1;
    uint16_t originalNetworkId = 1;
    SectionNumbering numbering;
    uint8_t segmentLastSectionNumber = 0;
    uint8_t lastTableId = kTableEitPfActual;
    std::vector<EitEvent> events;
};
Section buildEit(const EitParams& p);

// TDT: an 8-byte short section without CRC.
Section buildTdt(int64_t utc);

struct TotParams {
    int64_t utc = 0;
    Descriptors descriptors;  // usually one local time offset descriptor
};
// TOT: a short section (section_syntax_indicator 0) that nevertheless ends with a CRC_32.
Section buildTot(const TotParams& p);

struct RstEntry {
    uint16_t transportStreamId = 1;
    uint16_t originalNetworkId = 1;
    uint16_t serviceId = 1;
    uint16_t eventId = 1;
    uint8_t runningStatus = 4;
};
// RST: a short section without CRC.
Section buildRst(const std::vector<RstEntry>& entries);

// The section_length field of a section (bytes 1 and 2), or -1 when fewer than 3 bytes.
int sectionLength(const Section& s);

}  // namespace tsgen
