#include "tools/tsgen/section_packetizer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tools/tsgen/packet.h"

namespace tsgen {
namespace {

// Room a packed section start needs in the packet: its whole long-section header.
constexpr std::size_t kMinStartRoom = 8;

}  // namespace

void SectionPacketizer::push(Section section) {
    if (section.empty()) throw std::invalid_argument("empty section");
    pending_.push_back(std::move(section));
}

bool SectionPacketizer::tailLeavesRoomForAStart() const {
    const std::size_t rem = pending_.front().size() - offset_;
    return rem < kPayloadSize && kPayloadSize - 1 - rem >= kMinStartRoom;
}

bool SectionPacketizer::nextPacket(uint8_t* out, unsigned cc) {
    if (empty()) return false;
    uint8_t* payload = out + 4;
    std::size_t pos = 0;
    bool pusi = false;

    if (offset_ > 0) {
        const Section& cur = pending_.front();
        const std::size_t rem = cur.size() - offset_;
        const bool startsHere = pack_ && pending_.size() > 1 && tailLeavesRoomForAStart();
        if (startsHere) {
            pusi = true;
            payload[pos++] = static_cast<uint8_t>(rem);
        }
        const std::size_t n = std::min(rem, kPayloadSize - pos);
        std::memcpy(payload + pos, cur.data() + offset_, n);
        pos += n;
        offset_ += n;
        if (offset_ < cur.size()) {
            writeHeader(out, pid_, false, kPayloadOnly, cc);
            return true;
        }
        pending_.pop_front();
        offset_ = 0;
        if (!startsHere) {
            std::memset(payload + pos, 0xFF, kPayloadSize - pos);
            writeHeader(out, pid_, false, kPayloadOnly, cc);
            return true;
        }
    } else {
        pusi = true;
        payload[pos++] = 0;  // pointer_field
    }

    // Section starts from `pos` on: whole sections while they fit (packing), or one.
    while (!pending_.empty()) {
        const Section& s = pending_.front();
        const std::size_t n = std::min(s.size(), kPayloadSize - pos);
        std::memcpy(payload + pos, s.data(), n);
        pos += n;
        if (n < s.size()) {
            offset_ = n;
            break;
        }
        pending_.pop_front();
        if (!pack_ || kPayloadSize - pos < kMinStartRoom) break;
    }
    std::memset(payload + pos, 0xFF, kPayloadSize - pos);
    writeHeader(out, pid_, pusi, kPayloadOnly, cc);
    return true;
}

std::vector<uint8_t> packetizeSections(uint16_t pid, const std::vector<Section>& sections,
                                       unsigned& cc, bool pack) {
    SectionPacketizer pk(pid, pack);
    for (const Section& s : sections)
        pk.push(s);
    std::vector<uint8_t> out;
    uint8_t packet[kPacketSize];
    while (pk.nextPacket(packet, cc)) {
        out.insert(out.end(), packet, packet + kPacketSize);
        cc = (cc + 1) & 0x0F;
    }
    return out;
}

}  // namespace tsgen
