#include "acquisition/datagram_packets.h"

namespace orv {
namespace {

// Packet starts holding the sync byte, or -1 when the size is not a multiple of `length`.
long syncedStarts(std::span<const std::uint8_t> payload, std::size_t length) {
    if (payload.empty() || payload.size() % length != 0) return -1;
    long synced = 0;
    for (std::size_t i = 0; i < payload.size(); i += length)
        if (payload[i] == 0x47) ++synced;
    return synced;
}

}  // namespace

DatagramPackets wholePackets(std::span<const std::uint8_t> payload, int preferredLength) {
    DatagramPackets best;
    long bestSynced = -1;
    for (const int length :
         {preferredLength == 204 ? 204 : 188, preferredLength == 204 ? 188 : 204}) {
        const long synced = syncedStarts(payload, static_cast<std::size_t>(length));
        if (synced < 0) continue;
        const std::size_t count = payload.size() / static_cast<std::size_t>(length);
        if (2 * static_cast<std::size_t>(synced) < count || synced <= bestSynced) continue;
        best = {count, length};
        bestSynced = synced;
    }
    return best;
}

}  // namespace orv
