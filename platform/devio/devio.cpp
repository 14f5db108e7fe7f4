#include "platform/devio/devio.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/devio/handle_table.h"

namespace orv::devio {
namespace detail {

Registry& registry() {
    static Registry r;
    return r;
}

Handle Registry::insert(HandleTarget target) {
    // Tokens are reused only after the 32-bit space wraps; 0 and kInvalidHandle are skipped.
    do {
        ++nextHandle;
    } while (nextHandle == 0 || nextHandle == kInvalidHandle || handles.count(nextHandle) != 0);
    handles.emplace(nextHandle, std::move(target));
    return nextHandle;
}

void runLoaders() {
    std::vector<DriverLoader> pending;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        if (r.loadersRun) return;
        r.loadersRun = true;
        pending = r.loaders;
    }
    for (DriverLoader loader : pending)
        loader();
}

}  // namespace detail

namespace {
thread_local std::uint32_t tlsLastError = kErrorSuccess;
}

std::uint32_t lastError() {
    return tlsLastError;
}
void setLastError(std::uint32_t error) {
    tlsLastError = error;
}

std::string errorText(std::uint32_t error) {
    struct Text {
        std::uint32_t code;
        const char* text;
    };
    static constexpr Text kTexts[] = {
        {kErrorSuccess, "The operation completed successfully."},
        {kErrorFileNotFound, "The system cannot find the file specified."},
        {kErrorAccessDenied, "Access is denied."},
        {kErrorInvalidHandle, "The handle is invalid."},
        {kErrorNotEnoughMemory,
         "Not enough memory resources are available to process this command."},
        {kErrorGenFailure, "A device attached to the system is not functioning."},
        {kErrorInvalidParameter, "The parameter is incorrect."},
        {kErrorInsufficientBuffer, "The data area passed to a system call is too small."},
        {kErrorAlreadyExists, "Cannot create a file when that file already exists."},
        {kErrorNoMoreItems, "No more data is available."},
        {kErrorIoPending, "Overlapped I/O operation is in progress."},
        {kErrorDeviceNotConnected, "The device is not connected."},
    };
    for (const Text& t : kTexts) {
        if (t.code == error) return t.text;
    }
    return "System error " + std::to_string(error) + ".";
}

void registerDevice(std::string name, std::shared_ptr<Driver> driver) {
    auto& r = detail::registry();
    std::lock_guard lock(r.mutex);
    r.devices[std::move(name)] = std::move(driver);
}

void registerInterface(const Guid& interfaceClass, std::string path,
                       std::shared_ptr<Driver> driver) {
    auto& r = detail::registry();
    std::lock_guard lock(r.mutex);
    r.interfaces.push_back({interfaceClass, std::move(path), std::move(driver)});
}

void unregisterDriver(const Driver* driver) {
    auto& r = detail::registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.devices, [&](const auto& entry) { return entry.second.get() == driver; });
    std::erase_if(r.interfaces, [&](const auto& entry) { return entry.driver.get() == driver; });
}

void addDriverLoader(DriverLoader loader) {
    auto& r = detail::registry();
    std::lock_guard lock(r.mutex);
    r.loaders.push_back(loader);
}

Handle openDevice(std::string_view path) {
    detail::runLoaders();
    auto& r = detail::registry();
    std::shared_ptr<Driver> driver;
    {
        std::lock_guard lock(r.mutex);
        if (auto it = r.devices.find(std::string(path)); it != r.devices.end()) {
            driver = it->second;
        } else {
            for (const auto& entry : r.interfaces) {
                if (entry.path == path) driver = entry.driver;
            }
        }
    }
    if (!driver) {
        setLastError(kErrorFileNotFound);
        return kInvalidHandle;
    }
    if (std::uint32_t error = driver->open(); error != kErrorSuccess) {
        setLastError(error);
        return kInvalidHandle;
    }
    std::lock_guard lock(r.mutex);
    setLastError(kErrorSuccess);
    return r.insert(std::move(driver));
}

bool closeHandle(Handle handle) {
    auto& r = detail::registry();
    std::lock_guard lock(r.mutex);
    auto it = r.handles.find(handle);
    if (it == r.handles.end()) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    r.handles.erase(it);
    return true;
}

bool deviceIoControl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
                     void* out, std::uint32_t outSize, std::uint32_t* returned) {
    std::shared_ptr<Driver> driver;
    {
        auto& r = detail::registry();
        std::lock_guard lock(r.mutex);
        auto it = r.handles.find(handle);
        if (it != r.handles.end()) {
            if (auto* d = std::get_if<std::shared_ptr<Driver>>(&it->second)) driver = *d;
        }
    }
    if (returned) *returned = 0;
    if (!driver) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    if ((in == nullptr && inSize != 0) || (out == nullptr && outSize != 0)) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    std::size_t written = 0;
    const std::uint32_t error = driver->control(code, {static_cast<const std::byte*>(in), inSize},
                                                {static_cast<std::byte*>(out), outSize}, written);
    setLastError(error);
    if (error != kErrorSuccess) return false;
    if (returned) *returned = static_cast<std::uint32_t>(std::min<std::size_t>(written, outSize));
    return true;
}

DeviceInfoSet::DeviceInfoSet(const Guid& interfaceClass, std::uint32_t flags)
    : class_(interfaceClass) {
    detail::runLoaders();
    // Only device interfaces are ever registered, and every registered device is present.
    if ((flags & kDigcfDeviceInterface) == 0) return;
    auto& r = detail::registry();
    std::lock_guard lock(r.mutex);
    for (const auto& entry : r.interfaces) {
        if (entry.interfaceClass == interfaceClass) paths_.push_back(entry.path);
    }
}

bool DeviceInfoSet::enumInterfaces(std::uint32_t index, InterfaceData& data) const {
    if (index >= paths_.size()) {
        setLastError(kErrorNoMoreItems);
        return false;
    }
    data.interfaceClass = class_;
    data.index = index;
    setLastError(kErrorSuccess);
    return true;
}

bool DeviceInfoSet::interfaceDetail(const InterfaceData& data, char* path, std::uint32_t size,
                                    std::uint32_t* required) const {
    if (data.index >= paths_.size() || !(data.interfaceClass == class_)) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    const std::string& p = paths_[data.index];
    const auto need = static_cast<std::uint32_t>(p.size() + 1);
    if (required) *required = need;
    if (path == nullptr || size < need) {
        setLastError(kErrorInsufficientBuffer);
        return false;
    }
    std::memcpy(path, p.c_str(), need);
    setLastError(kErrorSuccess);
    return true;
}

}  // namespace orv::devio
