// The pieces the section writers are built from: a bounded view of one section and the header
// rows (a line template and where its value sits in the bytes), written in order until a row's
// bytes are missing.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "presentation/descriptor_text.h"

namespace orv::rows {

// One section cut to its own length: bytes after 3 + section_length are ignored, bytes missing
// from a short buffer are never read.
class SectionView {
  public:
    SectionView(std::span<const uint8_t> bytes, bool hasCrc);

    // Whether the n bytes at offset are fields of the section: present, and before the CRC_32
    // (a loop length is never read from the CRC).
    bool has(std::size_t offset, std::size_t n) const { return offset + n <= bodyEnd_; }
    // Big-endian value of n (<= 4) bytes at offset; the caller checks has() first.
    uint32_t be(std::size_t offset, std::size_t n) const;
    uint8_t tableId() const { return bytes_.empty() ? 0 : bytes_[0]; }
    // End of the fields before the CRC_32 (or of the data, if the section is cut short).
    std::size_t bodyEnd() const { return bodyEnd_; }
    bool crcPresent() const { return crcPresent_; }
    uint32_t crc() const { return crcPresent_ ? be(bodyEnd_, 4) : 0; }
    // A descriptor loop of `length` bytes at `offset`, cut to the body; the offset after it.
    std::span<const uint8_t> loop(std::size_t offset, std::size_t length) const;

  private:
    std::span<const uint8_t> bytes_;
    std::size_t dataEnd_ = 0;
    std::size_t bodyEnd_ = 0;
    bool crcPresent_ = false;
};

struct Row {
    const char* tmpl;
    uint8_t offset = 0;
    uint8_t size = 0;  // 0: the line is the template as it stands
    uint8_t shift = 0;
    uint16_t mask = 0xFFFF;
    const char* zeroTmpl = nullptr;  // for a flag: the line when the value is 0
};

constexpr Row literal(const char* line) {
    return {line};
}
constexpr Row value(const char* tmpl, uint8_t offset, uint8_t size, uint8_t shift = 0,
                    uint16_t mask = 0xFFFF) {
    return {tmpl, offset, size, shift, mask};
}
constexpr Row flag(const char* one, const char* zero, uint8_t offset, uint8_t shift) {
    return {one, offset, 1, shift, 1, zero};
}

// Writes the rows in order; false at the first row whose bytes are missing.
bool writeRows(const SectionView& s, std::span<const Row> rows, TextLines& out);

// A template with one value.
std::string withValue(const char* tmpl, uint64_t v);

// The Running_status line of SDT and EIT after the given head.
std::string runningStatusLine(const char* head, unsigned status);

}  // namespace orv::rows
