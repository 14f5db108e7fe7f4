#include "sim/sim_config.h"

#include <charconv>
#include <cstdlib>
#include <functional>
#include <map>

namespace orv::sim {
namespace {

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> real(std::string_view text) {
    std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (copy.empty() || end != copy.c_str() + copy.size() || !(value > 0)) return std::nullopt;
    return value;
}

std::optional<unsigned> qamIndexOf(std::uint64_t constellation) {
    static const std::map<std::uint64_t, unsigned> kIndex{
        {16, 0}, {32, 1}, {64, 2}, {128, 3}, {256, 4}};
    auto it = kIndex.find(constellation);
    if (it == kIndex.end()) return std::nullopt;
    return it->second;
}

// Applies one key; false when the key or its value is not valid.
bool apply(SimConfig& c, std::string_view key, std::string_view value, bool hasValue) {
    using Flag = bool SimConfig::*;
    static const std::map<std::string_view, Flag> kFlags{{"nolock", &SimConfig::noLock},
                                                         {"nosync", &SimConfig::noSync},
                                                         {"i2cstuck", &SimConfig::i2cStuck},
                                                         {"busy", &SimConfig::busy},
                                                         {"openfail", &SimConfig::openFails}};
    if (auto it = kFlags.find(key); it != kFlags.end()) {
        c.*(it->second) = true;
        return !hasValue;
    }
    if (key == "file") {
        c.file = std::string(value);
        return !value.empty();
    }
    if (key == "rate" || key == "speed") {
        auto v = real(value);
        if (!v) return false;
        if (key == "rate") {
            c.bitrate = *v;
        } else {
            c.speed = *v;
        }
        return true;
    }
    auto n = number(value);
    if (!n) return false;
    if (key == "qam") {
        auto index = qamIndexOf(*n);
        if (index) c.qamIndex = *index;
        return index.has_value();
    }
    const std::map<std::string_view, std::function<bool(std::uint64_t)>> kNumbers{
        {"card", [&](auto v) { return v <= 9 && (c.card = unsigned(v), true); }},
        {"freq", [&](auto v) { return (c.frequencyKHz = std::uint32_t(v)) > 0; }},
        {"sr", [&](auto v) { return (c.symbolRateK = std::uint32_t(v)) > 0; }},
        {"inv", [&](auto v) { return v <= 1 && (c.inversion = v == 1, true); }},
        {"xfer", [&](auto v) { return (c.transferBytes = v) > 0; }},
        {"firstxfer", [&](auto v) { return (c.firstTransferBytes = v) > 0; }},
        {"runs", [&](auto v) { return v >= 1 && v <= 5 && (c.groupsPerRun = unsigned(v), true); }},
        {"garbage", [&](auto v) { return (c.garbageBytes = v, true); }},
        {"agc", [&](auto v) { return v <= 0x3FF && (c.agc = std::uint32_t(v), true); }},
        {"quality", [&](auto v) { return v <= 0xFFFF && (c.quality = std::uint32_t(v), true); }},
        {"ber", [&](auto v) { return v <= 0xFFFF && (c.berCount = std::uint32_t(v), true); }},
        {"levela", [&](auto v) { return v <= 255 && (c.levelA = std::uint8_t(v), true); }},
        {"levelb", [&](auto v) { return v <= 255 && (c.levelB = std::uint8_t(v), true); }},
        {"qualitybyte",
         [&](auto v) { return v <= 255 && (c.qualityByte = std::uint8_t(v), true); }},
        {"interrupt", [&](auto v) { return (c.interruptSeconds = std::uint32_t(v), true); }},
        {"lostframing", [&](auto v) { return (c.lostFramingAfter = std::int64_t(v), true); }},
        {"dropinfo", [&](auto v) { return (c.dropInfoAfter = std::int64_t(v), true); }},
        {"refuse", [&](auto v) { return (c.refusedCodes.push_back(std::uint32_t(v)), true); }},
        {"refusereq",
         [&](auto v) { return v <= 255 && (c.refusedRequests.push_back(std::uint8_t(v)), true); }},
    };
    auto it = kNumbers.find(key);
    return it != kNumbers.end() && it->second(*n);
}

}  // namespace

std::vector<SimConfig> parseSimConfig(std::string_view text, std::string* error) {
    std::vector<SimConfig> devices;
    auto fail = [&](std::string message) {
        if (error) *error = std::move(message);
        return std::vector<SimConfig>{};
    };
    while (!text.empty()) {
        const std::size_t end = text.find(';');
        std::string_view device = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (device.empty()) continue;
        SimConfig config;
        const std::size_t colon = device.find(':');
        const std::string_view kind = device.substr(0, colon);
        if (kind == "pci") {
            config.kind = SimKind::Pci;
        } else if (kind == "usb") {
            config.kind = SimKind::Usb;
        } else {
            return fail("unknown device kind '" + std::string(kind) + "' (pci or usb)");
        }
        std::string_view options =
            colon == std::string_view::npos ? std::string_view{} : device.substr(colon + 1);
        while (!options.empty()) {
            const std::size_t comma = options.find(',');
            std::string_view option = options.substr(0, comma);
            options =
                comma == std::string_view::npos ? std::string_view{} : options.substr(comma + 1);
            if (option.empty()) continue;
            const std::size_t eq = option.find('=');
            const std::string_view key = option.substr(0, eq);
            const std::string_view value =
                eq == std::string_view::npos ? std::string_view{} : option.substr(eq + 1);
            if (!apply(config, key, value, eq != std::string_view::npos)) {
                return fail("bad option '" + std::string(option) + "'");
            }
        }
        if (config.file.empty()) return fail("a simulated device needs file=PATH");
        devices.push_back(std::move(config));
    }
    return devices;
}

}  // namespace orv::sim
