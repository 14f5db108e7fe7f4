// `orv01 analyze FILE --html REPORT.html`: one self-contained page to attach to a ticket or send
// to a vendor. It opens in any browser without network or scripts: the verdict by priority with
// lamps, the events, the structure, the tables, and the PCR, PES and buffer measurements drawn as
// inline SVG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "presentation/svg_chart.h"
#include "shell/cli/analysis_report.h"

namespace orv::cli {

struct HtmlPcrPlot {
    unsigned programNumber = 0, pcrPid = 0;
    ChartSeries intervalMs, jitterNs;  // x: seconds into the stream
    std::vector<std::string> intervalBins, jitterBins;
    std::vector<uint64_t> intervalCounts, jitterCounts;
};

struct HtmlPesPlot {
    unsigned programNumber = 0, pid = 0;
    std::string component;              // "video" or "audio N"
    std::vector<ChartSeries> delaysMs;  // x: seconds into the stream
};

struct HtmlReportInput {
    const AnalysisReport* report = nullptr;
    uint64_t fileBytes = 0;
    std::string generatedAt;  // local time of the run, as the reader will quote it
    std::vector<HtmlPcrPlot> pcr;
    std::vector<HtmlPesPlot> pes;
};

std::string htmlReport(const HtmlReportInput& input);

}  // namespace orv::cli
