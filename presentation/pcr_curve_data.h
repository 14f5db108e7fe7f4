// The PCR measurements of a program as plain data: its statistics, the samples the engine keeps
// (oldest first) and the two histograms with the percentages the PCR page draws. The PCR page,
// the JSON report and any chart writer read these instead of the engine's rings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/pcr_track.h"

namespace orv {

struct AnalysisContext;

struct PcrSample {
    uint64_t packet = 0;  // packetCounter at which the PCR arrived
    int64_t pcr = 0;      // 27 MHz
    int32_t jitterNs = 0;
    double intervalMs = 0.0;  // 0 for a PCR that had no predecessor
    bool discontinuity = false;
};

struct PcrStatistics {
    int32_t currentJitterNs = 0, largestJitterNs = 0, smallestJitterNs = 0;
    double currentIntervalMs = 0.0, longestIntervalMs = 0.0, shortestIntervalMs = 0.0;
};

struct PcrCurveData {
    int programIndex = 0;
    unsigned programNumber = 0, pmtPid = 0, pcrPid = 0;
    PcrStatistics statistics;
    std::vector<PcrSample> samples;  // the stored PCRs in time order, at most 300
    uint64_t histogramSamples = 0;   // the jitter samples count both histograms are divided by
    std::array<uint64_t, kPcrJitterBins> jitterCounts{};
    std::array<int, kPcrJitterBins> jitterPercent{};  // as drawn: the 2 % rule applied
    std::array<uint64_t, kPcrIntervalBins> intervalCounts{};
    std::array<int, kPcrIntervalBins> intervalPercent{};
};

// One PCR ring slot copied out in time order.
struct PcrSlot {
    int64_t pcr = 0;  // <= 0: the slot holds no PCR
    uint64_t packet = 0;
    int32_t jitterNs = 0;
    double intervalMs = 0.0;
    uint32_t discontinuity = 0;
};
// The 300 slots oldest first: while the ring has not wrapped the empty slots come first.
std::array<PcrSlot, kPcrRingSize> pcrRingInTimeOrder(const PcrTrack& track);

// A bar of a PCR histogram in whole percent of `samples`: a share above 0.5 % and below 2 % is
// drawn as 2 % so that rare values stay visible; 0 without samples.
int histogramPercent(uint64_t count, uint64_t samples);

// The programs the PCR statistics list shows: a valid PMT, at least one component, and a track
// that holds at least one PCR. In program table order.
std::vector<PcrCurveData> pcrCurveData(const AnalysisContext& ctx);
// One program of the table; nullopt when it has no such track.
std::optional<PcrCurveData> pcrCurveData(const AnalysisContext& ctx, int programIndex);

// Bin bounds, for labels and reports. Jitter bin i holds the integer jitters from
// jitterBinFrom(i) to jitterBinTo(i) (nullopt: open end); interval bin i holds intervals above
// intervalBinAbove(i) up to intervalBinUpTo(i) ms.
std::optional<int32_t> jitterBinFrom(int bin);
std::optional<int32_t> jitterBinTo(int bin);
double intervalBinAbove(int bin);
std::optional<double> intervalBinUpTo(int bin);

// The label strips under the two histograms.
inline constexpr std::string_view kJitterHistogramLabels =
    "-<155 135 115 95 75  55 45 35  25 15  5 0 5  15 25 35  45 55  75 95 115 135 155>+(x10ns)  ";
inline constexpr std::string_view kIntervalHistogramLabels =
    " 0    5   10   15    20   25   30    35   40   50    60   70   80   90   100  > (ms)  ";

}  // namespace orv
