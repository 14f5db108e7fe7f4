// Plugging simulated devices in behind the device layer. A PCI card registers under
// "\\.\ZelcardDevice<card>", a USB box as an interface of the USB class. The environment
// variable ORV_SIM_DEVICE (see sim_config.h) chooses the devices of a process; without it no
// device exists and every open fails as on a machine without a card.
#pragma once

#include <memory>
#include <string>

#include "sim/pci_card.h"
#include "sim/sim_config.h"
#include "sim/usb_box.h"

namespace orv::sim {

inline constexpr const char* kEnvironmentVariable = "ORV_SIM_DEVICE";

std::shared_ptr<PciCard> plugInPci(SimConfig config);
std::shared_ptr<UsbBox> plugInUsb(SimConfig config);
// Stops the device's playback and removes its names; open handles fail from then on only in
// that the device no longer plays.
void unplug(const std::shared_ptr<devio::Driver>& device);

// Plugs in the devices of ORV_SIM_DEVICE (once per process; a bad value is reported on stderr
// and plugs in nothing). Registered as a device-layer loader by the card library.
void installFromEnvironment();

}  // namespace orv::sim
