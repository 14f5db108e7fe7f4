// Receives every PCR and PES time stamp measurement of a run as it is made, for outputs that draw
// the whole run (the HTML report); the pages keep only the latest few hundred in their rings.
#pragma once

#include <cstdint>

namespace orv {

class MeasurementObserver {
  public:
    virtual ~MeasurementObserver() = default;
    // A PCR measured against the previous one of its program: the interval at the transport rate
    // and the jitter, at the packet number of the PCR's packet.
    virtual void pcrMeasured(int programIndex, uint64_t packet, double intervalMs,
                             int32_t jitterNs) = 0;
    // A PES header of a program's video (component -1) or audio component (0, 1 ...) with its
    // PTS and DTS against the program's estimated PCR; only once the program has a PCR.
    virtual void pesMeasured(int programIndex, int component, uint64_t packet, double ptsPcrMs,
                             double dtsPcrMs) = 0;
};

}  // namespace orv
