#include "tools/tsgen/stuffing_sections.h"

#include <stdexcept>

namespace tsgen {

Section buildStuffing(std::size_t totalBytes) {
    if (totalBytes < 3 || totalBytes > 4096)
        throw std::invalid_argument("a stuffing section takes 3 to 4096 bytes");
    const std::size_t length = totalBytes - 3;
    Section s(totalBytes, 0xFF);
    s[0] = kTableStuffing;
    // section_syntax_indicator 0, reserved_future_use 1, reserved 11.
    s[1] = static_cast<uint8_t>(0x70 | (length >> 8));
    s[2] = static_cast<uint8_t>(length & 0xFF);
    return s;
}

TableSource stuffingBehind(const TableSource& behind, uint32_t delayMs, std::size_t totalBytes) {
    TableSource s;
    s.pid = behind.pid;
    s.intervalMs = behind.intervalMs;
    s.offsetMs = behind.offsetMs + delayMs;
    s.sections = {buildStuffing(totalBytes)};
    return s;
}

}  // namespace tsgen
