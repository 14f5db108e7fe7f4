// A live input that the run control drives: the capture card through libZelcard, or a UDP/RTP
// stream. Every source delivers the same thing: whole 40-packet groups of 188- or 204-byte
// packets, with one timing value per group from which the PCR checks take the local bitrate.
// The run control does not know which source it drives.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "cardlib/zelcard.h"

namespace orv {

inline constexpr std::size_t kLiveGroupPackets = 40;
inline constexpr std::size_t kLiveMaxGroupsPerRead = 5;
// Room for the largest read: five groups of 204-byte packets.
inline constexpr std::size_t kLiveBlockBytes = kLiveMaxGroupsPerRead * kLiveGroupPackets * 204;

// A group's timing value T is its duration in units of 1/270 MHz: the PCR checks take the local
// rate as L x 3200 / (T / 27 000 000) x 10^-6 Mbit/s for packet length L, which is the group's
// L x 40 x 8 bits over its duration. The card delivers these values with the data; other sources
// make them from receive times. 0 means unknown (the checks then fall back to the stream bitrate).
inline constexpr double kGroupTimeTicksPerSecond = 270'000'000.0;

enum class LiveOpenResult {
    Ready,    // receiving
    Failed,   // the input cannot be set up; the source has shown its message
    Stopped,  // a stop was requested while it was being set up
};

struct LiveRead {
    std::size_t groups = 0;  // whole 40-packet groups written to the block, at packetLength each
    int packetLength = 188;
    bool framingLost = false;  // the read failed (lost framing): the batch counts as empty
};

// The Media Delivery Index (RFC 4445) of the last whole second, for IP inputs.
struct MdiReading {
    double delayFactorMs = 0.0;
    double mediaLossRate = 0.0;  // packets per second
    // Datagrams lost since the source was opened: RTP sequence gaps, and for plain UDP the
    // datagrams the kernel dropped at the socket.
    std::uint64_t lostDatagrams = 0;
};

class LiveSource {
  public:
    virtual ~LiveSource() = default;

    // What the source reads, for status lines: "card 0", "udp://239.1.1.1:1234".
    virtual std::string describe() const = 0;

    // Prepares the input and starts receiving (the card: reset, initialisation with the interface
    // settings, the FIFO sized by the input rate, receive start retried until it starts). Returns
    // Stopped as soon as `stop` is set.
    virtual LiveOpenResult open(const std::atomic<bool>& stop) = 0;

    // The input's packet length now: 188 or 204.
    virtual int packetLength() = 0;

    // Waits up to `timeout` for data; true when a read would find some. wake() ends a wait early
    // (with false), from any thread.
    virtual bool waitForData(std::chrono::milliseconds timeout) = 0;
    virtual void wake() = 0;

    // Reads up to kLiveMaxGroupsPerRead groups into `block` (kLiveBlockBytes long) and one timing
    // value per group into `times` (kLiveMaxGroupsPerRead long). Never blocks for long.
    virtual LiveRead read(std::span<std::uint8_t> block, std::span<std::uint32_t> times) = 0;

    // The QAM information record received last, when the input sends them (the USB box).
    virtual std::optional<ExtraDataInTs> latestQamInfo() const { return std::nullopt; }

    // The input bitrate in Mbit/s as the input measures it; safe to call from another thread
    // while the source is read.
    virtual double inputBitrateMbps() = 0;

    // The Media Delivery Index of the last whole second, for IP inputs.
    virtual std::optional<MdiReading> mediaDeliveryIndex() const { return std::nullopt; }

    // Stops receiving (the card: ZelStopReTran). The source may be opened again afterwards.
    virtual void close() = 0;
};

}  // namespace orv
