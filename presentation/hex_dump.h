// The hex dump of the viewer and the printed report: lines of 20 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orv {

inline constexpr std::size_t kHexDumpBytesPerLine = 20;

// Lines of 20 bytes: "%04x    " (the offset) then "%02x " per byte. The last line is always
// written, with the offset after the last full line and the bytes left, if any.
void appendHexDump(std::span<const uint8_t> bytes, std::vector<std::string>& out);

}  // namespace orv
