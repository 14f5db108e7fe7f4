// Program changes for the fault stage: a PAT or PMT section rewritten as the next version of its
// table, and the replacement of a section inside the packet that carries it. The faults
// pat-change and pmt-change (faults.h) are built on these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/tsgen/sections.h"

namespace tsgen {

// The PAT section `s` (size bytes, CRC_32 included) as its next version: version_number + 1
// (modulo 32), and without the entry of program `leaveOut` when that is not 0. nullopt when the
// bytes are not one whole PAT section.
std::optional<Section> nextPatVersion(const uint8_t* s, std::size_t size, uint16_t leaveOut);

// The PMT section `s` as its next version when it lists elementary PID `esPid`: version_number
// + 1, and that entry moved to `newPid` (newPid == esPid: kept as it is; newPid 0: left out).
// nullopt when the bytes are not one whole PMT section or it does not list esPid.
std::optional<Section> nextPmtVersion(const uint8_t* s, std::size_t size, uint16_t esPid,
                                      uint16_t newPid);

// Where the section that starts in packet `p` lies: the offset of its table_id and its
// 3 + section_length bytes. nullopt when no section starts in the packet or it does not end
// inside the packet.
struct SectionInPacket {
    std::size_t at = 0;
    std::size_t size = 0;
};
std::optional<SectionInPacket> wholeSectionIn(const uint8_t* p);

// Every section that starts and ends inside packet `p`: the one at the pointer target and those
// that follow it back to back, up to stuffing (0xFF) or a section that ends beyond the packet.
std::vector<SectionInPacket> wholeSectionsIn(const uint8_t* p);

// Writes `replacement` over the section `old` of packet `p`. A replacement of another length is
// written only when the old section is followed by nothing but stuffing (0xFF) to the packet's
// end, and the bytes it frees become stuffing. False, with the packet unchanged, otherwise.
bool replaceSectionInPacket(uint8_t* p, SectionInPacket old, const Section& replacement);

}  // namespace tsgen
