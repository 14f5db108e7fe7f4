// Appends big-endian fields to a byte vector and patches 12-bit length fields afterwards; the
// building block of every section and descriptor writer of the generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace tsgen {

class ByteWriter {
  public:
    // A fresh vector starts with room for a typical descriptor or short section: fewer
    // reallocations, and GCC 12 at -O3 no longer follows the growth of an empty vector through
    // a few push_backs into a range insert, where it reported bogus out-of-bounds copies.
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {
        if (out_.capacity() == 0) out_.reserve(kInitialCapacity);
    }

    void u8(unsigned v) { out_.push_back(static_cast<uint8_t>(v)); }
    void u16(unsigned v) {
        u8(v >> 8);
        u8(v);
    }
    void u24(uint32_t v) {
        u8(v >> 16);
        u16(v & 0xFFFF);
    }
    void u32(uint32_t v) {
        u16(v >> 16);
        u16(v & 0xFFFF);
    }
    void bytes(const uint8_t* p, std::size_t n) { out_.insert(out_.end(), p, p + n); }
    void bytes(const std::vector<uint8_t>& v) { bytes(v.data(), v.size()); }
    void text(std::string_view s) { bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }
    // A text preceded by its length byte (names in DVB descriptors).
    void lengthText(std::string_view s) {
        if (s.size() > 255) throw std::invalid_argument("text longer than 255 bytes");
        u8(static_cast<unsigned>(s.size()));
        text(s);
    }

    std::size_t size() const { return out_.size(); }

    // Reserves a 16-bit field made of `highBits` (top four bits) and a 12-bit length; returns its
    // position for patchLength12.
    std::size_t reserveLength12(unsigned highBits) {
        const std::size_t pos = out_.size();
        u16(highBits << 12);
        return pos;
    }
    // Writes `length` into the 12 low bits of the field at `pos`, keeping its top four bits.
    void patchLength12(std::size_t pos, std::size_t length) {
        if (length > 0x0FFF) throw std::length_error("12-bit length field overflow");
        out_[pos] = static_cast<uint8_t>((out_[pos] & 0xF0) | (length >> 8));
        out_[pos + 1] = static_cast<uint8_t>(length & 0xFF);
    }
    // Patches the field at `pos` with the number of bytes written after it.
    void closeLength12(std::size_t pos) { patchLength12(pos, out_.size() - pos - 2); }

  private:
    static constexpr std::size_t kInitialCapacity = 64;
    std::vector<uint8_t>& out_;
};

}  // namespace tsgen
