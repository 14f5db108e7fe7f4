// Carries sections on one PID: the first packet of a section has payload_unit_start_indicator
// set and a pointer_field, the rest follow as continuation packets, and 0xFF stuffing fills the
// packet after the last section. Continuity counters are the caller's (one per PID).
//
// Packing (option): a new section may start in the packet where the previous one ends, right
// after it (pointer_field = bytes of the previous section's tail), provided at least 8 bytes of
// the new section fit, so its whole long-section header lies in the packet that starts it.
// Without packing every section starts at pointer_field 0 of a packet of its own.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "tools/tsgen/sections.h"

namespace tsgen {

class SectionPacketizer {
  public:
    explicit SectionPacketizer(uint16_t pid, bool pack = false) : pid_(pid), pack_(pack) {}

    void push(Section section);
    bool empty() const { return pending_.empty(); }
    uint16_t pid() const { return pid_; }

    // Writes the next 188-byte packet with continuity counter `cc`; false when nothing is pending.
    bool nextPacket(uint8_t* out, unsigned cc);

  private:
    uint16_t pid_;
    bool pack_;
    std::deque<Section> pending_;
    std::size_t offset_ = 0;  // bytes of pending_.front() already sent
};

// All packets of `sections` in order on `pid`; `cc` is the counter of the first packet and is
// left at the value for the next one.
std::vector<uint8_t> packetizeSections(uint16_t pid, const std::vector<Section>& sections,
                                       unsigned& cc, bool pack = false);

}  // namespace tsgen
