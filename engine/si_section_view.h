// What the SI handlers share: a view of the section a collector has just completed, the capture
// hook of the table sections.
#pragma once

#include <cstdint>
#include <span>

#include "engine/analysis_context.h"
#include "engine/section_fields.h"

namespace orv {

// A completed section as assembled on its PID: the section, and whatever followed it in the
// buffer. `whole` is set when the buffer holds all 3 + section_length bytes; `intact` when it does
// and the CRC over them, CRC_32 field included, is 0. A section cut short is never read beyond
// what was collected.
struct SiSectionView {
    std::span<const uint8_t> assembled;
    std::span<const uint8_t> section;  // the whole section, or empty
    uint8_t tableId = 0;
    uint8_t sectionSyntaxIndicator = 0;
    uint16_t sectionLength = 0;
    uint32_t crc = 0;  // the last four bytes of a whole section
    bool whole = false;
    bool intact = false;

    // The bytes a capture takes: the whole section, or what was collected of it.
    std::span<const uint8_t> captureBytes() const { return whole ? section : assembled; }
};

SiSectionView viewSiSection(std::span<const uint8_t> assembled);

// The data capture's trigger for the sections of a table_id (0 when it has none).
int siCaptureTrigger(unsigned tableId);

// The capture step of every SI handler: a copy when the capture asks for sections of this table;
// returns true when the capture-only mode is on and the handler must stop here.
bool captureSiSection(AnalysisContext& ctx, const SiSectionView& v);

// A section that failed its CRC (or was cut short): the copy for the CRC-error capture.
void captureSiCrcError(AnalysisContext& ctx, const SiSectionView& v);

}  // namespace orv
