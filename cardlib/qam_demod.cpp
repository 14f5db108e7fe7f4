#include "cardlib/qam_demod.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <utility>

#include "cardlib/card_state.h"
#include "cardlib/pci_access.h"
#include "platform/clock.h"
#include "platform/devio/zelcard_interface.h"

namespace orv::zel {
namespace {

constexpr int kReadAttempts = 11;
constexpr int kTunerAttempts = 3;
constexpr int kTunerReads = 200;
constexpr std::uint32_t kIntermediateKHz = 36125;

// Per QAM index (16, 32, 64, 128, 256-QAM).
constexpr std::array<std::uint8_t, 5> kConstellationCode{0, 1, 4, 2, 3};  // register 0 bits 4-6
constexpr std::array<std::uint8_t, 5> kRegister75{0xE1, 0xF0, 0xF8, 0xFE, 0xFF};
constexpr std::array<std::uint8_t, 5> kRegister0Image{8, 24, 72, 40, 56};
constexpr std::array<std::uint8_t, 5> kRegister97Fast{0x48, 0x48, 0x29, 0x3A, 0x39};  // S >= 4500
constexpr std::array<std::uint8_t, 5> kRegister97Slow{0x49, 0x49, 0x4A, 0x4A, 0x39};

struct Run {
    std::uint8_t first;
    std::initializer_list<std::uint8_t> values;
};

// The demodulator's start-up image (registers not listed are 0).
const Run kStartImage[] = {
    {0, {72, 88}},
    {33, {64}},
    {36, {64, 8}},
    {48, {230, 145, 253, 68, 41, 143, 128, 112, 0}},
    {64, {26, 100, 49, 24, 255}},
    {73, {4, 81, 248}},
    {82, {48, 6}},
    {85, {106, 163, 139, 57, 6, 94, 5}},
    {96, {22, 73, 6}},
    {102, {191, 13, 248, 13, 3, 146}},
    {112, {255, 4}},
    {128, {32, 0, 39, 8, 2, 162, 8, 99}},
    {145, {4}},
    {160, {133, 34, 76}},
    {176, {145, 11}},
    {192, {75}},
    {208, {110, 1}},
    {212, {109, 1}},
    {223, {1}},
};

// Registers written from the shadow when the demodulator is re-initialised, in order; 102-105
// are written as 0 in between.
const std::pair<std::uint8_t, std::uint8_t> kReinitBefore[] = {
    {0, 1},   {3, 3},   {7, 8},   {32, 37}, {48, 56}, {64, 70},
    {73, 75}, {82, 83}, {89, 89}, {90, 91}, {96, 101}};
const std::pair<std::uint8_t, std::uint8_t> kReinitAfter[] = {
    {106, 106}, {107, 107}, {112, 116}, {128, 137}, {144, 145},
    {160, 162}, {176, 177}, {192, 194}, {208, 213}, {222, 223}};

// Sweep range per symbol rate class and QAM index; 0 stands for S / 20.
struct RangeRow {
    std::uint32_t minRate;
    std::array<int, 5> range;
};
constexpr RangeRow kRanges[] = {
    {6500, {1400, 700, 600, 550, 0}},
    {3500, {1200, 550, 600, 550, 0}},
    {1501, {600, 200, 500, 500, 230}},
    {0, {500, 200, 230, 270, 290}},
};

struct Budgets {
    int first, second, third;
};

std::uint8_t& shadow(std::uint8_t reg) {
    return state().shadow[reg];
}

void writeShadow(unsigned card, std::uint8_t reg) {
    i2cWrite(card, kDemodulatorAddress, reg, shadow(reg));
}

void setBits(unsigned card, std::uint8_t reg, std::uint8_t bits) {
    demodWrite(card, reg, shadow(reg) | bits);
}
void clearBits(unsigned card, std::uint8_t reg, std::uint8_t bits) {
    demodWrite(card, reg, shadow(reg) & ~bits);
}
void pulseBits(unsigned card, std::uint8_t reg, std::uint8_t bits) {
    setBits(card, reg, bits);
    clearBits(card, reg, bits);
}

// Writes the symbol rate registers; returns the read-back rate.
std::uint32_t programSymbolRate(unsigned card, std::uint32_t symbolRateK) {
    const std::uint32_t value = symbolRateValue(symbolRateK);
    for (int k = 0; k < 4; ++k)
        demodWrite(card, 85 + k, static_cast<std::uint8_t>(value >> (8 * k)));
    return readBackSymbolRate(value);
}

void reinitialise(unsigned card, std::uint32_t symbolRateK, std::uint32_t qamIndex) {
    demodWrite(card, 128, 1);
    demodWrite(card, 128, 0);
    demodWrite(card, 129, 1);
    demodWrite(card, 129, 0);
    shadow(0) = kRegister0Image[qamIndex];
    for (auto [first, last] : kReinitBefore) {
        for (int reg = first; reg <= last; ++reg)
            writeShadow(card, static_cast<std::uint8_t>(reg));
    }
    for (std::uint8_t reg = 102; reg <= 105; ++reg)
        i2cWrite(card, kDemodulatorAddress, reg, 0);
    for (auto [first, last] : kReinitAfter) {
        for (int reg = first; reg <= last; ++reg)
            writeShadow(card, static_cast<std::uint8_t>(reg));
    }
    programSymbolRate(card, symbolRateK);
}

void programTuner(unsigned card, std::uint32_t frequencyKHz) {
    demodWrite(card, 135, (shadow(135) & 0x8F) | 0x60);
    sleepMs(1);
    setBits(card, 134, 0x80);
    sleepMs(5);

    const std::uint32_t divider = (frequencyKHz + kIntermediateKHz) * 16 / 1000;
    const std::uint32_t band = frequencyKHz < 171000 ? 0x01 : frequencyKHz < 468000 ? 0x02 : 0x08;
    const std::uint32_t word =
        ((divider >> 8) & 0x7F) | (divider & 0xFF) << 8 | 0x8Eu << 16 | band << 24;
    int reads = 0;
    for (int attempt = 0; attempt < kTunerAttempts && reads < kTunerReads; ++attempt) {
        writeRegister(card, kRegI2cCommand, 0xC20000);
        writeRegister(card, kRegI2cData, word);
        writeRegister(card, kRegControl, kCmdI2cTransfer);
        sleepMs(3);
        std::uint32_t result = word;
        while (result == word && reads < kTunerReads) {
            ++reads;
            readRegister(card, kRegI2cData, result);
            if (result == word) sleepMs(1);
        }
        if (result == word) {
            writeRegister(card, kRegStatus, kStatusClear);
            break;
        }
        if (((result >> 8) & 0xF) == 0x1) break;
    }

    sleepMs(2);
    clearBits(card, 134, 0x80);
    sleepMs(5);
    demodWrite(card, 135, shadow(135) & 0x8F);
    sleepMs(5);
}

// Polls a status bit until it has been read set 20 times in a row or the counter passes the
// limit; true when the last read had it set.
bool awaitStableBit(unsigned card, int& counter, int budget, std::uint32_t waitMs,
                    std::uint8_t bit) {
    sleepMs(waitMs);
    counter += static_cast<int>(waitMs);
    const int limit = counter + budget;
    int streak = 0;
    bool set = false;
    while (counter <= limit && streak < 20) {
        sleepMs(waitMs);
        counter += 4;
        set = (demodRead(card, 130) & bit) != 0;
        streak = set ? streak + 1 : 0;
    }
    return set;
}

bool tryLock(unsigned card, std::uint32_t symbolRateK, std::uint32_t qamIndex, int range,
             int carrierOffset, int inversion, int symbolRateOffset) {
    const std::uint32_t s = symbolRateK == 0 ? 1 : symbolRateK;
    sleepMs(45000 / s);
    const Budgets budgets = s < 1500 ? Budgets{400, 300, 100} : Budgets{200, 200, 20};
    reinitialise(card, symbolRateK, qamIndex);

    setBits(card, 37, 0x80);
    const long long offsetValue =
        std::max(0LL, (static_cast<long long>(symbolRateOffset) + 7205) * 65536 / 28920);
    const auto offset = static_cast<std::uint32_t>(std::min(offsetValue, 0xFFFFLL));
    demodWrite(card, 32, static_cast<std::uint8_t>(offset >> 8));
    demodWrite(card, 33, static_cast<std::uint8_t>(offset & 0xFF));

    // Reset sequence.
    pulseBits(card, 67, 0x10);
    demodWrite(card, 65, 0);
    setBits(card, 66, 0x01);
    demodWrite(card, 54, shadow(54) & 0x80);
    setBits(card, 113, 0x80);
    demodWrite(card, 114, 0);
    demodWrite(card, 115, 0);
    demodWrite(card, 116, shadow(116) & 0x80);
    clearBits(card, 67, 0x08);
    clearBits(card, 113, 0x80);
    setBits(card, 90, 0x20);
    pulseBits(card, 91, 0x02);
    clearBits(card, 91, 0x01);
    setBits(card, 90, 0x40);
    clearBits(card, 106, 0x01);
    pulseBits(card, 129, 0x01);
    pulseBits(card, 131, 0x10);

    const std::uint8_t r0 = demodRead(card, 0);
    const std::uint8_t r1a = demodRead(card, 1);
    const std::uint8_t r1b = demodRead(card, 1);
    pulseBits(card, 132, 0x01);
    demodWrite(card, 0, r0);
    demodWrite(card, 1, (r1a & 0xF0) | (r1b & 0x0F));

    clearBits(card, 135, 0x10);
    for (std::uint8_t reg = 99; reg <= 104; ++reg)
        shadow(reg) = 0;
    shadow(105) &= 0xF0;
    for (std::uint8_t reg = 99; reg <= 105; ++reg)
        writeShadow(card, reg);

    demodWrite(card, 0, (demodRead(card, 0) & 0x8F) | kConstellationCode[qamIndex] << 4);
    const std::uint32_t readBack = programSymbolRate(card, symbolRateK);

    // Carrier search range, in units of the read-back rate, rounded half away from zero.
    const long long r16 = static_cast<std::int16_t>(range);
    long long v = readBack == 0 ? 0 : r16 * 262144 / static_cast<long long>(readBack) * 1024;
    v = (v + (v >= 0 ? 500000 : -500000)) / 1000000;
    demodWrite(card, 96, static_cast<std::uint8_t>(v & 0xFF));
    demodWrite(card, 105, (shadow(105) & 0x0F) | static_cast<std::uint8_t>(((v >> 8) & 0xF) << 4));

    const std::uint32_t carrier = static_cast<std::uint32_t>(carrierOffset * 26844) & 0x0FFFFFFF;
    demodWrite(card, 102, static_cast<std::uint8_t>(carrier));
    demodWrite(card, 103, static_cast<std::uint8_t>(carrier >> 8));
    demodWrite(card, 104, static_cast<std::uint8_t>(carrier >> 16));
    setBits(card, 105, static_cast<std::uint8_t>(carrier >> 24));

    demodWrite(card, 131, (shadow(131) & ~0x08) | (inversion ? 0x08 : 0));
    sleepMs(20);
    setBits(card, 136, 0x08);
    sleepMs(20);
    clearBits(card, 90, 0x20);
    sleepMs(20);
    setBits(card, 106, 0x01);
    setBits(card, 67, 0x40);
    setBits(card, 67, 0x10);

    // Lock stages; the elapsed counter grows by 4 per poll whatever the wait.
    int counter = 0;
    bool agc = false;
    while (!agc && counter <= 50) {
        sleepMs(4);
        counter += 4;
        agc = (demodRead(card, 67) & 0x08) != 0;
    }
    if (!agc) return false;
    if (!awaitStableBit(card, counter, budgets.first, 20, 0x04)) return false;
    if (!awaitStableBit(card, counter, budgets.second, 10, 0x08)) return false;
    const int limit = counter + budgets.third + 500;
    bool frame = false;
    while (!frame && counter <= limit) {
        sleepMs(10);
        counter += 4;
        frame = (demodRead(card, 223) & 0x80) != 0;
    }
    if (!frame) return false;

    clearBits(card, 136, 0x08);
    state().lastAcquisition = {slot(card).frequencyKHz, readBack, qamIndex};
    return true;
}

bool lockTest(unsigned card) {
    return (demodRead(card, 130) & 0x0F) == 0x0F && (demodRead(card, 223) & 0x80) != 0;
}

// One sweep step: inversion 0, and inversion 1 when that did not lock.
bool sweepStep(unsigned card, std::uint32_t s, std::uint32_t q, int range, int carrier,
               int offset) {
    tryLock(card, s, q, range, carrier, 0, offset);
    if (lockTest(card)) return true;
    return tryLock(card, s, q, range, carrier, 1, offset);
}

bool sweep(unsigned card, std::uint32_t s, std::uint32_t q, SweepRange r) {
    const int offset = static_cast<int>(s * 5 / 100);
    if (sweepStep(card, s, q, r.range, q == 3 ? -11000 : -130, 0)) return true;
    if (sweepStep(card, s, q, r.range, r.step * 110, -offset)) return true;
    return sweepStep(card, s, q, -r.range, -r.step * 110, offset);
}

bool acquire(unsigned card, std::uint32_t s, std::uint32_t q) {
    demodWrite(card, 55, 0x70);
    const std::uint8_t reg89 = (shadow(89) & 0xE0) | 6;
    if (q == 0) {
        demodWrite(card, 83, 4);
        demodWrite(card, 89, reg89);
        demodWrite(card, 55, 0x60);
    } else {
        demodWrite(card, 83, 6);
        demodWrite(card, 89, reg89);
        if (q == 4 && s < 1500) {
            demodWrite(card, 83, 4);
            demodWrite(card, 89, (shadow(89) & 0xE0) | 6);
        }
    }
    clearBits(card, 91, 0x30);
    demodWrite(card, 75, kRegister75[q]);
    const bool wide = (demodRead(card, 91) & 0x30) != 0;
    std::uint8_t nibble = 0;
    std::uint8_t reg1 = 0;
    if (!wide) {
        nibble = q == 2 ? 6 : 8;
        reg1 = q == 2 ? 0x5A : 0x58;
        if (q == 4 && s <= 1500) {
            nibble = 10;
            reg1 = 0x8A;
        }
    } else {
        nibble = q == 4 ? 10 : 9;
        reg1 = q == 4 ? 0x7A : 0x69;
    }
    demodWrite(card, 0, (shadow(0) & 0xF0) | nibble);
    demodWrite(card, 1, reg1);
    demodWrite(card, 97, s >= 4500 ? kRegister97Fast[q] : kRegister97Slow[q]);
    return sweep(card, s, q, sweepRange(s, q));
}

}  // namespace

SweepRange sweepRange(std::uint32_t symbolRateK, std::uint32_t qamIndex) {
    const std::uint32_t q = qamIndex % 5;
    for (const RangeRow& row : kRanges) {
        if (symbolRateK < row.minRate) continue;
        const int range = row.range[q] == 0 ? static_cast<int>(symbolRateK / 20) : row.range[q];
        const int step = (row.minRate == 0 && q == 4) ? -110 : -100;
        return {range, step};
    }
    return {0, -100};  // not reached: the last row takes every rate
}

std::uint32_t symbolRateValue(std::uint32_t symbolRateK) {
    // S / 28920 kHz x 2^32, that is S x 131072 / 7230 x 8192.
    return static_cast<std::uint32_t>(std::uint64_t{symbolRateK} * 131072 * 8192 / 7230);
}

std::uint32_t readBackSymbolRate(std::uint32_t value) {
    return (value / 4096) * 3615 / 131072;
}

void demodWrite(unsigned card, std::uint8_t reg, std::uint8_t value) {
    shadow(reg) = value;
    writeShadow(card, reg);
}

std::uint8_t demodRead(unsigned card, std::uint8_t reg) {
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        std::uint8_t value = 0;
        if (i2cRead(card, kDemodulatorAddress, reg, value) == 0) return value;
    }
    return 0;
}

bool demodLocked(unsigned card) {
    demodWrite(card, 130, 0);
    const std::uint8_t first = demodRead(card, 130);
    const std::uint8_t second = demodRead(card, 130);
    const std::uint8_t third = demodRead(card, 223);
    return (first & 0x04) && (second & 0x08) && (third & 0x80);
}

bool qamStartUp(unsigned card, std::uint32_t frequencyKHz, std::uint32_t symbolRateK,
                std::uint32_t qamIndex) {
    const std::uint32_t q = qamIndex % 5;
    state().shadow.fill(0);
    for (const Run& run : kStartImage) {
        std::uint8_t reg = run.first;
        for (std::uint8_t value : run.values)
            shadow(reg++) = value;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        demodWrite(card, 74, 81);
        demodWrite(card, 75, kRegister75[q]);
        std::uint8_t reg = 48;
        for (std::uint8_t value : {230, 145, 253, 68, 41, 143, 128, 96, 0})
            demodWrite(card, reg++, value);
        pulseBits(card, 128, 0x01);
        pulseBits(card, 129, 0x01);
        programTuner(card, frequencyKHz);
        reinitialise(card, symbolRateK, q);
        demodWrite(card, 67, 16);
        if (acquire(card, symbolRateK, q)) return true;
    }
    return false;
}

}  // namespace orv::zel
