// What the two capture drivers and the card library agree on: device names, the USB interface
// class, the control codes, the PCI registers and the byte layouts of the request blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/devio/devio.h"

namespace orv::zel {

// The PCI card's device name is this prefix followed by the card number in decimal.
inline constexpr const char* kPciDevicePrefix = "\\\\.\\ZelcardDevice";
// The USB box's device-interface class {A1155B78-A32C-11D1-9AED-00A0C98BA608}.
inline constexpr devio::Guid kUsbInterfaceClass{
    0xA1155B78, 0xA32C, 0x11D1, {0x9A, 0xED, 0x00, 0xA0, 0xC9, 0x8B, 0xA6, 0x08}};

// Control codes (device type 0x22, buffered, any access).
enum : std::uint32_t {
    kIoctlPciFifoSetup = 0x222000,
    kIoctlPciEventSetup = 0x222004,
    kIoctlPciReadRegister = 0x222008,
    kIoctlPciWriteRegister = 0x22200C,
    kIoctlUsbStreamEnable = 0x220008,
    kIoctlUsbStreamStop = 0x22000C,
    kIoctlUsbPipeStart = 0x220010,
    kIoctlUsbEventName = 0x220014,
    kIoctlUsbVendorRequest = 0x22001C,
    kIoctlUsbStreamRead = 0x220020,
};

// PCI registers by byte offset.
enum : std::uint32_t {
    kRegRxBlockSize = 0x4B8,
    kRegMeasureLatch = 0x4C0,
    kRegReset = 0x4E0,
    kRegControl = 0x4E8,
    kRegStatus = 0x4F4,
    kRegI2cCommand = 0x5FE0,
    kRegI2cData = 0x5FE4,
    kRegMode = 0x5FE8,
    kRegRateWord = 0x5FEC,
    kRegInputFormat = 0x7FE0,
    kRegRateCount = 0x7FE8,
    kRegQamLevel = 0x7FEC,
    kRegQamBer = 0x7FF0,
};

// CONTROL commands and STATUS values.
enum : std::uint32_t {
    kCmdApplyMode = 0x1000001,
    kCmdI2cTransfer = 0x1000002,
    kCmdStartReceive = 0x1000100,
    kCmdStartTransmit = 0x1000200,
    kCmdStop = 0x1008000,
    kStatusClear = 0x8FFFF,
    kStatusIdle = 0x80000,
    kI2cDataPreset = 0xFFFFFEFF,
};

inline constexpr std::uint8_t kDemodulatorAddress = 0x38;
inline constexpr std::uint8_t kTunerAddress = 0xC2;

// USB vendor request codes.
enum : std::uint8_t {
    kVendorInputSelect = 0,
    kVendorSyncStatus = 1,
    kVendorQamParameters = 3,
    kVendorChannelStatus = 4,
    kVendorConstellation = 6,
    kVendorStartCode = 9,
};

inline constexpr std::size_t kVendorOutputSize = 256;
inline constexpr std::size_t kUsbTransferSize = 2 * 1024 * 1024;

#pragma pack(push, 1)
// Input block of kIoctlUsbVendorRequest.
struct VendorRequest {
    std::uint8_t request;
    std::uint8_t unused;
    std::uint16_t value;     // always 0
    std::uint16_t index;     // always 0
    std::uint16_t length;    // bytes of the data stage
    std::uint8_t direction;  // 0 host to device (data below), 1 device to host
    std::uint8_t data[257];
};
#pragma pack(pop)
static_assert(sizeof(VendorRequest) == 266);
static_assert(offsetof(VendorRequest, value) == 2);
static_assert(offsetof(VendorRequest, length) == 6);
static_assert(offsetof(VendorRequest, direction) == 8);
static_assert(offsetof(VendorRequest, data) == 9);

// Input block of the USB stream start and read codes: 0, 1024, N, 32, 2.
struct StreamRequest {
    std::uint32_t words[5];
};
static_assert(sizeof(StreamRequest) == 20);
inline constexpr std::uint32_t kStreamStartN = 8192;
inline constexpr std::uint32_t kStreamReadN = 2048;
constexpr StreamRequest makeStreamRequest(std::uint32_t n) {
    return {{0, 1024, n, 32, 2}};
}

// Output of kIoctlPciFifoSetup: seven memory tokens, then two acceptance bytes.
struct PciFifoSetupOutput {
    std::uint32_t rxEntries;       // token of the receive entry table (entryCount tokens)
    std::uint32_t txEntries;       // token of the transmit entry table
    std::uint32_t rxReadCounter;   // token of a 64-bit count
    std::uint32_t rxWriteCounter;  // token of a 64-bit count
    std::uint32_t txReadCounter;
    std::uint32_t txWriteCounter;
    std::uint32_t bitRates;  // token of entryCount 32-bit timing values
    std::uint8_t rxAccepted;
    std::uint8_t txAccepted;
    std::uint8_t reserved[2];
};
static_assert(sizeof(PciFifoSetupOutput) == 32);
static_assert(offsetof(PciFifoSetupOutput, rxAccepted) == 28);

// The most bytes one receive or transmit entry holds (40 packets of 204 bytes).
inline constexpr std::size_t kMaxEntryBytes = 8160;

}  // namespace orv::zel
