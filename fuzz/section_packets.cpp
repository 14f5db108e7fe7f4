#include "fuzz/section_packets.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace orv::fuzz {
namespace {
constexpr std::size_t kPacket = 188;
constexpr std::size_t kPayload = 184;
}  // namespace

void SectionPackets::add(const std::vector<uint8_t>& section, bool pack) {
    starts_.push_back(pending_.size());
    pending_.insert(pending_.end(), section.begin(), section.end());
    emit(!pack);
}

void SectionPackets::flush() {
    emit(true);
}

void SectionPackets::take(std::vector<uint8_t>& out) {
    out.insert(out.end(), packets_.begin(), packets_.end());
    packets_.clear();
}

// Writes every full packet of the pending bytes, and the last partial one when padLast.
void SectionPackets::emit(bool padLast) {
    std::size_t pos = 0;
    std::size_t nextStart = 0;
    while (pos < pending_.size()) {
        while (nextStart < starts_.size() && starts_[nextStart] < pos)
            ++nextStart;
        const std::size_t pointer =
            nextStart < starts_.size() ? starts_[nextStart] - pos : SIZE_MAX;
        const bool startHere = pointer < kPayload - 1;
        // A start in the last payload byte cannot be pointed at: one byte of adaptation field
        // moves it to the next packet.
        const bool shift = pointer == kPayload - 1;
        const std::size_t room = startHere || shift ? kPayload - 1 : kPayload;
        const std::size_t n = std::min(room, pending_.size() - pos);
        if (n < room && !padLast) break;
        uint8_t p[kPacket];
        std::memset(p, 0xFF, sizeof p);
        p[0] = 0x47;
        p[1] = static_cast<uint8_t>((startHere ? 0x40 : 0) | (pid_ >> 8 & 0x1F));
        p[2] = static_cast<uint8_t>(pid_);
        p[3] = static_cast<uint8_t>((shift ? 0x30 : 0x10) | (cc_++ & 0x0F));
        std::size_t at = 4;
        if (shift) p[at++] = 0;  // adaptation_field_length
        if (startHere) p[at++] = static_cast<uint8_t>(pointer);
        std::memcpy(p + at, pending_.data() + pos, n);
        packets_.insert(packets_.end(), p, p + kPacket);
        pos += n;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
    std::vector<std::size_t> left;
    for (std::size_t s : starts_)
        if (s >= pos) left.push_back(s - pos);
    starts_ = std::move(left);
}

}  // namespace orv::fuzz
