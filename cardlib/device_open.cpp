#include "cardlib/device_open.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cardlib/card_state.h"
#include "platform/devio/zelcard_interface.h"

namespace orv::zel {
namespace {

constexpr std::size_t kPathBufferSize = 256;

// Replaces the card's handle, closing the old one (re-initialisation would otherwise leak one
// handle per call, 98 of them in a QAM scan). A failed open leaves the card closed, exactly as
// a card never opened: keeping the invalid handle would make it look open to every export.
void replaceHandle(unsigned card, devio::Handle handle) {
    devio::Handle& current = slot(card).handle;
    if (current != 0 && current != devio::kInvalidHandle && current != handle) {
        devio::closeHandle(current);
    }
    current = handle == devio::kInvalidHandle ? 0 : handle;
}

}  // namespace

devio::Handle openUsbInterface(char* pathBuffer) {
    devio::DeviceInfoSet set(kUsbInterfaceClass,
                             devio::kDigcfPresent | devio::kDigcfDeviceInterface);
    for (std::uint32_t index = 0;; ++index) {
        devio::InterfaceData data;
        if (!set.enumInterfaces(index, data)) {
            if (devio::lastError() == devio::kErrorNoMoreItems) break;
            continue;
        }
        std::uint32_t required = 0;
        set.interfaceDetail(data, nullptr, 0, &required);
        std::vector<char> detail(required + 1, '\0');
        const bool haveDetail =
            required > 0 && set.interfaceDetail(data, detail.data(), required, nullptr);
        std::strncpy(pathBuffer, detail.data(), kPathBufferSize - 1);
        pathBuffer[kPathBufferSize - 1] = '\0';
        std::printf("Attempting to open %s\n", pathBuffer);
        const devio::Handle handle =
            haveDetail ? devio::openDevice(pathBuffer) : devio::kInvalidHandle;
        if (handle != devio::kInvalidHandle) {
            std::fflush(stdout);
            return handle;
        }
        std::printf("FAILED to open %s\n", pathBuffer);
    }
    std::fflush(stdout);
    return devio::kInvalidHandle;
}

devio::Handle openPciCard(unsigned card) {
    return devio::openDevice(kPciDevicePrefix + std::to_string(card));
}

long openForConfiguring(unsigned card) {
    char path[kPathBufferSize] = {};
    state().deviceKind = DeviceKind::UsbBox;
    devio::Handle handle = openUsbInterface(path);
    if (handle == devio::kInvalidHandle) {
        handle = openPciCard(card);
        if (handle != devio::kInvalidHandle) state().deviceKind = DeviceKind::PciCard;
    }
    replaceHandle(card, handle);
    return handle == devio::kInvalidHandle ? -2 : 0;
}

long openLazily(unsigned card) {
    if (slot(card).handle != 0) return 0;
    devio::Handle handle = openPciCard(card);
    if (handle == devio::kInvalidHandle) {
        char path[kPathBufferSize] = {};
        handle = openUsbInterface(path);
        if (handle != devio::kInvalidHandle) state().deviceKind = DeviceKind::UsbBox;
    } else {
        // The PCI card answered first, so the device kind follows it.
        state().deviceKind = DeviceKind::PciCard;
    }
    replaceHandle(card, handle);
    return handle == devio::kInvalidHandle ? -2 : 0;
}

void closeCard(unsigned card) {
    replaceHandle(card, 0);
}

}  // namespace orv::zel
