// The PES time stamp measurements of a component as plain data: the samples the engine keeps
// (oldest first), the vbv_delay values and the header facts the PES page shows. The PES page, the
// JSON report and any chart writer read these instead of the engine's rings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/pes_timing.h"

namespace orv {

struct AnalysisContext;

struct PesSample {
    double ptsDistanceMs = 0.0, dtsDistanceMs = 0.0;
    double ptsPcrMs = 0.0, dtsPcrMs = 0.0;  // 0 while the program had no PCR
};

struct PesCurveData {
    int programIndex = 0;
    unsigned programNumber = 0, pcrPid = 0, pid = 0;
    bool video = false;
    int component = 0;        // the audio component's index (0 for video)
    bool hasPcr = false;      // the program has a PCR: the PCR-relative values mean something
    bool scrambled = false;   // the last packet of the component
    PesHeaderFields header;   // of the last PES header
    int64_t pcrEstimate = 0;  // 27 MHz, at the last PES header
    std::vector<PesSample> samples;  // at most 150
    // Video only: vbv_delay of the latest pictures (ms, oldest first, at most 150), the decoder
    // buffer size of the sequence header and the I, P and B tally closed every 100 headers.
    std::vector<double> vbvDelayMs;
    std::optional<uint64_t> vbvBufferSizeBits;
    std::optional<std::array<uint32_t, 3>> pictureTally;
};

// The newest `limit` ring entries in time order, counted from how many the engine has written.
std::vector<PesSample> pesSamples(const PesTiming& t, std::size_t limit = kPesRingSize);

// Whether the program's PCR track holds a PCR.
bool programHasPcr(const AnalysisContext& ctx, int programIndex);

// The video component (when present) and the audio components of one program, or of every
// program in table order.
std::vector<PesCurveData> pesCurveData(const AnalysisContext& ctx, int programIndex);
std::vector<PesCurveData> pesCurveData(const AnalysisContext& ctx);

// "%d : %d :%d" of the I, P and B tally.
std::string pictureTallyText(const std::array<uint32_t, 3>& tally);

}  // namespace orv
