#include "shell/cli/html_report_data.h"

#include <algorithm>
#include <cstdio>

#include "engine/analysis_context.h"
#include "engine/pcr_analysis.h"

namespace orv::cli {
namespace {

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::vector<std::string> intervalBinLabels() {
    std::vector<std::string> labels;
    double low = 0;
    for (double upper : pcrIntervalBinUpperMs()) {
        labels.push_back(number(low) + "-" + number(upper));
        low = upper;
    }
    labels.push_back("> " + number(low));
    return labels;
}

std::vector<std::string> jitterBinLabels() {
    std::vector<std::string> labels;
    const std::span<const int32_t> lower = pcrJitterBinLowerNs();
    labels.push_back("< " + number(lower.front()));
    for (std::size_t i = 0; i + 1 < lower.size(); ++i)
        labels.push_back(number(lower[i]) + ".." + number(lower[i + 1] - 1));
    labels.push_back(">= " + number(lower.back()));
    return labels;
}

ChartSeries inSeconds(ChartSeries s, double secondsPerPacket) {
    for (double& x : s.x)
        x *= secondsPerPacket;
    return s;
}

}  // namespace

void TimingCollector::pcrMeasured(int programIndex, uint64_t packet, double intervalMs,
                                  int32_t jitterNs) {
    if (programIndex < 0 || programIndex >= ctx_.programCount()) return;
    const ProgramEntry& p = ctx_.programs[static_cast<std::size_t>(programIndex)];
    PcrCurves* curves = nullptr;
    for (PcrCurves& c : pcr_)
        if (c.program == p.programNumber && c.pid == p.pcrPid) curves = &c;
    if (curves == nullptr) curves = &pcr_.emplace_back(PcrCurves{p.programNumber, p.pcrPid});
    curves->interval.add(double(packet), intervalMs);
    curves->jitter.add(double(packet), jitterNs);
}

void TimingCollector::pesMeasured(int programIndex, int component, uint64_t packet, double ptsPcrMs,
                                  double dtsPcrMs) {
    if (programIndex < 0 || programIndex >= ctx_.programCount()) return;
    const ProgramEntry& p = ctx_.programs[static_cast<std::size_t>(programIndex)];
    if (component >= p.audioCount) return;
    const unsigned pid = component < 0 ? p.video.pid : p.audio[std::size_t(component)].pid;
    PesCurves* curves = nullptr;
    for (PesCurves& c : pes_)
        if (c.program == p.programNumber && c.pid == pid) curves = &c;
    if (curves == nullptr) curves = &pes_.emplace_back(PesCurves{p.programNumber, pid, component});
    curves->pts.add(double(packet), ptsPcrMs);
    curves->dts.add(double(packet), dtsPcrMs);
}

void TimingCollector::addTo(HtmlReportInput& in) const {
    const AnalysisReport& r = *in.report;
    const double secondsPerPacket =
        r.bitrateMean > 0 ? r.packetLength * 8 / (r.bitrateMean * 1e6) : 0.0;
    const std::vector<PcrTrack>& tracks = ctx_.timing.pcrTracks;
    for (const PcrCurves& c : pcr_) {
        HtmlPcrPlot plot;
        plot.programNumber = c.program;
        plot.pcrPid = c.pid;
        plot.intervalMs = inSeconds(c.interval.series("interval"), secondsPerPacket);
        plot.jitterNs = inSeconds(c.jitter.series("jitter"), secondsPerPacket);
        plot.intervalBins = intervalBinLabels();
        plot.jitterBins = jitterBinLabels();
        // The histograms of the run are the program's track's, while the program is still there.
        for (std::size_t i = 0; i < tracks.size() && i < ctx_.programs.size(); ++i) {
            if (ctx_.programs[i].programNumber != c.program || tracks[i].pcrPid != c.pid) continue;
            plot.intervalCounts.assign(tracks[i].intervalHistogram.begin(),
                                       tracks[i].intervalHistogram.end());
            plot.jitterCounts.assign(tracks[i].jitterHistogram.begin(),
                                     tracks[i].jitterHistogram.end());
        }
        in.pcr.push_back(std::move(plot));
    }
    for (const PesCurves& c : pes_) {
        HtmlPesPlot plot;
        plot.programNumber = c.program;
        plot.pid = c.pid;
        plot.component = c.component < 0 ? "video" : "audio " + std::to_string(c.component + 1);
        plot.delaysMs.push_back(inSeconds(c.pts.series("PTS - PCR"), secondsPerPacket));
        // Audio headers rarely carry a DTS apart from the PTS: its curve would only repeat.
        if (c.component < 0)
            plot.delaysMs.push_back(inSeconds(c.dts.series("DTS - PCR"), secondsPerPacket));
        in.pes.push_back(std::move(plot));
    }
    // In program order, whichever PCR or PES header came first.
    auto byProgram = [](const auto& a, const auto& b) {
        return a.programNumber != b.programNumber ? a.programNumber < b.programNumber
                                                  : a.pid < b.pid;
    };
    std::stable_sort(in.pcr.begin(), in.pcr.end(), [](const HtmlPcrPlot& a, const HtmlPcrPlot& b) {
        return a.programNumber != b.programNumber ? a.programNumber < b.programNumber
                                                  : a.pcrPid < b.pcrPid;
    });
    std::stable_sort(in.pes.begin(), in.pes.end(), byProgram);
}

}  // namespace orv::cli
