// Gathers the packets of received datagrams into whole 40-packet groups, each with the timing
// value a capture card would give it: the group's duration in 1/270 MHz units.
//
// Arrival times are spread over packets as the bytes came in on the wire: a datagram of k packets
// that arrived at t, after the previous datagram at t0, delivered its packet j (1..k) at
// t0 + (t - t0) x j / k, so its last packet arrives with it. (The first datagram has no
// predecessor: its packets all arrive at t.) A group's duration runs from the arrival of the
// previous group's last packet to that of its own last packet, so the durations add up to the
// time the stream took, and a group's bits over its duration is the rate it came in at. The
// first group has no predecessor and gets 0 (unknown), as does a group whose duration does not
// fit 32 bits (about 15.9 s) or runs backwards (the clock was set back).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "acquisition/live_source.h"

namespace orv {

class PacketGroups {
  public:
    // Room for the largest read, an unfinished group, and one more datagram of up to
    // `maxDatagramPackets` packets.
    explicit PacketGroups(std::size_t maxDatagramPackets);

    // Takes one datagram's `count` packets of `length` bytes (188 or 204) that arrived at tNs.
    // Returns false and takes nothing when they must wait for a take(): whole groups of another
    // length are still pending, or there is no room. A length change drops the unfinished group
    // of the old length (counted in droppedPackets()).
    bool add(const std::uint8_t* packets, std::size_t count, int length, std::int64_t tNs);

    std::size_t wholeGroups() const { return count_ / kLiveGroupPackets; }
    std::size_t pendingPackets() const { return count_; }
    // The length of the pending packets, or of the last ones seen (188 before any).
    int length() const { return length_; }
    std::uint64_t droppedPackets() const { return dropped_; }

    // Moves up to `maxGroups` whole groups (as many as fit both spans) into `block` and their
    // timing values into `times`; the rest stays for the next take.
    LiveRead take(std::span<std::uint8_t> block, std::span<std::uint32_t> times,
                  std::size_t maxGroups = kLiveMaxGroupsPerRead);

    void reset();

  private:
    std::size_t capacity_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::int64_t> times_;  // arrival time of each pending packet, ns
    std::size_t count_ = 0;
    int length_ = 188;
    std::optional<std::int64_t> lastArrival_;
    std::optional<std::int64_t> lastGroupEnd_;
    std::uint64_t dropped_ = 0;
};

}  // namespace orv
