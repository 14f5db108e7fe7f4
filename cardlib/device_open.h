// Finding and opening the hardware: the USB box by its interface class, the PCI card by name, in
// the two orders the exports use.
#pragma once

#include "platform/devio/devio.h"

namespace orv::zel {

// Enumerates the USB interface class and opens the first interface that opens, tracing each
// attempt on standard output; the path lands in pathBuffer (256 bytes).
devio::Handle openUsbInterface(char* pathBuffer);
devio::Handle openPciCard(unsigned card);

// The configuring exports: USB box first, then the PCI card; the new handle replaces the card's.
// 0 or -2 (nothing opened).
long openForConfiguring(unsigned card);
// The lazy exports: only when the card's handle is 0, PCI card first, then the USB box. 0 or -2.
long openLazily(unsigned card);
// Closes the card's handle and leaves it empty.
void closeCard(unsigned card);

}  // namespace orv::zel
