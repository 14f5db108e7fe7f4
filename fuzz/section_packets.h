// Sections carried on transport packets for the section fuzzer: the sections of one PID follow
// each other in its payload bytes; a packet in which a section starts sets
// payload_unit_start_indicator and a pointer_field to that start. Unlike a muxer it writes
// whatever it is given (any section_length, any size), so the assembly sees every case.
#pragma once

#include <cstdint>
#include <vector>

namespace orv::fuzz {

class SectionPackets {
  public:
    explicit SectionPackets(uint16_t pid) : pid_(pid) {}

    // Queues one section. Unless `pack`, the packet it ends in is closed with 0xFF stuffing.
    void add(const std::vector<uint8_t>& section, bool pack);
    // Closes the last packet with stuffing.
    void flush();
    // Moves the 188-byte packets written so far to the end of `out`.
    void take(std::vector<uint8_t>& out);

  private:
    void emit(bool padLast);

    uint16_t pid_;
    unsigned cc_ = 0;
    std::vector<uint8_t> pending_;     // payload bytes not yet in a packet
    std::vector<std::size_t> starts_;  // offsets of section starts in pending_
    std::vector<uint8_t> packets_;
};

}  // namespace orv::fuzz
