#include "acquisition/rtp_header.h"

namespace orv {
namespace {

constexpr std::size_t kFixedHeader = 12;

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

}  // namespace

std::optional<RtpHeader> parseRtpHeader(std::span<const std::uint8_t> d, RtpHeaderError* error) {
    auto fail = [error](RtpHeaderError e) -> std::optional<RtpHeader> {
        if (error) *error = e;
        return std::nullopt;
    };
    if (d.size() < kFixedHeader) return fail(RtpHeaderError::TooShort);
    if ((d[0] >> 6) != 2) return fail(RtpHeaderError::NotVersion2);
    const bool padding = (d[0] & 0x20) != 0;
    const bool extension = (d[0] & 0x10) != 0;
    const std::size_t csrcCount = d[0] & 0x0F;

    RtpHeader h;
    h.payloadType = d[1] & 0x7F;
    h.sequence = static_cast<std::uint16_t>((d[2] << 8) | d[3]);
    h.timestamp = be32(&d[4]);
    h.ssrc = be32(&d[8]);

    std::size_t offset = kFixedHeader + 4 * csrcCount;
    if (offset > d.size()) return fail(RtpHeaderError::ListsBeyondEnd);
    if (extension) {
        // 16 bits profile-defined, 16 bits length in 32-bit words after this 4-byte head.
        if (offset + 4 > d.size()) return fail(RtpHeaderError::ListsBeyondEnd);
        const std::size_t words = (std::size_t{d[offset + 2]} << 8) | d[offset + 3];
        offset += 4 + 4 * words;
        if (offset > d.size()) return fail(RtpHeaderError::ListsBeyondEnd);
    }
    std::size_t end = d.size();
    if (padding) {
        // The last byte counts the padding bytes, itself included.
        const std::size_t count = d[d.size() - 1];
        if (count == 0 || count > end - offset) return fail(RtpHeaderError::BadPadding);
        end -= count;
    }
    h.payloadOffset = offset;
    h.payloadLength = end - offset;
    if (error) *error = RtpHeaderError::None;
    return h;
}

RtpSequence::Step RtpSequence::next(std::uint16_t sequence, std::uint32_t ssrc) {
    Step step;
    if (!started_ || ssrc != ssrc_) {
        step.verdict = started_ ? Verdict::Restart : Verdict::InOrder;
        started_ = true;
        ssrc_ = ssrc;
        expected_ = static_cast<std::uint16_t>(sequence + 1);
        return step;
    }
    const std::uint16_t ahead = static_cast<std::uint16_t>(sequence - expected_);
    if (ahead == 0) {
        step.verdict = Verdict::InOrder;
    } else if (ahead < 0x8000) {
        step.verdict = Verdict::AfterGap;
        step.lost = ahead;
    } else if (static_cast<std::uint16_t>(expected_ - sequence) <= kMaxMisorder) {
        step.verdict = Verdict::Late;
        return step;  // the expected number stays
    } else {
        step.verdict = Verdict::Restart;
    }
    expected_ = static_cast<std::uint16_t>(sequence + 1);
    return step;
}

}  // namespace orv
