// The USB box's stream: collecting the bulk transfers into a ring, finding the 0x55 0x55 /
// 0x55 0xAA framing, and parsing groups of 40 packets and QAM information packets.
#pragma once

#include <cstdint>

#include "cardlib/usb_framing.h"
#include "cardlib/zelcard.h"

namespace orv::zel {

// Frees the ring and staging area and clears the offsets; the next read resynchronises.
void resetUsbStream();
// Reads `blocks` blocks: the count, 0 on a transfer error or too little data, -1 lost framing,
// -2 stream out of step.
long long readUsb(void* buffer, void* rates, ExtraDataInTs* records, unsigned* recordCount,
                  unsigned long blocks, unsigned card);

}  // namespace orv::zel
