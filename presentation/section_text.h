// SectionText: one stored PSI/SI section as the text lines of the stream information report —
// a title, one line per syntax field in the order of the section, the descriptor loops through
// DescriptorText. The writers trust the section's own lengths but never read past the section:
// a loop ends where its byte count or the section ends, and a header cut short shows the fields
// that are present.
#pragma once

#include <cstdint>
#include <span>

#include "engine/analysis_context.h"
#include "presentation/descriptor_text.h"

namespace orv {

class SectionText {
  public:
    // Section bytes from table_id up to and including the CRC_32 (the TDT has none).
    static void writePat(std::span<const uint8_t> section, TextLines& out);
    static void writeCat(std::span<const uint8_t> section, TextLines& out);
    static void writePmt(std::span<const uint8_t> section, TextLines& out);
    static void writeNit(std::span<const uint8_t> section, TextLines& out);  // 0x40, 0x41
    static void writeSdt(std::span<const uint8_t> section, TextLines& out);  // 0x42, 0x46
    static void writeBat(std::span<const uint8_t> section, TextLines& out);  // 0x4A
    static void writeEit(std::span<const uint8_t> section, TextLines& out);  // 0x4E..0x6F
    static void writeTdt(std::span<const uint8_t> section, TextLines& out);  // 0x70
    static void writeTot(std::span<const uint8_t> section, TextLines& out);  // 0x73

    // The PAT as the analysis keeps it: header, network PID and program list.
    static void writePat(const PatModel& pat, TextLines& out);

    // The writer of the section's table_id; false (and no lines) for a table without one.
    static bool write(std::span<const uint8_t> section, TextLines& out);
};

}  // namespace orv
