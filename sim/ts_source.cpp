#include "sim/ts_source.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace orv::sim {
namespace {

constexpr double kDefaultBitrate = 8'000'000;

// Sync found at `offset` and at the next four packet positions.
bool syncRun(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t length) {
    for (std::size_t k = 0; k < 5; ++k) {
        const std::size_t at = offset + k * length;
        if (at >= bytes.size()) return k > 0;
        if (bytes[at] != 0x47) return false;
    }
    return true;
}

std::optional<std::uint64_t> packetPcr(const std::uint8_t* p) {
    const bool adaptation = (p[3] & 0x20) != 0;
    if (!adaptation || p[4] < 7 || (p[5] & 0x10) == 0) return std::nullopt;
    const std::uint64_t base = (std::uint64_t{p[6]} << 25) | (std::uint64_t{p[7]} << 17) |
                               (std::uint64_t{p[8]} << 9) | (std::uint64_t{p[9]} << 1) |
                               (p[10] >> 7);
    const std::uint64_t ext = ((p[10] & 0x01u) << 8) | p[11];
    return base * 300 + ext;
}

}  // namespace

std::optional<double> pcrBitrate(std::span<const std::uint8_t> bytes, std::size_t first,
                                 std::size_t packetLength) {
    int pcrPid = -1;
    std::size_t firstAt = 0;
    std::size_t lastAt = 0;
    std::uint64_t firstPcr = 0;
    std::uint64_t lastPcr = 0;
    for (std::size_t at = first; at + packetLength <= bytes.size(); at += packetLength) {
        const std::uint8_t* p = bytes.data() + at;
        if (p[0] != 0x47) continue;
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        auto pcr = packetPcr(p);
        if (!pcr || (pcrPid >= 0 && pid != pcrPid)) continue;
        if (pcrPid < 0) {
            pcrPid = pid;
            firstAt = at;
            firstPcr = *pcr;
        }
        lastAt = at;
        lastPcr = *pcr;
    }
    if (pcrPid < 0 || lastPcr <= firstPcr || lastAt == firstAt) return std::nullopt;
    const double seconds = static_cast<double>(lastPcr - firstPcr) / 27'000'000.0;
    return static_cast<double>(lastAt - firstAt) * 8.0 / seconds;
}

TsSource::TsSource(const std::string& path, std::optional<double> bitrate) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    init(bitrate);
}

TsSource::TsSource(std::vector<std::uint8_t> bytes, std::optional<double> bitrate)
    : bytes_(std::move(bytes)) {
    init(bitrate);
}

void TsSource::init(std::optional<double> bitrate) {
    bool found = false;
    for (std::size_t length : {std::size_t{188}, std::size_t{204}}) {
        for (std::size_t offset = 0; offset < length && offset < bytes_.size(); ++offset) {
            if (syncRun(bytes_, offset, length)) {
                packetLength_ = length;
                first_ = offset;
                found = true;
                break;
            }
        }
        if (found) break;
    }
    packets_ = found ? (bytes_.size() - first_) / packetLength_ : 0;
    if (packets_ == 0) throw std::runtime_error("no transport stream packets");
    bitrate_ =
        bitrate.value_or(pcrBitrate(bytes_, first_, packetLength_).value_or(kDefaultBitrate));
}

void TsSource::nextBytes(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::span<const std::uint8_t> p = packet(next_);
        const std::size_t n = std::min(out.size() - done, packetLength_ - byteInPacket_);
        std::memcpy(out.data() + done, p.data() + byteInPacket_, n);
        done += n;
        byteInPacket_ += n;
        if (byteInPacket_ == packetLength_) {
            byteInPacket_ = 0;
            next_ = (next_ + 1) % packets_;
        }
    }
}

void TsSource::nextBlock(std::span<std::uint8_t> out) {
    if (byteInPacket_ != 0) {  // back to whole packets: the rest of a started one is dropped
        byteInPacket_ = 0;
        next_ = (next_ + 1) % packets_;
    }
    for (std::size_t k = 0; k < kPacketsPerBlock && (k + 1) * packetLength_ <= out.size(); ++k) {
        std::memcpy(out.data() + k * packetLength_, packet(next_).data(), packetLength_);
        next_ = (next_ + 1) % packets_;
    }
}

std::span<const std::uint8_t> TsSource::packet(std::size_t index) const {
    return {bytes_.data() + first_ + (index % packets_) * packetLength_, packetLength_};
}

}  // namespace orv::sim
