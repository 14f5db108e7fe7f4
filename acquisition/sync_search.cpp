#include "acquisition/sync_search.h"

#include <initializer_list>

namespace orv {

SyncSearchResult findStreamSync(const uint8_t* head, std::size_t headLength, uint64_t fileSize) {
    for (int packetLength : {188, 204}) {
        const auto twoPackets = static_cast<uint64_t>(2 * packetLength);
        for (uint64_t k = 0; k < kSyncSearchLimit && k < fileSize; ++k) {
            if (k >= headLength || head[k] != 0x47) continue;
            const uint64_t partner = k + twoPackets;
            if (partner >= fileSize || partner >= headLength) return {};
            if (head[partner] == 0x47) return {true, k, packetLength};
        }
    }
    return {};
}

}  // namespace orv
