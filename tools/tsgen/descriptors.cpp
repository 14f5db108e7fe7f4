#include "tools/tsgen/descriptors.h"

#include <stdexcept>

#include "tools/tsgen/dvb_time.h"

namespace tsgen {
namespace {

constexpr uint8_t kTagCa = 0x09;
constexpr uint8_t kTagIso639 = 0x0A;
constexpr uint8_t kTagNetworkName = 0x40;
constexpr uint8_t kTagServiceList = 0x41;
constexpr uint8_t kTagService = 0x48;
constexpr uint8_t kTagShortEvent = 0x4D;
constexpr uint8_t kTagLocalTimeOffset = 0x58;

void writeLanguage(ByteWriter& w, std::string_view language3) {
    if (language3.size() != 3) throw std::invalid_argument("language code must be 3 bytes");
    w.text(language3);
}

unsigned bcdMinutes(uint16_t minutes) {
    const unsigned h = minutes / 60, m = minutes % 60;
    return ((h / 10) << 12) | ((h % 10) << 8) | ((m / 10) << 4) | (m % 10);
}

}  // namespace

void writeDescriptors(ByteWriter& w, const Descriptors& list) {
    for (const Descriptor& d : list) {
        if (d.body.size() > 255) throw std::length_error("descriptor body longer than 255 bytes");
        w.u8(d.tag);
        w.u8(static_cast<unsigned>(d.body.size()));
        w.bytes(d.body);
    }
}

void writeDescriptorLoop(ByteWriter& w, const Descriptors& list) {
    const std::size_t pos = w.reserveLength12(0xF);
    writeDescriptors(w, list);
    w.closeLength12(pos);
}

Descriptor caDescriptor(uint16_t caSystemId, uint16_t caPid, std::vector<uint8_t> privateData) {
    Descriptor d{kTagCa, {}};
    ByteWriter w(d.body);
    w.u16(caSystemId);
    w.u16(0xE000 | (caPid & 0x1FFF));
    w.bytes(privateData);
    return d;
}

Descriptor iso639LanguageDescriptor(std::string_view language3, uint8_t audioType) {
    Descriptor d{kTagIso639, {}};
    ByteWriter w(d.body);
    writeLanguage(w, language3);
    w.u8(audioType);
    return d;
}

Descriptor networkNameDescriptor(std::string_view name) {
    Descriptor d{kTagNetworkName, {}};
    ByteWriter(d.body).text(name);
    return d;
}

Descriptor serviceDescriptor(uint8_t serviceType, std::string_view provider,
                             std::string_view name) {
    Descriptor d{kTagService, {}};
    ByteWriter w(d.body);
    w.u8(serviceType);
    w.lengthText(provider);
    w.lengthText(name);
    return d;
}

Descriptor shortEventDescriptor(std::string_view language3, std::string_view eventName,
                                std::string_view text) {
    Descriptor d{kTagShortEvent, {}};
    ByteWriter w(d.body);
    writeLanguage(w, language3);
    w.lengthText(eventName);
    w.lengthText(text);
    return d;
}

Descriptor serviceListDescriptor(const std::vector<ServiceListEntry>& services) {
    Descriptor d{kTagServiceList, {}};
    ByteWriter w(d.body);
    for (const ServiceListEntry& s : services) {
        w.u16(s.serviceId);
        w.u8(s.serviceType);
    }
    return d;
}

Descriptor localTimeOffsetDescriptor(const std::vector<LocalTimeOffset>& entries) {
    Descriptor d{kTagLocalTimeOffset, {}};
    ByteWriter w(d.body);
    for (const LocalTimeOffset& e : entries) {
        w.bytes(reinterpret_cast<const uint8_t*>(e.country), 3);
        w.u8(((e.regionId & 0x3F) << 2) | 0x02 | (e.negative ? 1 : 0));
        w.u16(bcdMinutes(e.offsetMinutes));
        writeUtcTime(w, e.timeOfChange);
        w.u16(bcdMinutes(e.nextOffsetMinutes));
    }
    return d;
}

}  // namespace tsgen
