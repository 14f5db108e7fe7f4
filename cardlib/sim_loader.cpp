// Installs the simulated devices chosen by ORV_SIM_DEVICE as the library's drivers: the library
// registers the loader when it is loaded, and the device layer runs it before its first open.
#include "platform/devio/devio.h"
#include "sim/sim_devices.h"

namespace {

[[maybe_unused]] const bool registered = [] {
    orv::devio::addDriverLoader(&orv::sim::installFromEnvironment);
    return true;
}();

}  // namespace
