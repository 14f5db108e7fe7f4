// Assembly of one PSI section from the payloads of the packets of its PID into a fixed buffer.
// A section counts as complete when the next section start of the same table arrives.
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

    bool idle() const { return length == 0; }
    void clear() {
        length = 0;
        complete = false;
    }
};

// Which section starts a collector takes: one table_id and, for PMTs, the program_number carried
// in table_id_extension (section bytes 3 and 4). extension < 0 accepts any.
struct SectionAccept {
    uint8_t tableId = 0;
    int extension = -1;
};

// How a collector closes a section.
//   BlockDriver: a new accepted start completes the section under way, its handler runs, and the
//                new section is started from the same packet once the collector is idle again.
//   InitPhase:   a new accepted start only completes the section under way (it is not started);
//                the handler runs after the packet.
// In both, the bytes of a start packet before the pointer target (the tail of the section under
// way, pointer_field > 0) are appended to the section under way first, whatever starts there.
enum class CompletionVariant { BlockDriver, InitPhase };

enum class FeedResult {
    Ignored,    // no payload, an idle collector's continuation, no readable table_id (or extension)
    Appended,   // continuation bytes were added
    Started,    // a new section was started
    Rejected,   // a section start whose table_id (or extension) is not accepted
    Completed,  // the section under way was completed and handed to the handler
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

// Core step shared by both variants; the handler is called with the collector when a section is
// complete and is expected to empty it (SectionCollector::clear) before it looks at the CRC.
// `packet` must hold 188 readable bytes; nothing beyond them is read whatever the pointer_field,
// adaptation_field_length or section header say. A section start whose table_id lies beyond the
// packet is Ignored and leaves the collector as it was; one whose table_id_extension (for an
// accepting extension) lies beyond it is Ignored too, once the tail before it has been appended.
// handler may be null: the section is then only marked complete.
// Completed means the handler ran; in the BlockDriver variant the new section has then also been
// started when the handler emptied the collector.
FeedResult feedPacketStep(SectionCollector& c, const uint8_t* packet, SectionAccept accept,
                          CompletionVariant variant, void (*handler)(SectionCollector&, void*),
                          void* handlerArg);

template <class Handler>
FeedResult feedPacket(SectionCollector& c, const uint8_t* packet, SectionAccept accept,
                      CompletionVariant variant, Handler&& handler) {
    using H = std::remove_reference_t<Handler>;
    auto thunk = [](SectionCollector& col, void* arg) { (*static_cast<H*>(arg))(col); };
    return feedPacketStep(c, packet, accept, variant, thunk,
                          const_cast<void*>(static_cast<const void*>(&handler)));
}

// Bytes of the collected section that may be read: 3 + section_length when that fits within both
// the collected bytes and the buffer, otherwise 0 (a section that cannot be whole).
int usableSectionLength(const SectionCollector& c);

// A completed section as the handlers see it: its first byte is the table_id.
using SectionBytes = std::span<const uint8_t>;

// What a handler does first: empties the collector and returns the whole section it held
// (3 + section_length bytes), or an empty span when the section was not wholly collected. The
// bytes stay in the collector's buffer until the next packet is fed to it.
SectionBytes takeSection(SectionCollector& c);

// True when the section is whole and its CRC over all its bytes, CRC_32 field included, is 0.
bool sectionIntact(SectionBytes section);

}  // namespace orv
