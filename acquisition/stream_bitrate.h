// The stream bitrate of an offline file, measured from the PCRs of the initialisation block: the
// packets between two PCRs of a program's PCR PID over the 27 MHz time between them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv {

struct AnalysisContext;

// Walks the block (framing only, no checks), advancing packetCounter for every packet in sync,
// and stores each PCR of a program's PCR PID with its packet counter in that program's ring
// (the PcrTrack records must exist: createPcrTracks). Each
// PCR after the first sets the current bitrate in Mbit/s; rates above 1 Mbit/s also move the
// maximum, minimum and mean. After the walk the current value is the rate of the last pair seen
// (negative across a PCR wrap: then the file cannot be timed).
void measureStreamBitrate(AnalysisContext& ctx, const uint8_t* block, std::size_t length);

}  // namespace orv
