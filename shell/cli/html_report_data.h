// Gathers what the HTML report draws: every PCR and PES timing measurement of the run as it is
// made (in bounded memory), and the histograms and statistics the context holds at the end.
#pragma once

#include <string>
#include <vector>

#include "engine/measurement_observer.h"
#include "presentation/series_reducer.h"
#include "shell/cli/html_report.h"

namespace orv {
struct AnalysisContext;
}

namespace orv::cli {

class TimingCollector final : public MeasurementObserver {
  public:
    // Reads the program table of `ctx` when a measurement arrives (on the analysing thread).
    explicit TimingCollector(const AnalysisContext& ctx) : ctx_(ctx) {}

    void pcrMeasured(int programIndex, uint64_t packet, double intervalMs,
                     int32_t jitterNs) override;
    void pesMeasured(int programIndex, int component, uint64_t packet, double ptsPcrMs,
                     double dtsPcrMs) override;

    // After the run: the curves, with x in seconds into the stream at the mean rate, and the
    // PCR histograms of the run. The caller holds ctx.mutex or is the only thread using it.
    void addTo(HtmlReportInput& input) const;

  private:
    struct PcrCurves {
        unsigned program, pid;
        SeriesReducer interval{}, jitter{};
    };
    struct PesCurves {
        unsigned program, pid;
        int component;
        SeriesReducer pts{}, dts{};
    };

    const AnalysisContext& ctx_;
    std::vector<PcrCurves> pcr_;
    std::vector<PesCurves> pes_;
};

}  // namespace orv::cli
