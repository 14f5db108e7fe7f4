// A transport stream file played in a loop: its packets in 40-packet blocks and its own bitrate,
// measured from the PCRs of its first PCR-carrying PID (or given by the device's configuration).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orv::sim {

inline constexpr std::size_t kPacketsPerBlock = 40;

class TsSource {
  public:
    // Loads the file; throws std::runtime_error when it cannot be read or holds no packet.
    explicit TsSource(const std::string& path, std::optional<double> bitrate = std::nullopt);
    // From bytes already in memory (tests).
    explicit TsSource(std::vector<std::uint8_t> bytes,
                      std::optional<double> bitrate = std::nullopt);

    std::size_t packetLength() const { return packetLength_; }
    std::size_t blockBytes() const { return packetLength_ * kPacketsPerBlock; }
    double bitrate() const { return bitrate_; }  // bit/s
    std::size_t packetCount() const { return packets_; }

    // Copies the next 40 packets (wrapping at the end of the file) into out (blockBytes()).
    void nextBlock(std::span<std::uint8_t> out);
    // Copies the next out.size() bytes of the packets played back to back, as a card that does
    // not synchronise on packets delivers them (wrapping at the end of the file). It goes on
    // from where the last call of either kind ended.
    void nextBytes(std::span<std::uint8_t> out);
    // Copies packet `index` modulo the packet count (tests compare delivered data with it).
    std::span<const std::uint8_t> packet(std::size_t index) const;

  private:
    void init(std::optional<double> bitrate);

    std::vector<std::uint8_t> bytes_;
    std::size_t packetLength_ = 188;
    std::size_t first_ = 0;  // offset of the first sync byte
    std::size_t packets_ = 0;
    std::size_t next_ = 0;          // next packet to play
    std::size_t byteInPacket_ = 0;  // bytes of packet next_ already played by nextBytes
    double bitrate_ = 0;
};

// The bitrate (bit/s) a stream's PCRs give: bytes between the first and last PCR of the first
// PCR PID over their time distance. Empty without two distinct PCRs.
std::optional<double> pcrBitrate(std::span<const std::uint8_t> bytes, std::size_t first,
                                 std::size_t packetLength);

}  // namespace orv::sim
