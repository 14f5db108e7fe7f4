// Charts as inline SVG text for reports that must open anywhere without scripts: line charts of
// measured series (PCR intervals and jitter, PES delays) with their limit lines, and histograms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

struct ChartSeries {
    std::string name;
    std::vector<double> x, y;  // same length; x ascending
};

// A horizontal line across the plot, such as a limit the measurement must stay within.
struct ChartLimit {
    double y = 0.0;
    std::string label;
};

struct LineChart {
    std::string kind;  // class of the svg element, so a reader (or a test) can find the chart
    std::string title, xLabel, yLabel;
    std::vector<ChartSeries> series;
    std::vector<ChartLimit> limits;
    int width = 520, height = 260;
};

struct HistogramChart {
    std::string kind;
    std::string title, xLabel;
    std::vector<std::string> binLabels;
    std::vector<uint64_t> counts;  // one per label
    int width = 520, height = 260;
};

std::string lineChartSvg(const LineChart& chart);
std::string histogramSvg(const HistogramChart& chart);

// At most 2 x buckets points: each bucket of consecutive points keeps its lowest and its highest
// value in their order, so a single spike in a long series survives the reduction.
ChartSeries decimated(const ChartSeries& series, std::size_t buckets);

// Text for the body of an XML or HTML element or attribute value.
std::string markupEscaped(const std::string& text);

}  // namespace orv
