// The framing walk shared by the initialisation phase and the block driver: packet by packet at
// the packet length, with the sync test, the single-bad-sync-byte test (which skips just the
// damaged packet) and resynchronisation on three sync bytes at packet spacing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/limits.h"

namespace orv {

enum class WalkStep { Continue, Stop };

// A position q where q, q + len and q + 2 * len hold sync bytes, all inside the block; searched
// from `from`. Returns `length` when there is none.
inline std::size_t findResync(const uint8_t* block, std::size_t length, std::size_t from,
                              std::size_t packetLength) {
    if (length < 2 * packetLength + 1) return length;
    const std::size_t last = length - 2 * packetLength;  // q + 2L must be < length
    for (std::size_t q = from; q < last; ++q) {
        if (block[q] == kSyncByte && block[q + packetLength] == kSyncByte &&
            block[q + 2 * packetLength] == kSyncByte)
            return q;
    }
    return length;
}

// Walks a block. The visitor provides:
//   WalkStep packet(const uint8_t* packet, std::size_t pos)  - a packet in sync (188 bytes valid)
//   void syncByteError(std::size_t pos)      - a single damaged sync byte: that packet is skipped
//                                              (never handed to packet()) and the walk goes on
//                                              with the next one
//   void syncLoss(std::size_t pos, bool regained)
// testSingleByte selects the block driver's test for a single bad sync byte (the bytes one and
// two packets further are sync bytes, or lie past the end of the block); without it any missing
// sync byte goes straight to the search, which then regains sync on the next packet in that case.
// Returns the number of trailing bytes that were not examined because they are fewer than one
// packet; 0 when the block was walked to its end, abandoned or dropped.
template <class Visitor>
std::size_t walkBlock(const uint8_t* block, std::size_t length, std::size_t packetLength,
                      bool testSingleByte, Visitor&& visitor) {
    std::size_t p = 0;
    while (p < length) {
        if (length - p < packetLength) return length - p;
        if (block[p] != kSyncByte) {
            if (testSingleByte) {
                // A position past the end of the block cannot contradict: blocks follow each
                // other in the stream, so a damaged sync byte in one of the last two packets is
                // still a single damaged byte and not a loss of sync (the next block's own test
                // finds a real slip).
                const std::size_t n1 = p + packetLength, n2 = p + 2 * packetLength;
                if ((n1 >= length || block[n1] == kSyncByte) &&
                    (n2 >= length || block[n2] == kSyncByte)) {
                    visitor.syncByteError(p);
                    p = n1;
                    continue;
                }
            }
            const std::size_t q = findResync(block, length, p + 1, packetLength);
            const bool regained = q < length;
            visitor.syncLoss(p, regained);
            if (!regained) return 0;
            p = q;
        }
        if (visitor.packet(block + p, p) == WalkStep::Stop) return 0;
        p += packetLength;
    }
    return 0;
}

}  // namespace orv
