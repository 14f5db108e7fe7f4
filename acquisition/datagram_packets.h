// Whether a datagram's payload is whole transport stream packets, and of which length. A
// payload is taken as packets of length L (188 or 204) when its size is a non-zero multiple of L
// and at least half of its packet starts hold the sync byte 0x47: a damaged sync byte inside an
// otherwise sound datagram goes on to the analysis, which reports it as it would from a file,
// while a datagram that is not packets at all (or only part of one) is refused whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orv {

struct DatagramPackets {
    std::size_t count = 0;  // 0: not whole packets
    int length = 0;
};

// `preferredLength` decides between 188 and 204 when a size fits both equally well.
DatagramPackets wholePackets(std::span<const std::uint8_t> payload, int preferredLength = 188);

}  // namespace orv
