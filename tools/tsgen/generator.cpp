#include "tools/tsgen/generator.h"

#include <cstring>

#include "tools/tsgen/fault_injector.h"

namespace tsgen {

GenerateResult generateStream(const StreamConfig& cfg, const std::vector<Fault>& faults,
                              const ChunkSink& sink, std::size_t chunkPackets) {
    FaultInjector injector(cfg, faults);
    if (chunkPackets == 0) chunkPackets = 1;
    const std::size_t size = cfg.packetSize;
    std::vector<uint8_t> chunk(chunkPackets * size, 0);
    std::size_t filled = 0;
    GenerateResult result;
    for (uint64_t i = 0; i < cfg.packetCount; ++i) {
        uint8_t* p = chunk.data() + filled * size;
        injector.next(i, p);
        if (size > kPacketSize) std::memset(p + kPacketSize, 0, size - kPacketSize);
        if (++filled == chunkPackets) {
            sink(chunk.data(), filled * size);
            filled = 0;
        }
    }
    if (filled > 0) sink(chunk.data(), filled * size);
    result.packets = cfg.packetCount;
    result.bytes = cfg.packetCount * size;
    result.applied = injector.applied();
    result.missed = injector.missed();
    return result;
}

std::vector<uint8_t> generateStream(const StreamConfig& cfg, const std::vector<Fault>& faults,
                                    GenerateResult* result) {
    std::vector<uint8_t> out;
    out.reserve(cfg.packetCount * cfg.packetSize);
    GenerateResult r = generateStream(
        cfg, faults, [&](const uint8_t* d, std::size_t n) { out.insert(out.end(), d, d + n); });
    if (result) *result = std::move(r);
    return out;
}

}  // namespace tsgen
