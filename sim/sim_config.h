// Configuration of a simulated capture device, as text:
//   pci:file=PATH,freq=474000,sr=6875,qam=64       (several devices separated by ';')
// Keys: file, card (PCI device number), freq (kHz), sr (ksymbol/s), qam (16..256), inv (0/1,
// spectral inversion of the channel), rate (bit/s, instead of the PCR-measured rate), speed
// (playback speed factor), xfer (USB bytes per bulk transfer), firstxfer (size of the first USB
// transfer), runs (USB groups before their information packets), garbage (bytes without framing
// before the USB stream), agc, quality, ber (PCI measurement registers), levela, levelb,
// qualitybyte (USB level and quality bytes).
// Faults: nolock, nosync, i2cstuck, busy, openfail, interrupt=SECONDS (after the first second of
// stream), lostframing=BLOCK, dropinfo=BLOCK, refuse=CODE (a control code, repeatable),
// refusereq=REQUEST (a USB vendor request, repeatable).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::sim {

enum class SimKind { Pci, Usb };

struct SimConfig {
    SimKind kind = SimKind::Pci;
    std::string file;
    std::vector<std::uint8_t> bytes;  // used instead of file when not empty (tests)
    unsigned card = 0;
    std::uint32_t frequencyKHz = 474000;
    std::uint32_t symbolRateK = 6875;
    unsigned qamIndex = 2;  // 0..4: 16..256-QAM
    bool inversion = false;
    std::optional<double> bitrate;
    double speed = 1.0;
    std::size_t transferBytes = 65536;
    std::size_t firstTransferBytes = 0;  // 0: like the others
    unsigned groupsPerRun = 1;
    std::size_t garbageBytes = 0;
    std::uint32_t agc = 300;
    std::uint32_t quality = 2500;
    std::uint32_t berCount = 12;
    std::uint8_t levelA = 150;
    std::uint8_t levelB = 0;
    std::uint8_t qualityByte = 20;

    bool noLock = false;
    bool noSync = false;
    bool i2cStuck = false;
    bool busy = false;
    bool openFails = false;
    std::uint32_t interruptSeconds = 0;
    std::int64_t lostFramingAfter = -1;
    std::int64_t dropInfoAfter = -1;
    std::vector<std::uint32_t> refusedCodes;
    std::vector<std::uint8_t> refusedRequests;
};

// Parses one or more devices; empty with a message in `error` when the text is not valid.
std::vector<SimConfig> parseSimConfig(std::string_view text, std::string* error = nullptr);

}  // namespace orv::sim
