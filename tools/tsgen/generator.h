// Generates a stream: the clean multiplex of a StreamConfig with faults applied as its packets
// are emitted, either into one byte vector or in chunks through a callback (which never holds
// more than one chunk). The same configuration and faults always give the same bytes.
// 204-byte packets are the 188 bytes followed by 16 bytes 0x00 standing in for the parity.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/tsgen/faults.h"
#include "tools/tsgen/multiplexer.h"

namespace tsgen {

struct GenerateResult {
    uint64_t packets = 0;
    uint64_t bytes = 0;
    std::vector<AppliedFault> applied;  // in the order they happened
    std::vector<std::size_t> missed;    // faults that found no packet to act on
};

using ChunkSink = std::function<void(const uint8_t* data, std::size_t size)>;

// Throws std::invalid_argument for a bad configuration or fault (e.g. a value out of range).
GenerateResult generateStream(const StreamConfig& cfg, const std::vector<Fault>& faults,
                              const ChunkSink& sink, std::size_t chunkPackets = 1024);

std::vector<uint8_t> generateStream(const StreamConfig& cfg, const std::vector<Fault>& faults = {},
                                    GenerateResult* result = nullptr);

}  // namespace tsgen
