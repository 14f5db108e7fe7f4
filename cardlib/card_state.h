// The library's state: the device kind, the ten card slots and the values shared by all cards.
// No locks: the program drives one card from one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/devio/devio.h"

namespace orv::zel {

inline constexpr unsigned kCardCount = 10;

enum class DeviceKind { PciCard = 0, UsbBox = 1 };

struct CardSlot {
    devio::Handle handle = 0;  // 0: closed (never opened, or the last open failed)
    bool receiving = false;
    bool transmitting = false;
    bool qamLocked = false;
    std::uint32_t inputSelect = 0;
    std::uint32_t portCode = 0;
    std::uint32_t rxBlockSize = 0;
    std::uint32_t txBlockSize = 0;
    std::uint32_t frequencyKHz = 0;
    std::uint32_t symbolRateK = 0;
    std::uint32_t qamIndex = 0;
};

// The USB read path's collection ring and parser state.
struct UsbStreamState {
    std::vector<std::uint8_t> ring;
    std::size_t ringRead = 0;
    std::size_t ringWrite = 0;
    std::size_t ringAvailable = 0;
    std::vector<std::uint8_t> staging;
    bool resyncPending = false;
    bool streaming = false;
    bool packetLenKnown = false;
    std::uint32_t packetLen = 188;
    double cachedRateMbps = 0;
    std::size_t parseOffset = 0;
    unsigned infoCount = 0;
    unsigned groupCount = 0;
    std::uint32_t totalBytes = 0;
};

struct LastAcquisition {
    std::uint32_t frequencyKHz = 0;
    std::uint32_t symbolRateK = 0;
    std::uint32_t qamIndex = 0;
};

struct LibraryState {
    DeviceKind deviceKind = DeviceKind::PciCard;
    std::array<CardSlot, kCardCount> cards{};
    std::uint32_t symbolRateK = 6875;   // used by the measurement conversions
    std::uint32_t modeCode = 7;         // ZelGetCurSelQamMode
    std::uint32_t measureModeCode = 7;  // the quality conversion's constellation
    std::uint32_t usbPacketLength = 188;
    std::uint32_t usbPlainStream = 0;
    LastAcquisition lastAcquisition;
    std::array<std::uint8_t, 256> shadow{};  // the demodulator's registers as last written
    UsbStreamState usb;
};

LibraryState& state();

// Closes every handle and returns the library to its load-time state (tests).
void resetLibraryState();

inline bool validCard(unsigned card) {
    return card < kCardCount;
}
// The card number is valid and the card holds an open handle.
bool isCardOpen(unsigned card);
inline CardSlot& slot(unsigned card) {
    return state().cards[card];
}
inline bool isBusy(unsigned card) {
    return slot(card).receiving || slot(card).transmitting;
}

}  // namespace orv::zel
