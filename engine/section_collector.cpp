#include "engine/section_collector.h"

#include <algorithm>
#include <cstring>

#include "engine/packet_header.h"
#include "engine/section_crc.h"

namespace orv {

namespace {

constexpr unsigned kPacketBytes = static_cast<unsigned>(kTsPacketSize);

// Copies the section start (from its table_id to the end of the packet) into an idle collector.
void startSection(SectionCollector& c, const uint8_t* packet, unsigned sectionOffset) {
    const unsigned count = kPacketBytes - sectionOffset;  // 1..184: always fits the buffer
    std::memcpy(c.bytes.data(), packet + sectionOffset, count);
    c.length = static_cast<int>(count);
    c.complete = false;
}

// Appends packet bytes [from, to) to the section under way; what does not fit the buffer is
// dropped.
void appendBytes(SectionCollector& c, const uint8_t* packet, unsigned from, unsigned to) {
    const int room = kSectionBufferSize - c.length;
    const int count = std::min(static_cast<int>(to) - static_cast<int>(from), room);
    if (count <= 0) return;
    std::memcpy(c.bytes.data() + c.length, packet + from, static_cast<std::size_t>(count));
    c.length += count;
}

void complete(SectionCollector& c, void (*handler)(SectionCollector&, void*), void* handlerArg) {
    c.complete = true;
    if (handler) handler(c, handlerArg);
}

}  // namespace

SectionStartInfo sectionStart(const uint8_t* packet) {
    SectionStartInfo info;
    if (!payloadUnitStart(packet)) return info;
    const unsigned payload = payloadOffset(packet);
    if (payload >= kPacketBytes) return info;  // no payload byte to hold the pointer_field
    const unsigned offset = payload + 1u + packet[payload];
    if (offset >= kPacketBytes) return info;  // the pointer_field points past the packet
    info.valid = true;
    info.tailOffset = payload + 1u;
    info.sectionOffset = offset;
    info.tableId = packet[offset];
    return info;
}

FeedResult feedPacketStep(SectionCollector& c, const uint8_t* packet, SectionAccept accept,
                          CompletionVariant variant, void (*handler)(SectionCollector&, void*),
                          void* handlerArg) {
    const unsigned payload = payloadOffset(packet);
    if (payload >= kPacketBytes) return FeedResult::Ignored;

    if (!payloadUnitStart(packet)) {
        if (c.idle()) return FeedResult::Ignored;
        appendBytes(c, packet, payload, kPacketBytes);
        return FeedResult::Appended;
    }

    const SectionStartInfo start = sectionStart(packet);
    if (!start.valid) return FeedResult::Ignored;
    // The bytes before the pointer target end the section under way, whatever starts behind
    // them (a packed stream puts the next section right after the previous one's tail).
    if (!c.idle()) appendBytes(c, packet, start.tailOffset, start.sectionOffset);
    if (start.tableId != accept.tableId) return FeedResult::Rejected;
    if (accept.extension >= 0) {
        // table_id_extension is in section bytes 3 and 4; a start too close to the end of the
        // packet to show them cannot be attributed and is left alone.
        if (start.sectionOffset + 4 >= kPacketBytes) return FeedResult::Ignored;
        const int extension =
            (packet[start.sectionOffset + 3] << 8) | packet[start.sectionOffset + 4];
        if (extension != accept.extension) return FeedResult::Rejected;
    }

    if (variant == CompletionVariant::BlockDriver) {
        FeedResult result = FeedResult::Started;
        if (!c.idle()) {
            complete(c, handler, handlerArg);
            result = FeedResult::Completed;
        }
        if (c.idle()) startSection(c, packet, start.sectionOffset);
        return result;
    }

    // Initialisation phase: a start either opens a section or closes the one under way.
    if (c.idle()) {
        startSection(c, packet, start.sectionOffset);
        return FeedResult::Started;
    }
    complete(c, handler, handlerArg);
    return FeedResult::Completed;
}

int usableSectionLength(const SectionCollector& c) {
    if (c.length < 3) return 0;
    const int total = 3 + (((c.bytes[1] & 0x0F) << 8) | c.bytes[2]);
    if (total > c.length || total > kSectionBufferSize) return 0;
    return total;
}

SectionBytes takeSection(SectionCollector& c) {
    const int length = usableSectionLength(c);
    c.clear();
    return SectionBytes(c.bytes.data(), static_cast<std::size_t>(length));
}

bool sectionIntact(SectionBytes section) {
    return !section.empty() && sectionCrc32(section.data(), section.data() + section.size()) == 0;
}

}  // namespace orv
