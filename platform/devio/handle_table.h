// The process-wide table behind the device layer's handles, names and loaders (internal).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "platform/devio/devio.h"
#include "platform/devio/event.h"

namespace orv::devio::detail {

struct NamedEvent {
    std::shared_ptr<Event> event;
    std::string name;  // empty for an unnamed event
};

using HandleTarget = std::variant<std::shared_ptr<Driver>, NamedEvent>;

struct InterfaceEntry {
    Guid interfaceClass;
    std::string path;
    std::shared_ptr<Driver> driver;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Driver>> devices;
    std::vector<InterfaceEntry> interfaces;
    std::map<Handle, HandleTarget> handles;
    std::map<std::string, std::weak_ptr<Event>> namedEvents;  // a name lives while its event does
    Handle nextHandle = 0x100;
    std::vector<DriverLoader> loaders;
    bool loadersRun = false;

    Handle insert(HandleTarget target);  // with the mutex held
};

Registry& registry();
// Runs the driver loaders once (without the registry's mutex held).
void runLoaders();

}  // namespace orv::devio::detail
