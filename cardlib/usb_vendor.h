// The USB box's vendor requests (control code 0x22001C).
#pragma once

#include <cstdint>
#include <span>

namespace orv::zel {

// Host to device: `data` is the data stage.
bool vendorOut(unsigned card, std::uint8_t request, std::span<const std::uint8_t> data);
// Device to host into a 256-byte buffer; `returned` receives the bytes the box sent.
bool vendorIn(unsigned card, std::uint8_t request, std::uint16_t length, std::uint8_t* out256,
              std::uint32_t& returned);
// Device to host into the caller's buffer of `size` bytes.
bool vendorInto(unsigned card, std::uint8_t request, std::uint16_t length, void* out,
                std::uint32_t size, std::uint32_t& returned);

}  // namespace orv::zel
