#include "shell/cli/html_report_data.h"

#include <algorithm>
#include <numeric>

#include "engine/analysis_context.h"

namespace orv::cli {
namespace {

std::vector<std::string> binNumbers(std::size_t n) {
    std::vector<std::string> labels;
    for (std::size_t i = 1; i <= n; ++i)
        labels.push_back(std::to_string(i));
    return labels;
}

HtmlPcrPlot pcrPlot(const PcrTrack& t, unsigned programNumber, double secondsPerPacket) {
    HtmlPcrPlot plot;
    plot.programNumber = programNumber;
    plot.pcrPid = t.pcrPid;
    plot.intervalMs.name = "interval";
    plot.jitterNs.name = "jitter";
    std::vector<int> slots;
    for (int i = 0; i < kPcrRingSize; ++i)
        if (t.pcr[i] > 0) slots.push_back(i);
    std::sort(slots.begin(), slots.end(),
              [&](int a, int b) { return t.position[a] < t.position[b]; });
    for (int i : slots) {
        const double x = double(t.position[i]) * secondsPerPacket;
        plot.intervalMs.x.push_back(x);
        plot.intervalMs.y.push_back(t.intervalMs[i]);
        plot.jitterNs.x.push_back(x);
        plot.jitterNs.y.push_back(t.jitterNs[i]);
    }
    plot.intervalBins = binNumbers(kPcrIntervalBins);
    plot.jitterBins = binNumbers(kPcrJitterBins);
    plot.intervalCounts.assign(t.intervalHistogram.begin(), t.intervalHistogram.end());
    plot.jitterCounts.assign(t.jitterHistogram.begin(), t.jitterHistogram.end());
    return plot;
}

}  // namespace

void addMeasurements(HtmlReportInput& in, const AnalysisContext& ctx) {
    const AnalysisReport& r = *in.report;
    const double secondsPerPacket =
        r.bitrateMean > 0 ? r.packetLength * 8 / (r.bitrateMean * 1e6) : 0.0;
    const std::vector<PcrTrack>& tracks = ctx.timing.pcrTracks;
    for (std::size_t i = 0; i < tracks.size() && i < ctx.programs.size(); ++i) {
        if (tracks[i].pcrPid == 0) continue;
        in.pcr.push_back(pcrPlot(tracks[i], ctx.programs[i].programNumber, secondsPerPacket));
    }
}

}  // namespace orv::cli
