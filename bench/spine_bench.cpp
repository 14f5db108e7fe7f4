// Throughput of the analysis spine: framing walk, header checks, PID dispatch, continuity and
// counts, fed in blocks of 400 packets as the offline pass does. The stream is a generated clean
// two-program multiplex (or a capture file), looped until the requested volume has been analysed.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/program_discovery.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace {

std::vector<uint8_t> loadStream(const std::string& file, unsigned packetSize, uint64_t seconds) {
    if (!file.empty()) {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw std::runtime_error("cannot open " + file);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    tsgen::PresetOptions opt;
    opt.packetSize = packetSize;
    opt.durationMs = seconds * 1000;
    const tsgen::Preset preset = tsgen::cleanPreset(opt);
    return tsgen::generateStream(preset.config, preset.faults);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Throughput of the analysis spine over a looped stream"};
    double gigabytes = 1.0;
    std::string file;
    unsigned packetSize = 188;
    uint64_t seconds = 60;
    app.add_option("--gb", gigabytes, "Gigabytes (10^9 bytes) to analyse")
        ->check(CLI::PositiveNumber);
    app.add_option("--file", file, "Loop this capture instead of a generated stream");
    app.add_option("--packet-size", packetSize, "Generated packet size")
        ->check(CLI::IsMember({188, 204}));
    app.add_option("--seconds", seconds, "Length of the generated stream that is looped");
    CLI11_PARSE(app, argc, argv);

    std::vector<uint8_t> stream;
    try {
        stream = loadStream(file, packetSize, seconds);
    } catch (const std::exception& e) {
        std::cerr << "spine_bench: " << e.what() << "\n";
        return 2;
    }
    auto ctx = std::make_unique<orv::AnalysisContext>();
    orv::resetAll(*ctx);
    orv::enableAllMonitoring(*ctx);
    ctx->packetLength = file.empty() ? static_cast<int>(packetSize) : 188;
    const auto len = static_cast<std::size_t>(ctx->packetLength);
    const std::size_t initBytes = std::min(stream.size(), 40000 * len);
    orv::initBlock(*ctx, stream.data(), initBytes);
    orv::finishInit(*ctx);
    ctx->streamBitrate.current = 8.0;
    orv::beginRun(*ctx, orv::kEventOfflineStart);

    const std::size_t blockBytes = 400 * len;
    const std::size_t usable = stream.size() / len * len;
    if (usable < blockBytes) {
        std::cerr << "spine_bench: stream shorter than one block\n";
        return 2;
    }
    const auto target = static_cast<uint64_t>(gigabytes * 1e9);
    uint64_t done = 0;
    const auto t0 = std::chrono::steady_clock::now();
    while (done < target) {
        for (std::size_t off = 0; off < usable && done < target; off += blockBytes) {
            const std::size_t n = std::min(blockBytes, usable - off);
            orv::analyseBlock(*ctx, stream.data() + off, n);
            done += n;
            // Drain as the results page would, so the log stays open.
            if (ctx->log.pendingCount.load(std::memory_order_relaxed) > orv::kMaxEvents / 2)
                ctx->log.pendingCount.store(0);
        }
    }
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double packets = static_cast<double>(done / len);
    std::printf("analysed %.2f GB (%.0f packets of %zu bytes) in %.3f s\n", done / 1e9, packets,
                len, secs);
    std::printf("%.1f MB/s  %.2f Mpackets/s\n", done / 1e6 / secs, packets / 1e6 / secs);
    std::printf("programs %d, packets counted %llu, events counted %d\n", ctx->programCount(),
                static_cast<unsigned long long>(ctx->packetCounter),
                ctx->log.kindCount.total(orv::Tr290ErrorKind::Continuity));
    return 0;
}
