#include "acquisition/packet_groups.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace orv {
namespace {

constexpr std::size_t kMaxPacketLength = 204;

// Nanoseconds to 1/270 MHz ticks: 0.27 ticks per ns.
std::uint32_t groupTicks(std::int64_t durationNs) {
    if (durationNs <= 0) return 0;
    const double ticks =
        std::round(static_cast<double>(durationNs) * (kGroupTimeTicksPerSecond * 1e-9));
    if (ticks > static_cast<double>(std::numeric_limits<std::uint32_t>::max())) return 0;
    return static_cast<std::uint32_t>(ticks);
}

}  // namespace

PacketGroups::PacketGroups(std::size_t maxDatagramPackets)
    : capacity_(kLiveMaxGroupsPerRead * kLiveGroupPackets + kLiveGroupPackets - 1 +
                maxDatagramPackets),
      bytes_(capacity_ * kMaxPacketLength),
      times_(capacity_) {}

void PacketGroups::reset() {
    count_ = 0;
    length_ = 188;
    lastArrival_.reset();
    lastGroupEnd_.reset();
    dropped_ = 0;
}

bool PacketGroups::add(const std::uint8_t* packets, std::size_t count, int length,
                       std::int64_t tNs) {
    if (count == 0) return true;
    if (length != length_) {
        if (wholeGroups() > 0) return false;
        if (count_ > 0) {
            // The unfinished group of the old length can never be completed.
            dropped_ += count_;
            lastGroupEnd_ = times_[count_ - 1];
            count_ = 0;
        }
        length_ = length;
    }
    if (count_ + count > capacity_) return false;

    std::memcpy(&bytes_[count_ * static_cast<std::size_t>(length_)], packets,
                count * static_cast<std::size_t>(length_));
    const bool spread = lastArrival_ && *lastArrival_ <= tNs;
    const std::int64_t from = spread ? *lastArrival_ : tNs;
    const std::int64_t span = tNs - from;
    const std::int64_t k = static_cast<std::int64_t>(count);
    for (std::int64_t j = 1; j <= k; ++j)
        times_[count_ + static_cast<std::size_t>(j - 1)] = from + span * j / k;
    count_ += count;
    lastArrival_ = tNs;
    return true;
}

LiveRead PacketGroups::take(std::span<std::uint8_t> block, std::span<std::uint32_t> times,
                            std::size_t maxGroups) {
    LiveRead r;
    r.packetLength = length_;
    const std::size_t groupBytes = kLiveGroupPackets * static_cast<std::size_t>(length_);
    const std::size_t n =
        std::min({wholeGroups(), maxGroups, block.size() / groupBytes, times.size()});
    for (std::size_t g = 0; g < n; ++g) {
        const std::int64_t end = times_[(g + 1) * kLiveGroupPackets - 1];
        times[g] = lastGroupEnd_ ? groupTicks(end - *lastGroupEnd_) : 0;
        lastGroupEnd_ = end;
    }
    if (n == 0) return r;
    std::memcpy(block.data(), bytes_.data(), n * groupBytes);
    const std::size_t used = n * kLiveGroupPackets;
    const std::size_t rest = count_ - used;
    std::memmove(bytes_.data(), &bytes_[used * static_cast<std::size_t>(length_)],
                 rest * static_cast<std::size_t>(length_));
    std::memmove(times_.data(), &times_[used], rest * sizeof(std::int64_t));
    count_ = rest;
    r.groups = n;
    return r;
}

}  // namespace orv
