// The stream bitrate of an offline file, measured from the PCRs of the initialisation block: the
// packets between the first and the last PCR of a PCR PID over the 27 MHz time between them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv {

struct AnalysisContext;

// Walks the block (framing only, no checks), advancing packetCounter for every packet in sync,
// and follows the PCRs of each program's PCR PID (the first program of a PID takes it).
//
// The current and mean bitrate become the mean rate of one PCR PID over the block: the packets
// between its first and its last PCR over the PCR time between them. Only spans of one time base
// count: a pair of PCRs across a discontinuity_indicator, or whose second PCR went back (or did
// not move), is left out, and so is a pair further apart than the PCR discontinuity limit of
// 100 ms unless the PID has no closer pair at all. A wrap of the 33-bit PCR base is a step
// forward like any other. Of several PCR PIDs the one with the longest measured span of packets
// times the stream (the first in program order on a tie).
//
// Every measured pair above 1 Mbit/s also moves the maximum and the minimum. Without any measured
// pair the current bitrate is left as it was (0 after the reset): the file cannot be timed.
void measureStreamBitrate(AnalysisContext& ctx, const uint8_t* block, std::size_t length);

}  // namespace orv
