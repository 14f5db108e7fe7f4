// Carries sections on one PID: the first packet of a section has payload_unit_start_indicator
// set and a pointer_field, the rest follow as continuation packets, and 0xFF stuffing fills the
// packet after the last section. Continuity counters are the caller's (one per PID).
//
// Packing (option): a new section may start in the packet where the previous one ends, right
// after it (pointer_field = bytes of the previous section's tail), provided at least 8 bytes of
// the new section fit, so its whole long-section header lies in the packet that starts it.
// Without packing every section starts at pointer_field 0 of a packet of its own.
//
// Continuous (option, implies packing): the PID carries one unbroken run of sections, as some
// multiplexers send their PSI. When a section's last packet would leave room for the start of
// the next one but no next section is queued yet, that packet waits (empty() is true) until the
// next section is pushed; it then carries the tail and the new start behind pointer_field > 0.
// So every section after the first that spans packets shares its tail packet with the next one.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "tools/tsgen/sections.h"

namespace tsgen {

class SectionPacketizer {
  public:
    explicit SectionPacketizer(uint16_t pid, bool pack = false, bool continuous = false)
        : pid_(pid), pack_(pack || continuous), continuous_(continuous) {}

    void push(Section section);
    // Nothing to send now: no section pending, or a continuous PID's tail waits for the next.
    bool empty() const { return pending_.empty() || holdingTail(); }
    uint16_t pid() const { return pid_; }

    // Writes the next 188-byte packet with continuity counter `cc`; false when nothing is pending.
    bool nextPacket(uint8_t* out, unsigned cc);

  private:
    bool tailLeavesRoomForAStart() const;
    bool holdingTail() const {
        return continuous_ && pending_.size() == 1 && offset_ > 0 && tailLeavesRoomForAStart();
    }

    uint16_t pid_;
    bool pack_;
    bool continuous_;
    std::deque<Section> pending_;
    std::size_t offset_ = 0;  // bytes of pending_.front() already sent
};

// All packets of `sections` in order on `pid`; `cc` is the counter of the first packet and is
// left at the value for the next one.
std::vector<uint8_t> packetizeSections(uint16_t pid, const std::vector<Section>& sections,
                                       unsigned& cc, bool pack = false);

}  // namespace tsgen
