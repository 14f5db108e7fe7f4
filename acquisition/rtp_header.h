// The RTP fixed header (version 2) in front of a datagram's transport stream packets, and the
// check of the sequence numbers that tells lost datagrams from late or repeated ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace orv {

struct RtpHeader {
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0;
    std::uint8_t payloadType = 0;
    std::size_t payloadOffset = 0;  // after the CSRC list and the extension
    std::size_t payloadLength = 0;  // up to the padding
};

enum class RtpHeaderError {
    None,
    TooShort,        // fewer than the 12 bytes of the fixed header
    NotVersion2,     // the version bits are not 2
    ListsBeyondEnd,  // the CSRC list or the header extension runs past the datagram
    BadPadding,      // a padding count of 0 or longer than the payload
};

// Parses the header of one datagram. Nothing beyond datagram.size() is read, whatever the
// counts in the header say.
std::optional<RtpHeader> parseRtpHeader(std::span<const std::uint8_t> datagram,
                                        RtpHeaderError* error = nullptr);

// Follows the sequence numbers of one RTP stream. The first datagram and any datagram from a new
// SSRC start the count afresh. A datagram ahead of the expected number by d (1 to 32767, modulo
// 65536) reveals d lost datagrams. One behind it by at most kMaxMisorder is late or repeated: it
// is not a loss, and it is dropped, since its place in the stream has passed (its datagram was
// counted as lost when the gap was seen). One further behind means the sender restarted its
// numbering: the count goes on from it, no loss counted.
class RtpSequence {
  public:
    static constexpr std::uint16_t kMaxMisorder = 100;

    enum class Verdict { InOrder, AfterGap, Late, Restart };
    struct Step {
        Verdict verdict = Verdict::InOrder;
        std::uint32_t lost = 0;  // datagrams missing before this one (AfterGap)
    };

    Step next(std::uint16_t sequence, std::uint32_t ssrc);
    void reset() { started_ = false; }

  private:
    bool started_ = false;
    std::uint16_t expected_ = 0;
    std::uint32_t ssrc_ = 0;
};

}  // namespace orv
