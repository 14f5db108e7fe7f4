#include "sim/pci_card.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "platform/clock.h"
#include "platform/devio/zelcard_interface.h"

namespace orv::sim {

using namespace orv::zel;

// The memory shared with the library, each piece registered under a token.
struct PciCard::Rings {
    struct Ring {
        std::uint32_t entryCount = 0;
        std::vector<std::shared_ptr<std::uint8_t[]>> entries;
        std::shared_ptr<std::uint32_t[]> table;     // entry tokens
        std::shared_ptr<std::uint64_t[]> counters;  // [0] read, [1] write
        std::vector<devio::SharedMemory> shares;    // everything registered, released with us
        devio::MemoryToken tableToken = 0;
        devio::MemoryToken readToken = 0;
        devio::MemoryToken writeToken = 0;

        explicit Ring(std::uint32_t count) : entryCount(count) {
            table = std::make_shared<std::uint32_t[]>(std::max<std::uint32_t>(count, 1));
            for (std::uint32_t i = 0; i < count; ++i) {
                entries.push_back(std::make_shared<std::uint8_t[]>(kMaxEntryBytes));
                table[i] = share(entries.back(), kMaxEntryBytes);
            }
            tableToken = share(table, std::size_t{count} * 4);
            counters = std::make_shared<std::uint64_t[]>(2);
            // Two tokens into one block: the read count and the write count.
            readToken = share(counters, 8);
            writeToken = share(std::shared_ptr<void>(counters, counters.get() + 1), 8);
        }
        devio::MemoryToken share(std::shared_ptr<void> block, std::size_t size) {
            return shares.emplace_back(std::move(block), size).token();
        }
        std::atomic_ref<std::uint64_t> readCount() { return std::atomic_ref(counters[0]); }
        std::atomic_ref<std::uint64_t> writeCount() { return std::atomic_ref(counters[1]); }
    };

    Ring rx;
    Ring tx;
    std::shared_ptr<std::uint32_t[]> bitRates;
    devio::MemoryToken bitRatesToken = 0;

    Rings(std::uint32_t rxCount, std::uint32_t txCount) : rx(rxCount), tx(txCount) {
        bitRates = std::make_shared<std::uint32_t[]>(std::max<std::uint32_t>(rxCount, 1));
        bitRatesToken = rx.share(bitRates, std::size_t{rxCount} * 4);
    }
};

PciCard::PciCard(SimConfig config)
    : config_(std::move(config)),
      source_(config_.bytes.empty() ? TsSource(config_.file, config_.bitrate)
                                    : TsSource(config_.bytes, config_.bitrate)),
      demodulator_(config_),
      scratch_(source_.blockBytes()) {
    registers_[kRegStatus] = kStatusIdle;
    registers_[kRegI2cData] = kI2cDataPreset;
}

PciCard::~PciCard() {
    stop();
}

void PciCard::stop() {
    playback_.stop();
}

std::uint32_t PciCard::open() {
    return config_.openFails ? devio::kErrorAccessDenied : devio::kErrorSuccess;
}

std::uint32_t PciCard::timingValue() const {
    // 27 MHz ticks over ten blocks, minus one (the RATE_COUNT measure).
    const double ticks = source_.blockBytes() * 10.0 * 8.0 * 27'000'000.0 / source_.bitrate();
    return static_cast<std::uint32_t>(std::lround(ticks)) - 1;
}

std::uint32_t PciCard::control(std::uint32_t code, std::span<const std::byte> in,
                               std::span<std::byte> out, std::size_t& returned) {
    if (std::find(config_.refusedCodes.begin(), config_.refusedCodes.end(), code) !=
        config_.refusedCodes.end()) {
        return devio::kErrorGenFailure;
    }
    switch (code) {
        case kIoctlPciReadRegister: {
            if (in.size() < 4 || out.size() < 4) return devio::kErrorInvalidParameter;
            std::uint32_t offset = 0;
            std::memcpy(&offset, in.data(), 4);
            std::lock_guard lock(mutex_);
            ++reads_[offset];
            if (offset == kRegI2cData) settleI2c();
            const std::uint32_t value = readRegister(offset);
            std::memcpy(out.data(), &value, 4);
            returned = 4;
            return devio::kErrorSuccess;
        }
        case kIoctlPciWriteRegister: {
            if (in.size() < 8) return devio::kErrorInvalidParameter;
            std::uint32_t words[2];
            std::memcpy(words, in.data(), 8);
            std::lock_guard lock(mutex_);
            writeRegister(words[0], words[1]);
            return devio::kErrorSuccess;
        }
        case kIoctlPciFifoSetup:
            return fifoSetup(in, out, returned);
        case kIoctlPciEventSetup:
            return eventSetup(in, out, returned);
        default:
            return devio::kErrorInvalidParameter;
    }
}

bool PciCard::signalPresent() const {
    if (config_.noSync) return false;
    const bool cable = (registers_.count(kRegMode) ? registers_.at(kRegMode) & 3 : 0) == 1;
    return !cable || demodulator_.locked();
}

std::uint32_t PciCard::readRegister(std::uint32_t offset) const {
    auto stored = [&](std::uint32_t at) {
        auto it = registers_.find(at);
        return it == registers_.end() ? 0u : it->second;
    };
    switch (offset) {
        case kRegInputFormat:
            if (!signalPresent()) return 0;
            return 0x10000u | (source_.packetLength() == 188 ? 1u : 0u);
        case kRegRateCount:
            return signalPresent() ? timingValue() : 0;
        case kRegQamLevel:
            return demodulator_.locked() ? (config_.agc << 16) | config_.quality : stored(offset);
        case kRegQamBer:
            return demodulator_.locked() ? config_.berCount : stored(offset);
        default:
            return stored(offset);
    }
}

void PciCard::writeRegister(std::uint32_t offset, std::uint32_t value) {
    switch (offset) {
        case kRegControl:
            registers_[offset] = value;
            runCommand(value);
            return;
        case kRegStatus:
            // Writing the clear pattern leaves the card idle with no command pending.
            if (value == kStatusClear) {
                ++statusClears_;
                registers_[offset] = config_.busy ? 0u : std::uint32_t{kStatusIdle};
            }
            return;
        case kRegReset:
            ++resetWrites_;
            registers_[offset] = value;
            return;
        default:
            registers_[offset] = value;
    }
}

void PciCard::runCommand(std::uint32_t command) {
    registers_[kRegStatus] = config_.busy ? 0u : std::uint32_t{kStatusIdle};
    switch (command) {
        case kCmdI2cTransfer:
            runI2c();
            return;
        case kCmdStartReceive:
        case kCmdStartTransmit: {
            if (config_.busy || !rings_) return;
            if (command == kCmdStartReceive) {
                receiving_ = true;
                blocksPlayed_ = 0;
            } else {
                transmitting_ = true;
            }
            // The playback clock runs from the first start until the rings change.
            if (!playback_.running()) {
                const double seconds =
                    source_.blockBytes() * 8.0 / source_.bitrate() / config_.speed;
                playback_.start(std::chrono::nanoseconds(std::llround(seconds * 1e9)),
                                [this] { tick(); });
            }
            return;
        }
        case kCmdStop:
            receiving_ = false;
            transmitting_ = false;
            return;
        default:
            return;
    }
}

namespace {

// Bus time of a transfer on a standard-mode (100 kHz) bus: nine clocks a byte, plus the start,
// repeated start and stop conditions.
constexpr std::chrono::microseconds busTime(unsigned bytes, unsigned conditions) {
    return std::chrono::microseconds((bytes * 9 + conditions) * 10);
}

}  // namespace

void PciCard::runI2c() {
    if (config_.i2cStuck) return;  // the data word never changes
    const std::uint32_t command = registers_[kRegI2cCommand];
    const std::uint8_t address = (command >> 16) & 0xFF;
    const std::uint8_t reg = (command >> 8) & 0xFF;
    constexpr std::uint32_t kAck = 0x100;
    constexpr std::uint32_t kNack = 0x200;
    std::chrono::microseconds duration = busTime(3, 2);  // address, register, data
    if (address == kTunerAddress) {
        // The result keeps bit 31 set so it always differs from the word written.
        i2cResult_ = 0x80000000u | (demodulator_.tune(registers_[kRegI2cData]) ? kAck : kNack);
        duration = busTime(5, 2);  // address and the four-byte word
    } else if (address == kDemodulatorAddress) {
        demodulator_.write(reg, command & 0xFF);
        i2cResult_ = kAck | (command & 0xFF);
    } else if (address == (kDemodulatorAddress | 1)) {
        i2cResult_ = kAck | demodulator_.read(reg);
        duration = busTime(4, 3);  // address and register, then address and data
    } else {
        i2cResult_ = kNack;  // nobody acknowledges the address
        duration = busTime(1, 2);
    }
    i2cBusy_ = true;
    i2cDoneAt_ = monotonicNow() + duration;
}

void PciCard::settleI2c() {
    if (!i2cBusy_ || monotonicNow() < i2cDoneAt_) return;
    registers_[kRegI2cData] = i2cResult_;
    i2cBusy_ = false;
}

std::uint32_t PciCard::fifoSetup(std::span<const std::byte> in, std::span<std::byte> out,
                                 std::size_t& returned) {
    if (in.size() < 16 || out.size() < sizeof(PciFifoSetupOutput)) {
        return devio::kErrorInvalidParameter;
    }
    std::uint32_t args[4];
    std::memcpy(args, in.data(), 16);
    constexpr std::uint32_t kMaxEntries = 4096;
    if (args[0] > kMaxEntries || args[1] > kMaxEntries) return devio::kErrorNotEnoughMemory;
    playback_.stop();
    std::lock_guard lock(mutex_);
    receiving_ = transmitting_ = false;
    rings_ = std::make_unique<Rings>(args[0], args[1]);
    PciFifoSetupOutput result{};
    result.rxEntries = rings_->rx.tableToken;
    result.txEntries = rings_->tx.tableToken;
    result.rxReadCounter = rings_->rx.readToken;
    result.rxWriteCounter = rings_->rx.writeToken;
    result.txReadCounter = rings_->tx.readToken;
    result.txWriteCounter = rings_->tx.writeToken;
    result.bitRates = rings_->bitRatesToken;
    result.rxAccepted = 1;
    result.txAccepted = 1;
    std::memcpy(out.data(), &result, sizeof result);
    returned = sizeof result;
    return devio::kErrorSuccess;
}

std::uint32_t PciCard::eventSetup(std::span<const std::byte> in, std::span<std::byte> out,
                                  std::size_t& returned) {
    if (in.size() < 24 || out.size() < 6) return devio::kErrorInvalidParameter;
    devio::Handle handles[6];
    std::memcpy(handles, in.data(), 24);
    std::lock_guard lock(mutex_);
    // The first handle of the order is the receive-data event; the card keeps that one.
    dataEvent_ = devio::eventFromHandle(handles[0]);
    for (int k = 0; k < 6; ++k) {
        out[k] = std::byte{devio::eventFromHandle(handles[k]) ? std::uint8_t{1} : std::uint8_t{0}};
    }
    returned = 6;
    return devio::kErrorSuccess;
}

void PciCard::tick() {
    std::shared_ptr<devio::Event> signal;
    {
        std::lock_guard lock(mutex_);
        if (!rings_) return;
        if (transmitting_) {
            auto& tx = rings_->tx;
            const std::uint64_t read = tx.readCount().load(std::memory_order_acquire);
            if (tx.writeCount().load(std::memory_order_acquire) > read) {
                tx.readCount().store(read + 1, std::memory_order_release);
                ++transmitted_;
            }
        }
        if (!receiving_) return;
        const double blockSeconds = source_.blockBytes() * 8.0 / source_.bitrate();
        const double streamSeconds = static_cast<double>(blocksPlayed_++) * blockSeconds;
        if (config_.interruptSeconds > 0 && streamSeconds >= 1.0 &&
            streamSeconds < 1.0 + config_.interruptSeconds) {
            return;
        }
        if (!signalPresent()) return;
        auto& rx = rings_->rx;
        const std::uint64_t write = rx.writeCount().load(std::memory_order_relaxed);
        if (rx.entryCount == 0 ||
            write - rx.readCount().load(std::memory_order_acquire) >= rx.entryCount) {
            source_.nextBlock(scratch_);  // the card loses what it cannot store
            ++overflows_;
            return;
        }
        const std::size_t i = write % rx.entryCount;
        // MODE bit 2: the plain stream, unsynchronised, in entries of 8160 bytes.
        if (registers_.count(kRegMode) && (registers_.at(kRegMode) & 4) != 0) {
            source_.nextBytes({rx.entries[i].get(), kMaxEntryBytes});
        } else {
            source_.nextBlock({rx.entries[i].get(), source_.blockBytes()});
        }
        rings_->bitRates[i] = timingValue();
        rx.writeCount().store(write + 1, std::memory_order_release);
        signal = dataEvent_;
    }
    if (signal) signal->set();
}

unsigned PciCard::tunerWrites() const {
    std::lock_guard lock(mutex_);
    return demodulator_.tunerWrites();
}

unsigned PciCard::demodulatorWritesExcept(std::uint8_t reg) const {
    std::lock_guard lock(mutex_);
    return demodulator_.writesExcept(reg);
}

unsigned PciCard::resetWrites() const {
    std::lock_guard lock(mutex_);
    return resetWrites_;
}

bool PciCard::demodulatorLocked() const {
    std::lock_guard lock(mutex_);
    return demodulator_.locked();
}

std::uint32_t PciCard::registerValue(std::uint32_t offset) const {
    std::lock_guard lock(mutex_);
    return readRegister(offset);
}

}  // namespace orv::sim

namespace orv::sim {

unsigned PciCard::registerReads(std::uint32_t offset) const {
    std::lock_guard lock(mutex_);
    auto it = reads_.find(offset);
    return it == reads_.end() ? 0 : it->second;
}

unsigned PciCard::statusClears() const {
    std::lock_guard lock(mutex_);
    return statusClears_;
}

}  // namespace orv::sim
