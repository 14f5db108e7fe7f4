// Assembly of one PSI section from the payloads of the packets of its PID into a fixed buffer.
// A section is handed to its handler in the packet where its last byte (3 + section_length)
// arrives; one that is not whole when the next section starts on its PID is handed over cut short.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <type_traits>

#include "engine/limits.h"

namespace orv {

struct SectionCollector {
    std::array<uint8_t, kSectionBufferSize> bytes{};
    int length = 0;  // bytes collected; 0 means idle
    bool complete = false;
    // A section start taken before its table_id_extension arrived (it lay beyond the start
    // packet): dropped without a word if the extension turns out to be another's.
    bool extensionPending = false;
    // The packet number given with the packet where the section held (or last held) started.
    // clear() keeps it, so a handler reads it after takeSection: repetition intervals run from
    // section start to section start.
    uint64_t startPacket = 0;

    bool idle() const { return length == 0; }
    void clear() {
        length = 0;
        complete = false;
        extensionPending = false;
    }
};

// Which section starts a collector takes: one table_id and, for PMTs, the program_number carried
// in table_id_extension (section bytes 3 and 4). extension < 0 accepts any.
struct SectionAccept {
    uint8_t tableId = 0;
    int extension = -1;
};

// The phase that feeds a collector. Both complete a section in the packet where it becomes whole
// and hand it to the handler at once (a packet may complete one section and start others), so
// they behave alike; the variant names the caller's phase.
enum class CompletionVariant { BlockDriver, InitPhase };

// What one packet did to a collector; when several apply, the first listed of Rejected,
// Completed, Started, Appended, Ignored.
enum class FeedResult {
    Ignored,    // nothing collected: no payload, an idle collector's continuation, no readable
                // section start, or a section that turned out to be another program's
    Appended,   // continuation bytes were added and the section is not yet whole
    Started,    // a section was started and is not yet whole
    Rejected,   // a section start whose table_id (or extension) is not accepted
    Completed,  // a section was handed to the handler (whole or cut short)
};

// What a section start in a packet looks like; valid == false when the packet starts no
// section whose table_id lies inside the packet.
struct SectionStartInfo {
    bool valid = false;
    unsigned tailOffset = 0;     // first byte after the pointer_field: [tailOffset, sectionOffset)
                                 // is the tail of the previous section on the PID
    unsigned sectionOffset = 0;  // offset of the table_id within the 188-byte packet
    uint8_t tableId = 0;
};
SectionStartInfo sectionStart(const uint8_t* packet);

// One packet of the collector's PID. `packet` must hold 188 readable bytes; nothing beyond them
// is read whatever the pointer_field, adaptation_field_length or section lengths say.
//  - Continuation (payload_unit_start_indicator 0): appended to the section under way.
//  - Section start: the bytes before the pointer target end the section under way. Then the
//    sections of the packet are walked from the pointer target, each 3 + section_length bytes
//    long and back to back, until a 0xFF stuffing byte or the packet's end; every accepted one is
//    started there.
// Only a section's own bytes are collected (up to 3 + section_length, at most the buffer). A
// section is handed to `handler` as soon as it is whole; one still under way when a section
// start arrives is handed over as it is: cut short (sectionCutShort), or never to be whole
// because it is longer than the buffer. The handler must empty the collector (takeSection)
// before it looks at the CRC. handler may be null: the section is then only marked complete and
// kept, nothing more of the packet is collected, and the next feed drops it.
// `packetNumber` is recorded as the startPacket of each section started from this packet.
FeedResult feedPacketStep(SectionCollector& c, const uint8_t* packet, SectionAccept accept,
                          CompletionVariant variant, void (*handler)(SectionCollector&, void*),
                          void* handlerArg, uint64_t packetNumber = 0);

template <class Handler>
FeedResult feedPacket(SectionCollector& c, const uint8_t* packet, SectionAccept accept,
                      CompletionVariant variant, Handler&& handler, uint64_t packetNumber = 0) {
    using H = std::remove_reference_t<Handler>;
    auto thunk = [](SectionCollector& col, void* arg) { (*static_cast<H*>(arg))(col); };
    return feedPacketStep(c, packet, accept, variant, thunk,
                          const_cast<void*>(static_cast<const void*>(&handler)), packetNumber);
}

// The collector of a first/later pair to feed: the first one until the first valid section has
// been analysed, and after that while it still holds a section it began before.
inline SectionCollector& collectorOfPair(SectionCollector& first, SectionCollector& later,
                                         bool firstFound) {
    return firstFound && first.idle() ? later : first;
}

// Bytes of the collected section that may be read: 3 + section_length when that fits within both
// the collected bytes and the buffer, otherwise 0 (a section that cannot be whole).
int usableSectionLength(const SectionCollector& c);

// 3 + section_length of the section the collector holds, or 0 while its header is not in.
int declaredSectionLength(const SectionCollector& c);

// True when the collector holds a section that was handed over before it was whole although it
// would have fitted the buffer (its header included): it was cut short by the next section
// start, and its CRC cannot be checked. A section longer than the buffer is not cut short.
bool sectionCutShort(const SectionCollector& c);

// A completed section as the handlers see it: its first byte is the table_id.
using SectionBytes = std::span<const uint8_t>;

// What a handler does first: empties the collector and returns the whole section it held
// (3 + section_length bytes), or an empty span when the section was not wholly collected. The
// bytes stay in the collector's buffer until the next packet is fed to it.
SectionBytes takeSection(SectionCollector& c);

// True when the section is whole and its CRC over all its bytes, CRC_32 field included, is 0.
bool sectionIntact(SectionBytes section);

}  // namespace orv
