#include "cardlib/pci_access.h"

#include <chrono>

#include "cardlib/card_state.h"
#include "platform/clock.h"
#include "platform/devio/zelcard_interface.h"

namespace orv::zel {
namespace {

constexpr int kCommandPolls = 100;
constexpr int kI2cReads = 200;
constexpr int kI2cWriteAttempts = 3;

// After the transfer command the card's I2C engine still has to clock the bytes out: a
// standard-mode bus takes about 0.3 ms for a register write (address, register, data) and about
// 0.4 ms for a read with its repeated start. The 200 polls of I2C_DATA take far less than that
// on the PCI bus, so polling at once would report a healthy transfer as never completing (and
// clear STATUS under it). Hence a short fixed wait before the first poll, the read's longer as
// its transfer is. On the platform clock, so tests run them on virtual time.
constexpr std::chrono::microseconds kI2cWriteWait{500};
constexpr std::chrono::microseconds kI2cReadWait{700};

bool acknowledged(std::uint32_t result) {
    return ((result >> 8) & 0xF) == 0x1;
}

// Reads I2C_DATA until it leaves the preset; false after `budget` reads in all.
bool awaitI2c(unsigned card, int& reads, std::uint32_t& result) {
    while (reads < kI2cReads) {
        ++reads;
        readRegister(card, kRegI2cData, result);
        if (result != kI2cDataPreset) return true;
    }
    return false;
}

}  // namespace

int readRegister(unsigned card, std::uint32_t offset, std::uint32_t& value) {
    if (!isCardOpen(card)) return 0;
    std::uint32_t returned = 0;
    std::uint32_t result = 0;
    if (!devio::deviceIoControl(slot(card).handle, kIoctlPciReadRegister, &offset, 4, &result, 4,
                                &returned) ||
        returned < 4) {
        value = 0;
        return 0;
    }
    value = result;
    return 1;
}

bool writeRegister(unsigned card, std::uint32_t offset, std::uint32_t value) {
    if (!isCardOpen(card)) return false;
    const std::uint32_t words[2] = {offset, value};
    std::uint32_t returned = 0;
    return devio::deviceIoControl(slot(card).handle, kIoctlPciWriteRegister, words, 8, nullptr, 0,
                                  &returned);
}

bool runCommand(unsigned card, std::uint32_t command) {
    writeRegister(card, kRegControl, command);
    sleepMs(1);
    std::uint32_t status = 0;
    readRegister(card, kRegStatus, status);
    for (int polls = 0; status != kStatusIdle; ++polls) {
        if (polls == kCommandPolls) return false;
        sleepMs(1);
        readRegister(card, kRegStatus, status);
    }
    return true;
}

int i2cWrite(unsigned card, std::uint8_t address, std::uint8_t reg, std::uint8_t data) {
    int reads = 0;
    std::uint32_t result = 0;
    for (int attempt = 0; attempt < kI2cWriteAttempts; ++attempt) {
        writeRegister(card, kRegI2cCommand,
                      std::uint32_t(address & 0xFE) << 16 | std::uint32_t(reg) << 8 | data);
        writeRegister(card, kRegI2cData, kI2cDataPreset);
        writeRegister(card, kRegControl, kCmdI2cTransfer);
        sleepFor(kI2cWriteWait);
        if (!awaitI2c(card, reads, result)) {
            writeRegister(card, kRegStatus, kStatusClear);
            return -1;
        }
        if (acknowledged(result)) return 0;
    }
    return static_cast<int>((result >> 8) & 0xFF);
}

int i2cRead(unsigned card, std::uint8_t address, std::uint8_t reg, std::uint8_t& value) {
    writeRegister(card, kRegI2cCommand, std::uint32_t(address | 1) << 16 | std::uint32_t(reg) << 8);
    writeRegister(card, kRegI2cData, kI2cDataPreset);
    writeRegister(card, kRegControl, kCmdI2cTransfer);
    sleepFor(kI2cReadWait);
    int reads = 0;
    std::uint32_t result = 0;
    if (!awaitI2c(card, reads, result)) return -1;
    if (!acknowledged(result)) return static_cast<int>((result >> 8) & 0xFF);
    value = static_cast<std::uint8_t>(result & 0xFF);
    return 0;
}

}  // namespace orv::zel
