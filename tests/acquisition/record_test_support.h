// What the recording tests share: streams whose packets carry their index and cycle through a
// list of PIDs, a stand-in feed that plays such a stream, and reading back a recorded file.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "acquisition/record_feed.h"

namespace orv::test {

// Packet i: sync byte, PID pids[i % pids.size()], continuity counter i mod 16, its index in
// bytes 4-7 (big-endian) and filler after.
inline std::vector<std::uint8_t> pidCycleStream(std::size_t packets,
                                                const std::vector<std::uint16_t>& pids,
                                                std::size_t packetSize = 188) {
    std::vector<std::uint8_t> bytes(packets * packetSize, 0xA5);
    for (std::size_t i = 0; i < packets; ++i) {
        std::uint8_t* p = bytes.data() + i * packetSize;
        const std::uint16_t pid = pids[i % pids.size()];
        p[0] = 0x47;
        p[1] = static_cast<std::uint8_t>(pid >> 8);
        p[2] = static_cast<std::uint8_t>(pid);
        p[3] = static_cast<std::uint8_t>(0x10 | (i & 0x0F));
        for (int k = 0; k < 4; ++k)
            p[4 + k] = static_cast<std::uint8_t>(i >> (24 - 8 * k));
    }
    return bytes;
}

inline std::uint32_t indexOf(const std::uint8_t* p) {
    return std::uint32_t(p[4]) << 24 | p[5] << 16 | p[6] << 8 | p[7];
}
inline std::uint16_t pidOf(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[1] & 0x1F) << 8 | p[2]);
}

inline std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Plays `stream` (from byte `offset`, wrapping) in reads of `readBytes`; after `reads` reads (0:
// no end) it delivers nothing more. The initialisation step sees the first blocks of the stream.
class FakeFeed final : public RecordFeed {
  public:
    FakeFeed(std::vector<std::uint8_t> stream, std::size_t readBytes)
        : stream_(std::move(stream)), readBytes_(readBytes) {}

    long initResult = 0;
    std::size_t sampleBlocks = 20;
    bool startOk = true;
    bool card = false;
    std::size_t reads = 0;
    std::size_t offset = 0;
    std::size_t packetLength = 188;
    std::chrono::milliseconds pauseBetweenReads{0};
    int initialised = 0;

    std::string describe() const override { return "fake"; }
    bool usesCard() const override { return card; }
    RecordSample initialise(const InterfaceSettings&, RecordMode,
                            const std::atomic<bool>&) override {
        ++initialised;
        RecordSample s;
        s.initResult = initResult;
        if (initResult != 0) return s;
        s.blocks = sampleBlocks;
        const std::size_t n = std::min(stream_.size(), sampleBlocks * 40 * packetLength);
        s.data.assign(stream_.begin(), stream_.begin() + static_cast<std::ptrdiff_t>(n));
        s.mbps = 5.0;
        s.packetLength = static_cast<int>(packetLength);
        return s;
    }
    bool start(const InterfaceSettings&, RecordMode, const std::atomic<bool>&) override {
        return startOk;
    }
    FeedRead read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) override {
        FeedRead r;
        r.packetLength = packetLength;
        std::unique_lock lock(mutex_);
        if ((reads > 0 && done_ >= reads) || pauseBetweenReads.count() > 0) {
            const auto pause = pauseBetweenReads.count() > 0 && (reads == 0 || done_ < reads)
                                   ? std::min(wait, pauseBetweenReads)
                                   : wait;
            if (woken_.wait_for(lock, pause, [this] { return wake_; })) {
                wake_ = false;
                return r;
            }
            if (reads > 0 && done_ >= reads) return r;
        }
        ++done_;
        for (std::size_t k = 0; k < readBytes_ && k < buffer.size(); ++k) {
            buffer[k] = stream_[(offset + position_ + k) % stream_.size()];
        }
        position_ += readBytes_;
        r.bytes = readBytes_;
        return r;
    }
    void wake() override {
        {
            const std::lock_guard lock(mutex_);
            wake_ = true;
        }
        woken_.notify_all();
    }
    void finish() override {}
    double inputMbps() override { return 5.0; }
    std::size_t bufferBytes() const override { return readBytes_; }

  private:
    std::vector<std::uint8_t> stream_;
    std::size_t readBytes_;
    std::size_t position_ = 0;
    std::size_t done_ = 0;
    std::mutex mutex_;
    std::condition_variable woken_;
    bool wake_ = false;
};

}  // namespace orv::test
