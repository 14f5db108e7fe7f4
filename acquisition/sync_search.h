// Finding the packet length and the first sync byte of a transport stream file: 188 is tried at
// offsets 0..2039, then 204; an offset counts when the bytes one and two packets further are sync
// bytes too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv {

inline constexpr std::size_t kSyncSearchLimit = 2040;
// Bytes of the file's head the search may look at.
inline constexpr std::size_t kSyncSearchHead = kSyncSearchLimit + 2 * 204;

struct SyncSearchResult {
    bool found = false;
    uint64_t offset = 0;
    int packetLength = 0;
};

// head: the first min(fileSize, kSyncSearchHead) bytes of the file. The search ends without a
// result when a candidate's partner byte lies beyond the end of the file.
SyncSearchResult findStreamSync(const uint8_t* head, std::size_t headLength, uint64_t fileSize);

}  // namespace orv
