#include "sim/sim_devices.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "platform/devio/zelcard_interface.h"

namespace orv::sim {
namespace {

std::atomic<unsigned> usbCount{0};

}  // namespace

std::shared_ptr<PciCard> plugInPci(SimConfig config) {
    const unsigned card = config.card;
    auto device = std::make_shared<PciCard>(std::move(config));
    devio::registerDevice(zel::kPciDevicePrefix + std::to_string(card), device);
    return device;
}

std::shared_ptr<UsbBox> plugInUsb(SimConfig config) {
    const unsigned n = usbCount++;
    auto device = std::make_shared<UsbBox>(std::move(config), "ZelUsbData" + std::to_string(n));
    devio::registerInterface(zel::kUsbInterfaceClass,
                             "\\\\?\\usb#vid_04b4&pid_1004#zel" + std::to_string(n) +
                                 "#{a1155b78-a32c-11d1-9aed-00a0c98ba608}",
                             device);
    return device;
}

void unplug(const std::shared_ptr<devio::Driver>& device) {
    if (!device) return;
    devio::unregisterDriver(device.get());
    if (auto* pci = dynamic_cast<PciCard*>(device.get())) pci->stop();
    if (auto* usb = dynamic_cast<UsbBox*>(device.get())) usb->stop();
}

void installFromEnvironment() {
    const char* text = std::getenv(kEnvironmentVariable);
    if (text == nullptr || *text == '\0') return;
    std::string error;
    auto configs = parseSimConfig(text, &error);
    if (configs.empty()) {
        std::fprintf(stderr, "%s: %s\n", kEnvironmentVariable, error.c_str());
        return;
    }
    std::vector<std::shared_ptr<devio::Driver>> plugged;
    for (auto& config : configs) {
        try {
            if (config.kind == SimKind::Pci) {
                plugged.push_back(plugInPci(std::move(config)));
            } else {
                plugged.push_back(plugInUsb(std::move(config)));
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", kEnvironmentVariable, e.what());
        }
    }
    // Devices chosen by environment live as long as the process. The memory a card shares keeps
    // its table alive, so the order in which static objects go at exit does not matter.
    static std::vector<std::shared_ptr<devio::Driver>> installed;
    installed = std::move(plugged);
}

}  // namespace orv::sim
