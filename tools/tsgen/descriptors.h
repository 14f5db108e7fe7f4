// Descriptors for the section builders: any descriptor as raw (tag, body), plus makers for the
// ones the presets use. Text fields are written byte for byte as given (the caller chooses the
// DVB character table, e.g. a leading 0x13 for GB2312; plain ASCII needs no prefix).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/tsgen/byte_writer.h"

namespace tsgen {

struct Descriptor {
    uint8_t tag = 0;
    std::vector<uint8_t> body;  // at most 255 bytes
};

using Descriptors = std::vector<Descriptor>;

// Writes tag, length and body of each descriptor in order.
void writeDescriptors(ByteWriter& w, const Descriptors& list);

// Writes a descriptor loop preceded by its 4 reserved bits (all ones) and 12-bit length.
void writeDescriptorLoop(ByteWriter& w, const Descriptors& list);

Descriptor caDescriptor(uint16_t caSystemId, uint16_t caPid, std::vector<uint8_t> privateData = {});
Descriptor iso639LanguageDescriptor(std::string_view language3, uint8_t audioType = 0);
Descriptor networkNameDescriptor(std::string_view name);
Descriptor serviceDescriptor(uint8_t serviceType, std::string_view provider, std::string_view name);
Descriptor shortEventDescriptor(std::string_view language3, std::string_view eventName,
                                std::string_view text);

struct ServiceListEntry {
    uint16_t serviceId = 0;
    uint8_t serviceType = 1;
};
Descriptor serviceListDescriptor(const std::vector<ServiceListEntry>& services);

struct LocalTimeOffset {
    char country[3] = {'C', 'H', 'N'};
    uint8_t regionId = 0;        // 6 bits
    bool negative = false;       // local_time_offset_polarity
    uint16_t offsetMinutes = 0;  // written as BCD hhmm
    int64_t timeOfChange = 0;    // seconds since the epoch, UTC
    uint16_t nextOffsetMinutes = 0;
};
Descriptor localTimeOffsetDescriptor(const std::vector<LocalTimeOffset>& entries);

}  // namespace tsgen
