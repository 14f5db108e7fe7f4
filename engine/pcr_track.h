// PcrTrack: what the PCR analysis keeps per program for the PCR page — the last 300 samples in
// rings, the extremes and the interval and jitter histograms. Allocated once per run, parallel to
// the program table (same index as the ProgramEntry).
#pragma once

#include <array>
#include <cstdint>

namespace orv {

inline constexpr int kPcrRingSize = 300;
inline constexpr int kPcrIntervalBins = 15;
inline constexpr int kPcrJitterBins = 23;
// PCR values run modulo 2^33 x 300 (33-bit base at 90 kHz, 9-bit extension up to 299).
inline constexpr int64_t kPcrModulus = (int64_t{1} << 33) * 300;
// Consecutive PCRs further apart than this (or going backwards) are a PCR discontinuity.
inline constexpr int64_t kPcrDiscontinuityTicks = 100 * 27'000;

struct PcrTrack {
    uint16_t pcrPid = 0;  // 0 = none
    uint64_t packets = 0;
    uint32_t lastCc = 0;

    std::array<int64_t, kPcrRingSize> pcr{};        // 27 MHz: base x 300 + extension; <= 0 empty
    std::array<uint64_t, kPcrRingSize> position{};  // packetCounter of each PCR
    std::array<uint32_t, kPcrRingSize> discontinuity{};
    std::array<double, kPcrRingSize> intervalMs{};
    std::array<int32_t, kPcrRingSize> jitterNs{};
    int ringIndex = 0;    // slot of the next PCR
    uint8_t hasData = 0;  // set with each PCR; the PCR page clears it once it has drawn
    // A packet of the PCR PID announced a new time base (discontinuity_indicator) that no PCR has
    // taken up yet: the next PCR starts a new baseline.
    uint8_t newTimeBasePending = 0;

    int32_t jitterOffsetNs = 0;  // online: mean of the first 100 jitters; offline 0
    uint8_t offsetReady = 0;

    double currentIntervalMs = 0.0;
    double longestIntervalMs = 0.0;  // 0 = none yet
    double shortestIntervalMs = 0.0;
    int32_t currentJitterNs = 0;
    int32_t largestJitterNs = 0;   // largest magnitude, with its sign; 0 = none yet
    int32_t smallestJitterNs = 0;  // smallest magnitude, with its sign
    uint64_t jitterSamples = 0;
    std::array<uint64_t, kPcrJitterBins> jitterHistogram{};
    std::array<uint64_t, kPcrIntervalBins> intervalHistogram{};

    // Slot of the latest stored PCR (the one before ringIndex).
    int latestSlot() const {
        return ringIndex <= 0 || ringIndex > kPcrRingSize ? kPcrRingSize - 1 : ringIndex - 1;
    }
};

}  // namespace orv
