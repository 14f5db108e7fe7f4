// Register, command and I2C access of the PCI card.
#pragma once

#include <cstdint>

namespace orv::zel {

// 1 on success; 0 on failure, with value 0 (untouched when the card is not open).
int readRegister(unsigned card, std::uint32_t offset, std::uint32_t& value);
bool writeRegister(unsigned card, std::uint32_t offset, std::uint32_t value);
// Writes a command to CONTROL and polls STATUS every millisecond for the idle value; false when
// the card is still busy after 100 polls.
bool runCommand(unsigned card, std::uint32_t command);

// A byte to a device register over the card's I2C engine, up to three attempts, each waiting
// the bus time of a transfer before polling: 0 acknowledged, -1 no completion within 200 reads
// (STATUS is then cleared), otherwise bits 8-15 of the last result.
int i2cWrite(unsigned card, std::uint8_t address, std::uint8_t reg, std::uint8_t data);
// One read: 0 with the contents in value, -1 without completion, otherwise bits 8-15.
int i2cRead(unsigned card, std::uint8_t address, std::uint8_t reg, std::uint8_t& value);

}  // namespace orv::zel
