#include "presentation/hex_dump.h"

#include <algorithm>
#include <cstdio>

namespace orv {

void appendHexDump(std::span<const uint8_t> bytes, std::vector<std::string>& out) {
    std::size_t offset = 0;
    for (;;) {
        const std::size_t n = std::min(kHexDumpBytesPerLine, bytes.size() - offset);
        std::string line;
        line.reserve(8 + 3 * n);
        char cell[16];
        std::snprintf(cell, sizeof cell, "%04zx    ", offset);
        line += cell;
        for (std::size_t i = 0; i < n; ++i) {
            std::snprintf(cell, sizeof cell, "%02x ", unsigned{bytes[offset + i]});
            line += cell;
        }
        out.push_back(std::move(line));
        offset += n;
        if (n < kHexDumpBytesPerLine) return;
    }
}

}  // namespace orv
