// The device layer: what the Windows set-up API and DeviceIoControl gave the card library. Drivers
// (the simulated devices of sim/, or anything a test builds) register under device names and
// interface classes; callers open them by name or enumerate a class, and talk to them with control
// codes and byte buffers of the exact layouts the drivers define. Handles of devices and events
// share one table of 32-bit tokens (0 is never a handle). All functions are thread-safe; the last
// error is kept per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv::devio {

using Handle = std::uint32_t;
inline constexpr Handle kInvalidHandle = 0xFFFFFFFFu;

// System error codes, with their Windows values (callers compare them and show them).
enum : std::uint32_t {
    kErrorSuccess = 0,
    kErrorFileNotFound = 2,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorGenFailure = 31,
    kErrorInvalidParameter = 87,
    kErrorInsufficientBuffer = 122,
    kErrorAlreadyExists = 183,
    kErrorNoMoreItems = 259,
    kErrorIoPending = 997,
    kErrorDeviceNotConnected = 1167,
};

std::uint32_t lastError();
void setLastError(std::uint32_t error);
// The system's text for an error code (what FormatMessage gave).
std::string errorText(std::uint32_t error);

// A driver behind the layer. One object serves every handle opened on its device.
class Driver {
  public:
    virtual ~Driver() = default;
    // Called for each open; a driver may refuse with an error code (kErrorSuccess accepts).
    virtual std::uint32_t open() { return kErrorSuccess; }
    // One control code. On success `returned` holds the output bytes written; on failure the
    // result is a non-zero error code.
    virtual std::uint32_t control(std::uint32_t code, std::span<const std::byte> in,
                                  std::span<std::byte> out, std::size_t& returned) = 0;
};

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
    friend bool operator==(const Guid&, const Guid&) = default;
};

// Registration (the "installed drivers"). A driver may be registered under several names.
void registerDevice(std::string name, std::shared_ptr<Driver> driver);
void registerInterface(const Guid& interfaceClass, std::string path,
                       std::shared_ptr<Driver> driver);
// Removes every name and interface of the driver; open handles keep working until closed.
void unregisterDriver(const Driver* driver);

// A loader runs once, before the first open or enumeration of the process (the simulated devices
// chosen by environment install themselves this way).
using DriverLoader = void (*)();
void addDriverLoader(DriverLoader loader);

// Opening, closing and control (CreateFile, CloseHandle, DeviceIoControl).
Handle openDevice(std::string_view path);  // kInvalidHandle and lastError() on failure
bool closeHandle(Handle handle);
bool deviceIoControl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
                     void* out, std::uint32_t outSize, std::uint32_t* returned);

// Set-up enumeration of the present devices of one interface class (SetupDiGetClassDevs with
// DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, then SetupDiEnumDeviceInterfaces and
// SetupDiGetDeviceInterfaceDetail). The set is a snapshot taken at creation; its destructor is
// SetupDiDestroyDeviceInfoList.
inline constexpr std::uint32_t kDigcfPresent = 0x02;
inline constexpr std::uint32_t kDigcfDeviceInterface = 0x10;

struct InterfaceData {
    Guid interfaceClass;
    std::uint32_t index = 0;
};

class DeviceInfoSet {
  public:
    DeviceInfoSet(const Guid& interfaceClass, std::uint32_t flags);
    // False with lastError() kErrorNoMoreItems past the last interface.
    bool enumInterfaces(std::uint32_t index, InterfaceData& data) const;
    // Writes the NUL-terminated device path. With too small a buffer (or none) it fails with
    // kErrorInsufficientBuffer and sets `required`, as the size query of the set-up API does.
    bool interfaceDetail(const InterfaceData& data, char* path, std::uint32_t size,
                         std::uint32_t* required) const;

  private:
    Guid class_;
    std::vector<std::string> paths_;
};

}  // namespace orv::devio
