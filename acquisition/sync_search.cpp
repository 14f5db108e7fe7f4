#include "acquisition/sync_search.h"

#include <initializer_list>

namespace orv {

SyncSearchResult findStreamSync(const uint8_t* head, std::size_t headLength, uint64_t fileSize) {
    for (int packetLength : {188, 204}) {
        const auto onePacket = static_cast<uint64_t>(packetLength);
        for (uint64_t k = 0; k < kSyncSearchLimit && k < fileSize; ++k) {
            if (k >= headLength || head[k] != 0x47) continue;
            const uint64_t partner = k + 2 * onePacket;
            if (partner >= fileSize || partner >= headLength) return {};
            // Both packets on must start with a sync byte: a single partner two packets on is
            // found by chance too often (a 204-byte stream's parity bytes, payload bytes).
            if (head[k + onePacket] == 0x47 && head[partner] == 0x47)
                return {true, k, packetLength};
        }
    }
    return {};
}

}  // namespace orv
