#include "presentation/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace orv {
namespace {

constexpr const char* kPalette[] = {"#1f6fb5", "#d9822b", "#2e9d5b", "#b93a3a",
                                    "#7a4fb8", "#0f8b8d", "#8c6d1f", "#c2478f"};
constexpr int kLeft = 68, kRight = 16, kTop = 30, kBottom = 44;

std::string number(double v, const char* fmt = "%.6g") {
    if (v == 0.0) v = 0.0;  // no "-0"
    char buf[48];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string px(double v) {
    return number(v, "%.1f");
}

struct Axis {
    double low = 0.0, high = 1.0, step = 0.2;
    double span() const { return high - low; }
};

// Round numbers for the ticks: steps of 1, 2 or 5 times a power of ten, about five of them.
Axis niceAxis(double low, double high) {
    if (!std::isfinite(low) || !std::isfinite(high)) return {};
    if (high < low) std::swap(low, high);
    if (high == low) {
        const double pad = low == 0.0 ? 1.0 : std::fabs(low) * 0.1;
        low -= pad;
        high += pad;
    }
    const double raw = (high - low) / 5.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / magnitude;
    const double step = (f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0 : f <= 5.0 ? 5.0 : 10.0) * magnitude;
    return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

std::string svgOpen(const std::string& kind, int width, int height, const std::string& title) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart " + markupEscaped(kind) +
           "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
           "\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) +
           "\" role=\"img\"><title>" + markupEscaped(title) + "</title>" +
           "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>" + "<text x=\"" +
           std::to_string(kLeft) +
           "\" y=\"18\" font-size=\"13\" font-weight=\"600\" fill=\"#1b2733\">" +
           markupEscaped(title) + "</text>";
}

std::string text(double x, double y, const std::string& s, const char* anchor,
                 const char* extra = "", const char* fill = "#4a5560") {
    return "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" + anchor +
           "\" font-size=\"10\" fill=\"" + fill + "\"" + extra + ">" + markupEscaped(s) + "</text>";
}

}  // namespace

std::string markupEscaped(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

ChartSeries decimated(const ChartSeries& in, std::size_t buckets) {
    const std::size_t n = std::min(in.x.size(), in.y.size());
    if (buckets == 0 || n <= 2 * buckets) {
        ChartSeries out = in;
        out.x.resize(n);
        out.y.resize(n);
        return out;
    }
    ChartSeries out{in.name, {}, {}};
    out.x.reserve(2 * buckets);
    out.y.reserve(2 * buckets);
    for (std::size_t b = 0; b < buckets; ++b) {
        const std::size_t first = b * n / buckets, last = (b + 1) * n / buckets;
        std::size_t lo = first, hi = first;
        for (std::size_t i = first; i < last; ++i) {
            if (in.y[i] < in.y[lo]) lo = i;
            if (in.y[i] > in.y[hi]) hi = i;
        }
        const std::size_t a = std::min(lo, hi), z = std::max(lo, hi);
        out.x.push_back(in.x[a]);
        out.y.push_back(in.y[a]);
        if (z != a) {
            out.x.push_back(in.x[z]);
            out.y.push_back(in.y[z]);
        }
    }
    return out;
}

std::string lineChartSvg(const LineChart& c) {
    double xLow = std::numeric_limits<double>::infinity(), xHigh = -xLow;
    double yLow = xLow, yHigh = -xLow;
    for (const ChartSeries& s : c.series) {
        const std::size_t n = std::min(s.x.size(), s.y.size());
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
            xLow = std::min(xLow, s.x[i]);
            xHigh = std::max(xHigh, s.x[i]);
            yLow = std::min(yLow, s.y[i]);
            yHigh = std::max(yHigh, s.y[i]);
        }
    }
    const bool empty = !(xLow <= xHigh);
    for (const ChartLimit& l : c.limits) {
        if (empty || !std::isfinite(l.y)) continue;
        yLow = std::min(yLow, l.y);
        yHigh = std::max(yHigh, l.y);
    }
    const int plotW = c.width - kLeft - kRight, plotH = c.height - kTop - kBottom;
    std::string out = svgOpen(c.kind, c.width, c.height, c.title);
    out += "<rect x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kTop) + "\" width=\"" +
           std::to_string(plotW) + "\" height=\"" + std::to_string(plotH) +
           "\" fill=\"#f7f9fb\" stroke=\"#c9d1d9\"/>";
    if (empty) {
        out += text(kLeft + plotW / 2.0, kTop + plotH / 2.0, "no data", "middle");
        return out + "</svg>";
    }
    // The time axis spans the data exactly (ticks at round steps inside it); the value axis is
    // widened to round numbers so the grid lines carry readable labels.
    Axis xa = niceAxis(xLow, xHigh);
    if (xHigh > xLow) {
        xa.low = xLow;
        xa.high = xHigh;
    }
    const Axis ya = niceAxis(yLow, yHigh);
    auto sx = [&](double x) { return kLeft + (x - xa.low) / xa.span() * plotW; };
    auto sy = [&](double y) { return kTop + plotH - (y - ya.low) / ya.span() * plotH; };

    for (double t = ya.low; t <= ya.high + ya.step / 2; t += ya.step) {
        out += "<line x1=\"" + std::to_string(kLeft) + "\" x2=\"" + std::to_string(kLeft + plotW) +
               "\" y1=\"" + px(sy(t)) + "\" y2=\"" + px(sy(t)) + "\" stroke=\"#e3e8ee\"/>";
        out += text(kLeft - 6, sy(t) + 3, number(std::fabs(t) < ya.step * 1e-9 ? 0.0 : t), "end");
    }
    for (double t = std::ceil(xa.low / xa.step - 1e-9) * xa.step; t <= xa.high + xa.step * 1e-9;
         t += xa.step)
        out += text(sx(t), kTop + plotH + 14, number(std::fabs(t) < xa.step * 1e-9 ? 0.0 : t),
                    "middle");
    out += text(kLeft + plotW / 2.0, c.height - 8, c.xLabel, "middle");
    out += text(14, kTop + plotH / 2.0, c.yLabel, "middle",
                (" transform=\"rotate(-90 14 " + px(kTop + plotH / 2.0) + ")\"").c_str());

    for (const ChartLimit& l : c.limits) {
        if (!std::isfinite(l.y)) continue;
        out += "<line class=\"limit\" x1=\"" + std::to_string(kLeft) + "\" x2=\"" +
               std::to_string(kLeft + plotW) + "\" y1=\"" + px(sy(l.y)) + "\" y2=\"" + px(sy(l.y)) +
               "\" stroke=\"#c0392b\" stroke-dasharray=\"5 4\"/>";
        out += text(kLeft + plotW - 4, sy(l.y) - 4, l.label, "end", "", "#c0392b");
    }
    std::size_t colour = 0;
    for (const ChartSeries& s : c.series) {
        const char* stroke = kPalette[colour++ % std::size(kPalette)];
        out += "<polyline class=\"series\" fill=\"none\" stroke-width=\"1.3\" stroke=\"" +
               std::string(stroke) + "\" points=\"";
        const std::size_t n = std::min(s.x.size(), s.y.size());
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
            out += px(sx(s.x[i])) + "," + px(sy(s.y[i])) + " ";
        }
        out += "\"><title>" + markupEscaped(s.name) + "</title></polyline>";
    }
    if (c.series.size() > 1) {  // legend
        double x = kLeft + 8;
        colour = 0;
        for (const ChartSeries& s : c.series) {
            const char* stroke = kPalette[colour++ % std::size(kPalette)];
            out += "<rect x=\"" + px(x) + "\" y=\"" + std::to_string(kTop + 6) +
                   "\" width=\"10\" height=\"3\" fill=\"" + stroke + "\"/>";
            out += text(x + 14, kTop + 10, s.name, "start");
            x += 24 + 6.5 * static_cast<double>(s.name.size());
        }
    }
    return out + "</svg>";
}

std::string histogramSvg(const HistogramChart& c) {
    const int plotW = c.width - kLeft - kRight, plotH = c.height - kTop - kBottom - 16;
    std::string out = svgOpen(c.kind, c.width, c.height, c.title);
    const std::size_t bins = std::min(c.binLabels.size(), c.counts.size());
    uint64_t most = 0;
    for (std::size_t i = 0; i < bins; ++i)
        most = std::max(most, c.counts[i]);
    out += "<rect x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kTop) + "\" width=\"" +
           std::to_string(plotW) + "\" height=\"" + std::to_string(plotH) +
           "\" fill=\"#f7f9fb\" stroke=\"#c9d1d9\"/>";
    if (bins == 0 || most == 0) {
        out += text(kLeft + plotW / 2.0, kTop + plotH / 2.0, "no data", "middle");
        return out + "</svg>";
    }
    const Axis ya = niceAxis(0.0, static_cast<double>(most));
    for (double t = 0.0; t <= ya.high + ya.step / 2; t += ya.step) {
        const double y = kTop + plotH - t / ya.high * plotH;
        out += "<line x1=\"" + std::to_string(kLeft) + "\" x2=\"" + std::to_string(kLeft + plotW) +
               "\" y1=\"" + px(y) + "\" y2=\"" + px(y) + "\" stroke=\"#e3e8ee\"/>";
        out += text(kLeft - 6, y + 3, number(t), "end");
    }
    const double slot = static_cast<double>(plotW) / static_cast<double>(bins);
    for (std::size_t i = 0; i < bins; ++i) {
        const double h = static_cast<double>(c.counts[i]) / ya.high * plotH;
        const double x = kLeft + slot * static_cast<double>(i);
        out += "<rect class=\"bin\" x=\"" + px(x + slot * 0.12) + "\" y=\"" + px(kTop + plotH - h) +
               "\" width=\"" + px(slot * 0.76) + "\" height=\"" + px(h) +
               "\" fill=\"#1f6fb5\"><title>" + markupEscaped(c.binLabels[i]) + ": " +
               std::to_string(c.counts[i]) + "</title></rect>";
        const double lx = x + slot / 2, ly = kTop + plotH + 10;
        out += text(lx, ly, c.binLabels[i], "end",
                    (" transform=\"rotate(-40 " + px(lx) + " " + px(ly) + ")\"").c_str());
    }
    out += text(kLeft + plotW / 2.0, c.height - 6, c.xLabel, "middle");
    return out + "</svg>";
}

}  // namespace orv
