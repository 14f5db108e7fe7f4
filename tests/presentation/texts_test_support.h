// Helpers of the text tests: sections taken straight from capture files (PID and table_id,
// assembled from packets), golden files, and line joining.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/packet_header.h"
#include "engine/section_crc.h"
#include "presentation/descriptor_text.h"

namespace texts_test {

using Bytes = std::vector<uint8_t>;

inline Bytes readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline std::filesystem::path streamPath(const char* name) {
    return std::filesystem::path(ORV_STREAMS_DIR) / name;
}

inline bool crcGood(const Bytes& s) {
    return s.size() >= 4 && orv::sectionCrc32(s.data(), s.data() + s.size()) == 0;
}

// Every complete section carried on `pid` (188-byte packets), in the order they end.
inline std::vector<Bytes> sectionsOnPid(const Bytes& ts, unsigned pid) {
    std::vector<Bytes> out;
    Bytes cur;
    bool inSection = false;
    auto feed = [&](const uint8_t* p, std::size_t n) {
        // Appends to the section under way; ends it (and maybe starts the next) when complete.
        std::size_t i = 0;
        while (i < n) {
            if (!inSection) {
                if (p[i] == 0xFF) return;  // stuffing up to the end of the packet
                inSection = true;
                cur.clear();
            }
            std::size_t need = 3;
            if (cur.size() >= 3) need = 3 + ((std::size_t{cur[1]} & 0x0F) << 8 | cur[2]);
            const std::size_t take = std::min(need - cur.size(), n - i);
            cur.insert(cur.end(), p + i, p + i + take);
            i += take;
            if (cur.size() >= 3) need = 3 + ((std::size_t{cur[1]} & 0x0F) << 8 | cur[2]);
            if (cur.size() == need) {
                out.push_back(cur);
                inSection = false;
            }
        }
    };
    for (std::size_t off = 0; off + 188 <= ts.size(); off += 188) {
        const uint8_t* p = ts.data() + off;
        if (p[0] != 0x47 || orv::packetPid(p) != pid || !orv::hasPayload(p)) continue;
        const unsigned start = orv::payloadOffset(p);
        if (start >= 188) continue;
        if (orv::payloadUnitStart(p)) {
            const unsigned pointer = p[start];
            if (start + 1 + pointer > 188) continue;
            if (inSection) feed(p + start + 1, pointer);
            inSection = false;
            feed(p + start + 1 + pointer, 188 - start - 1 - pointer);
        } else if (inSection) {
            feed(p + start, 188 - start);
        }
    }
    return out;
}

// The first section on `pid` whose table_id passes `accept` (and whose CRC is good when the
// table has one).
inline std::optional<Bytes> firstSection(const Bytes& ts, unsigned pid,
                                         const std::function<bool(uint8_t)>& accept,
                                         bool checkCrc = true) {
    for (const Bytes& s : sectionsOnPid(ts, pid)) {
        if (!s.empty() && accept(s[0]) && (!checkCrc || crcGood(s))) return s;
    }
    return std::nullopt;
}

inline std::string joined(const orv::TextLines& lines) {
    std::string all;
    for (const std::string& l : lines) {
        all += l;
        all += '\n';
    }
    return all;
}

inline orv::TextLines linesOf(const std::string& text) {
    orv::TextLines lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

}  // namespace texts_test
