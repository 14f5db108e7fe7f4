#include "engine/section_collector.h"

#include <algorithm>
#include <cstring>

#include "engine/packet_header.h"
#include "engine/section_crc.h"

namespace orv {

namespace {

constexpr unsigned kPacketBytes = static_cast<unsigned>(kTsPacketSize);
constexpr int kHeaderBytes = 3;      // table_id and section_length
constexpr int kExtensionEnd = 5;     // table_id_extension is in section bytes 3 and 4
constexpr uint8_t kStuffing = 0xFF;  // after the last section of a packet

// 3 + section_length of the section whose table_id is at `s` (its first three bytes readable).
int declaredLength(const uint8_t* s) {
    return kHeaderBytes + (((s[1] & 0x0F) << 8) | s[2]);
}

int extensionOf(const uint8_t* s) {
    return (s[3] << 8) | s[4];
}

bool whole(const SectionCollector& c) {
    return c.length >= kHeaderBytes && declaredLength(c.bytes.data()) <= c.length;
}

// Bytes the section under way still takes: its header first, then up to its declared end, never
// beyond the buffer.
int stillWanted(const SectionCollector& c) {
    if (c.length < kHeaderBytes) return kHeaderBytes - c.length;
    return std::min(declaredLength(c.bytes.data()), kSectionBufferSize) - c.length;
}

// Appends packet bytes [from, to) to the section under way, as far as they belong to it.
void appendBytes(SectionCollector& c, const uint8_t* packet, unsigned from, unsigned to) {
    while (from < to) {
        const int count = std::min(stillWanted(c), static_cast<int>(to - from));
        if (count <= 0) return;
        std::memcpy(c.bytes.data() + c.length, packet + from, static_cast<std::size_t>(count));
        c.length += count;
        from += static_cast<unsigned>(count);
    }
}

struct Step {
    SectionAccept accept;
    void (*handler)(SectionCollector&, void*);
    void* handlerArg;
    bool handed = false;

    void handOver(SectionCollector& c) {
        c.complete = true;
        handed = true;
        if (handler) handler(c, handlerArg);
    }

    // Hands the section under way over once it is whole; a section whose table_id_extension has
    // shown it to be another's is dropped first.
    void handOverIfWhole(SectionCollector& c) {
        if (c.extensionPending && c.length >= kExtensionEnd) {
            if (extensionOf(c.bytes.data()) != accept.extension) c.clear();
            c.extensionPending = false;
        }
        if (c.idle() || !whole(c)) return;
        if (c.extensionPending) {
            c.clear();  // whole before it named its program: not a section this collector takes
            return;
        }
        handOver(c);
    }
};

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
                          CompletionVariant /*variant*/, void (*handler)(SectionCollector&, void*),
                          void* handlerArg, uint64_t packetNumber) {
    if (c.complete) c.clear();  // left behind by a null handler
    Step step{accept, handler, handlerArg};
    const unsigned payload = payloadOffset(packet);
    if (payload >= kPacketBytes) return FeedResult::Ignored;

    if (!payloadUnitStart(packet)) {
        if (c.idle()) return FeedResult::Ignored;
        appendBytes(c, packet, payload, kPacketBytes);
        step.handOverIfWhole(c);
        if (step.handed) return FeedResult::Completed;
        return c.idle() ? FeedResult::Ignored : FeedResult::Appended;
    }

    const SectionStartInfo start = sectionStart(packet);
    if (!start.valid) return FeedResult::Ignored;

    // The bytes before the pointer target are the last the section under way gets: whatever it
    // lacks after them never comes.
    if (!c.idle()) {
        appendBytes(c, packet, start.tailOffset, start.sectionOffset);
        step.handOverIfWhole(c);
        if (c.extensionPending)
            c.clear();  // never showed whose it was
        else if (!c.idle() && !c.complete)
            step.handOver(c);  // cut short, or longer than the buffer
    }

    bool started = false;
    bool rejected = false;
    for (unsigned at = start.sectionOffset; at < kPacketBytes;) {
        const uint8_t tableId = packet[at];
        if (at != start.sectionOffset && tableId == kStuffing) break;
        // Where the section ends, when its section_length lies inside the packet.
        const unsigned end = at + kHeaderBytes <= kPacketBytes
                                 ? at + static_cast<unsigned>(declaredLength(packet + at))
                                 : kPacketBytes;
        bool accepted = tableId == accept.tableId;
        bool pending = false;
        if (accepted && accept.extension >= 0) {
            if (at + kExtensionEnd <= kPacketBytes)
                accepted = extensionOf(packet + at) == accept.extension;
            else
                pending = true;  // decided when the next packet brings the extension
        }
        if (!accepted) {
            rejected = true;
        } else {
            if (!c.idle()) break;  // a null handler kept its section: collect nothing more
            c.startPacket = packetNumber;
            c.extensionPending = pending;
            appendBytes(c, packet, at, kPacketBytes);
            started = true;
            step.handOverIfWhole(c);
        }
        if (end >= kPacketBytes) break;
        at = end;
    }

    if (rejected) return FeedResult::Rejected;
    if (step.handed) return FeedResult::Completed;
    if (started && !c.idle()) return FeedResult::Started;
    return FeedResult::Ignored;
}

int usableSectionLength(const SectionCollector& c) {
    if (c.length < kHeaderBytes) return 0;
    const int total = declaredLength(c.bytes.data());
    if (total > c.length || total > kSectionBufferSize) return 0;
    return total;
}

int declaredSectionLength(const SectionCollector& c) {
    return c.length < kHeaderBytes ? 0 : declaredLength(c.bytes.data());
}

bool sectionCutShort(const SectionCollector& c) {
    if (c.idle()) return false;
    if (c.length < kHeaderBytes) return true;
    const int total = declaredLength(c.bytes.data());
    return total > c.length && total <= kSectionBufferSize;
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
