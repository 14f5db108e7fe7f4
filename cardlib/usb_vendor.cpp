#include "cardlib/usb_vendor.h"

#include <algorithm>
#include <cstring>

#include "cardlib/card_state.h"
#include "platform/devio/zelcard_interface.h"

namespace orv::zel {

bool vendorOut(unsigned card, std::uint8_t request, std::span<const std::uint8_t> data) {
    VendorRequest block{};
    block.request = request;
    block.length =
        static_cast<std::uint16_t>(std::min<std::size_t>(data.size(), sizeof block.data));
    block.direction = 0;
    std::memcpy(block.data, data.data(), block.length);
    std::uint32_t returned = 0;
    return devio::deviceIoControl(slot(card).handle, kIoctlUsbVendorRequest, &block, sizeof block,
                                  nullptr, 0, &returned);
}

bool vendorInto(unsigned card, std::uint8_t request, std::uint16_t length, void* out,
                std::uint32_t size, std::uint32_t& returned) {
    VendorRequest block{};
    block.request = request;
    block.length = length;
    block.direction = 1;
    return devio::deviceIoControl(slot(card).handle, kIoctlUsbVendorRequest, &block, sizeof block,
                                  out, size, &returned);
}

bool vendorIn(unsigned card, std::uint8_t request, std::uint16_t length, std::uint8_t* out256,
              std::uint32_t& returned) {
    return vendorInto(card, request, length, out256, kVendorOutputSize, returned);
}

}  // namespace orv::zel
