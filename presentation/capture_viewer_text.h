// The texts of the capture viewer: the hex dump of captured bytes, the TS header of a captured
// packet, and what the viewer shows of one copy (the syntax of its packet or section, then its
// bytes, with the faulty packet of an error block marked as a bit range).
#pragma once

#include "presentation/hex_dump.h"

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/capture_copy.h"
#include "presentation/descriptor_text.h"

namespace orv {

// "TS Header" and the eight header fields of the packet; nothing for fewer than 4 bytes.
void appendTsHeader(std::span<const uint8_t> packet, TextLines& out);

struct CaptureView {
    TextLines lines;
    // The bits to highlight in the dump, [fromBit, toBit): an error block's faulty packet
    // (position x 8 to (position + packet length) x 8); empty for the other copies.
    std::size_t fromBit = 0;
    std::size_t toBit = 0;
};

// A section (also one that failed its CRC): its section text when its table has a writer, then
// the dump. A packet: its TS header, then the dump. An error block: the TS header of the faulty
// packet, then the dump of the block. A PES start: the dump.
CaptureView captureView(const CaptureCopy& copy);

}  // namespace orv
