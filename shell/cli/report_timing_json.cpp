#include "shell/cli/report_timing_json.h"
#include "shell/cli/json_values.h"

namespace orv::cli {
namespace {

using nlohmann::json;

json histogramJson(const PcrCurveData& d) {
    json jitter = json::array();
    for (int b = 0; b < kPcrJitterBins; ++b) {
        jitter.push_back({{"fromNs", orNull(jitterBinFrom(b))},
                          {"toNs", orNull(jitterBinTo(b))},
                          {"count", d.jitterCounts[b]},
                          {"percent", d.jitterPercent[b]}});
    }
    json interval = json::array();
    for (int b = 0; b < kPcrIntervalBins; ++b) {
        interval.push_back({{"aboveMs", intervalBinAbove(b)},
                            {"upToMs", orNull(intervalBinUpTo(b))},
                            {"count", d.intervalCounts[b]},
                            {"percent", d.intervalPercent[b]}});
    }
    return {{"samples", d.histogramSamples}, {"jitter", jitter}, {"interval", interval}};
}

}  // namespace

json pcrCurvesJson(const AnalysisReport& r) {
    // Seconds into the stream of a packet number, at the stream bitrate.
    const double secondsPerPacket =
        r.bitrateCurrent > 0.0 ? r.packetLength * 8.0 / (r.bitrateCurrent * 1e6) : 0.0;
    json out = json::array();
    for (const PcrCurveData& d : r.pcrCurves) {
        json packet = json::array(), time = json::array(), pcr = json::array(),
             jitter = json::array(), interval = json::array(), disc = json::array();
        for (const PcrSample& s : d.samples) {
            packet.push_back(s.packet);
            time.push_back(static_cast<double>(s.packet) * secondsPerPacket);
            pcr.push_back(s.pcr);
            jitter.push_back(s.jitterNs);
            interval.push_back(s.intervalMs);
            disc.push_back(s.discontinuity);
        }
        const PcrStatistics& st = d.statistics;
        out.push_back({{"program", d.programNumber},
                       {"pmtPid", d.pmtPid},
                       {"pcrPid", d.pcrPid},
                       {"statistics",
                        {{"jitterNs",
                          {{"current", st.currentJitterNs},
                           {"max", st.largestJitterNs},
                           {"min", st.smallestJitterNs}}},
                         {"intervalMs",
                          {{"current", st.currentIntervalMs},
                           {"max", st.longestIntervalMs},
                           {"min", st.shortestIntervalMs}}}}},
                       {"samples",
                        {{"packet", packet},
                         {"streamTime", time},
                         {"pcr", pcr},
                         {"jitterNs", jitter},
                         {"intervalMs", interval},
                         {"discontinuity", disc}}},
                       {"histograms", histogramJson(d)}});
    }
    return out;
}

json pesJson(const AnalysisReport& r) {
    json out = json::array();
    for (const PesCurveData& d : r.pes) {
        json ptsDist = json::array(), dtsDist = json::array(), ptsPcr = json::array(),
             dtsPcr = json::array();
        for (const PesSample& s : d.samples) {
            ptsDist.push_back(s.ptsDistanceMs);
            dtsDist.push_back(s.dtsDistanceMs);
            ptsPcr.push_back(s.ptsPcrMs);
            dtsPcr.push_back(s.dtsPcrMs);
        }
        // Without a PCR the delays have no time base: they are left out, not shown as 0.
        if (!d.hasPcr) ptsPcr = dtsPcr = nullptr;
        json latest = nullptr;
        if (!d.samples.empty()) {
            const PesSample& s = d.samples.back();
            latest = {{"ptsDistanceMs", s.ptsDistanceMs},
                      {"dtsDistanceMs", s.dtsDistanceMs},
                      {"ptsPcrMs", d.hasPcr ? json(s.ptsPcrMs) : json(nullptr)},
                      {"dtsPcrMs", d.hasPcr ? json(s.dtsPcrMs) : json(nullptr)}};
        }
        json item = {{"program", d.programNumber},
                     {"pid", d.pid},
                     {"type", d.video ? "video" : "audio"},
                     {"component", d.component},
                     {"pcrPid", d.pcrPid},
                     {"hasPcr", d.hasPcr},
                     {"scrambled", d.scrambled},
                     {"streamId", d.header.streamId},
                     {"ptsDtsFlags", d.header.ptsDtsFlags},
                     {"latest", latest},
                     {"samples",
                      {{"ptsDistanceMs", ptsDist},
                       {"dtsDistanceMs", dtsDist},
                       {"ptsPcrMs", ptsPcr},
                       {"dtsPcrMs", dtsPcr}}}};
        if (d.video) {
            item["vbvDelayMs"] = d.vbvDelayMs;
            item["vbvBufferSizeBits"] = orNull(d.vbvBufferSizeBits);
            item["pictureTally"] = d.pictureTally ? json{{"i", (*d.pictureTally)[0]},
                                                         {"p", (*d.pictureTally)[1]},
                                                         {"b", (*d.pictureTally)[2]}}
                                                  : json(nullptr);
        }
        out.push_back(std::move(item));
    }
    return out;
}

}  // namespace orv::cli
