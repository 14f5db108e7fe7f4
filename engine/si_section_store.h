// Lookups of the SI section store: whether a section is already held, and how a completed EIT
// section relates to the sections its list holds.
#pragma once

#include <cstdint>

#include "engine/si_tables.h"

namespace orv {

// True when `crc` equals one of the first `count` entries of `list`; false when count < 1.
bool IsKnownCrc(uint32_t crc, const uint32_t* list, int count);

enum class EitClass : int {
    Held = 0,        // already held: ignore
    New = 1,         // a new section: add it
    NewVersion = 2,  // a section 0 whose CRC differs from every held section of its service
};

// Looks in the list of `tableId` (0x4E..0x6F; any other gives an empty list) at the sections of
// the same service_id, transport_stream_id and original_network_id.
EitClass ClassifyEitSection(const SiSectionStore& store, unsigned tableId, unsigned serviceId,
                            unsigned sectionNumber, unsigned transportStreamId,
                            unsigned originalNetworkId, uint32_t crc);

}  // namespace orv
