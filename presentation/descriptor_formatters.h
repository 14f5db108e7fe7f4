// The value texts of the descriptor catalogue that are more than a lookup: converted rates,
// the component and content explanations, the service list entries and a few value-dependent
// layouts.
#pragma once

#include "presentation/descriptor_catalogue.h"

#include <string>
#include <string_view>

namespace orv::fmt {

// The template with its conversions taking `count` parts of `bitsEach` bits of the value, the
// first from the top (BCD digits, BCD bytes); at most 8 parts.
std::string partsText(std::string_view tmpl, uint64_t v, int count, int bitsEach);

FormattedValue maximumBitrate(uint64_t v, const DescriptorVars&);    // 50 byte/s units
FormattedValue serviceType(uint64_t v, const DescriptorVars&);       // 0x48
FormattedValue serviceListEntry(uint64_t v, const DescriptorVars&);  // service_id << 8 | type
FormattedValue componentPair(uint64_t v, const DescriptorVars&);     // content << 8 | type
FormattedValue contentText(uint64_t v, const DescriptorVars& vars);  // vars 0 and 1: nibbles
FormattedValue parentalRating(uint64_t v, const DescriptorVars&);
FormattedValue countryRegion(uint64_t v, const DescriptorVars&);
FormattedValue horizontalCells(uint64_t v, const DescriptorVars&);
FormattedValue verticalCells(uint64_t v, const DescriptorVars&);
FormattedValue terrestrialFrequency(uint64_t v, const DescriptorVars&);  // 10 Hz units
FormattedValue shortSmoothingLeakRate(uint64_t v, const DescriptorVars&);
FormattedValue listedFrequency(uint64_t v, const DescriptorVars& vars);  // var 0: coding type
FormattedValue partialPeakRate(uint64_t v, const DescriptorVars&);       // 400 bit/s units
FormattedValue partialSmoothingRate(uint64_t v, const DescriptorVars&);
FormattedValue partialSmoothingBuffer(uint64_t v, const DescriptorVars&);

}  // namespace orv::fmt
