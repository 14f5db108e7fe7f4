#include "shell/cli/html_report.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace orv::cli {
namespace {

std::string esc(const std::string& s) {
    return markupEscaped(s);
}

std::string format(const char* fmt, auto... args) {
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

std::string hex4(unsigned v) {
    return format("0x%04X", v);
}

constexpr const char* kStyle = R"(
:root{--ink:#1b2733;--muted:#5b6875;--line:#d8dee5;--bg:#eef1f4;--card:#fff;--red:#d0342c;
--green:#1f9d55;--navy:#13293d}
*{box-sizing:border-box}
body{margin:0;background:var(--bg);color:var(--ink);font:14px/1.45 "Noto Sans","DejaVu Sans",
"WenQuanYi Zen Hei","Microsoft YaHei",sans-serif}
header{background:var(--navy);color:#fff;padding:18px 28px}
header h1{margin:0;font-size:20px;font-weight:600;letter-spacing:.2px}
header .file{font-family:"DejaVu Sans Mono",monospace;opacity:.85;margin-top:4px;word-break:break-all}
main{max-width:1180px;margin:0 auto;padding:20px 24px 48px}
section{background:var(--card);border:1px solid var(--line);border-radius:6px;margin:18px 0;
padding:16px 20px}
h2{font-size:16px;margin:0 0 12px;color:var(--navy)}
h3{font-size:14px;margin:16px 0 8px}
.facts{display:grid;grid-template-columns:repeat(auto-fill,minmax(170px,1fr));gap:10px}
.fact{border-left:3px solid var(--navy);padding:2px 10px}
.fact b{display:block;font-size:15px}
.fact span{color:var(--muted);font-size:12px}
.verdict{font-size:17px;font-weight:600;padding:12px 16px;border-radius:5px;color:#fff;margin-bottom:14px}
.verdict.bad{background:var(--red)}
.verdict.good{background:var(--green)}
.verdict .which{font-weight:400}
.groups{display:grid;grid-template-columns:repeat(3,1fr);gap:14px}
.group h3{margin:0 0 6px;color:var(--muted);font-weight:600}
.kind{display:flex;align-items:center;gap:8px;padding:3px 0;border-bottom:1px solid #f0f2f4}
.lamp{width:12px;height:12px;border-radius:50%;flex:none;border:1px solid rgba(0,0,0,.25)}
.lamp.red{background:var(--red);box-shadow:0 0 4px var(--red)}
.lamp.green{background:var(--green)}
.kind .name{flex:1}
.kind .count{font-variant-numeric:tabular-nums;font-weight:600}
.kind.red .count{color:var(--red)}
table{border-collapse:collapse;width:100%;font-size:13px}
th,td{text-align:left;padding:4px 8px;border-bottom:1px solid #eceff2;vertical-align:top}
th{background:#f5f7f9;color:var(--muted);font-weight:600}
td.num,th.num{text-align:right;font-variant-numeric:tabular-nums}
tr.error td{background:#fff5f4}
.mono{font-family:"DejaVu Sans Mono",monospace}
.charts{display:flex;flex-wrap:wrap;gap:12px}
.charts svg{border:1px solid var(--line);border-radius:4px;max-width:100%;height:auto}
.note{color:var(--muted);font-size:12px}
td.bar{width:140px}
td.bar span{display:block;height:10px;background:#1f6fb5;border-radius:2px;min-width:1px}
td.num.bad{color:var(--red);font-weight:600}
footer{color:var(--muted);font-size:12px;text-align:center;margin-top:24px}
@media print{body{background:#fff}section{break-inside:avoid;border:none}}
)";

void facts(std::string& out, const HtmlReportInput& in) {
    const AnalysisReport& r = *in.report;
    const double seconds =
        r.bitrateMean > 0 ? double(r.packets) * r.packetLength * 8 / (r.bitrateMean * 1e6) : 0.0;
    auto fact = [&](const std::string& value, const char* label) {
        out += "<div class=\"fact\"><b>" + esc(value) + "</b><span>" + label + "</span></div>";
    };
    out += "<section id=\"summary\"><h2>Stream</h2><div class=\"facts\">";
    fact(format("%.3f MB", double(in.fileBytes) / 1e6), "file size");
    fact(std::to_string(r.packetLength) + " bytes", "packet length");
    fact(std::to_string(r.packets), "packets analysed");
    fact(format("%.1f s", seconds), "duration at the mean rate");
    fact(format("%.3f Mbit/s", r.bitrateMean), r.bitrateGiven ? "bitrate (given)" : "mean bitrate");
    fact(format("%.3f / %.3f", r.bitrateMin, r.bitrateMax), "min / max Mbit/s");
    fact(std::to_string(r.programs.size()), "programs");
    fact(r.endedBy, "analysis ended by");
    out += "</div></section>";
}

void verdict(std::string& out, const AnalysisReport& r) {
    int red = 0;
    std::string names;
    for (const KindLine& k : r.kinds) {
        if (!k.red) continue;
        ++red;
        names += (names.empty() ? ": " : ", ") + k.button;
    }
    out += "<section id=\"verdict\"><h2>TR 101 290</h2>";
    out += red == 0 ? "<div class=\"verdict good\">No errors found</div>"
                    : "<div class=\"verdict bad\">" + std::to_string(red) +
                          (red == 1 ? " kind" : " kinds") + " in error<span class=\"which\">" +
                          esc(names) + "</span></div>";
    out += "<div class=\"groups\">";
    for (int group = 1; group <= 3; ++group) {
        out += "<div class=\"group\"><h3>Priority " + std::to_string(group) + "</h3>";
        for (const KindLine& k : r.kinds) {
            if (k.priority != group) continue;
            const char* state = k.red ? "red" : "green";
            out += std::string("<div class=\"kind ") + state + "\"><span class=\"lamp " + state +
                   "\"></span><span class=\"name\">" + esc(k.button) +
                   "</span><span class=\"count\">" + esc(k.box) + "</span></div>";
        }
        out += "</div>";
    }
    out += "</div></section>";
}

void events(std::string& out, const AnalysisReport& r) {
    out += "<section id=\"events\"><h2>Events (" + std::to_string(r.events.size()) + ")</h2>";
    out +=
        "<table><thead><tr><th class=\"num\">#</th><th>Time</th><th>Type</th><th>Detail</th>"
        "<th class=\"num\">Code</th><th class=\"num\">Packet</th><th>PID</th></tr></thead><tbody>";
    for (const EventLine& e : r.events) {
        out += std::string("<tr") + (e.kind ? " class=\"error\"" : "") + "><td class=\"num\">" +
               esc(e.row) + "</td><td>" + esc(e.time) + "</td><td>" + esc(e.type) + "</td><td>" +
               esc(e.detail) + "</td><td class=\"num\">" + (e.code ? std::to_string(e.code) : "") +
               "</td><td class=\"num\">" + (e.packet ? std::to_string(*e.packet) : "") +
               "</td><td class=\"mono\">" + (e.pid ? hex4(unsigned(*e.pid)) : "") + "</td></tr>";
    }
    out += "</tbody></table></section>";
}

void programs(std::string& out, const AnalysisReport& r) {
    out +=
        "<section id=\"programs\"><h2>Programs and components</h2><table><thead><tr>"
        "<th>Program</th><th>PMT PID</th><th>PCR PID</th><th>Components (PID: stream_type)</th>"
        "</tr></thead><tbody>";
    for (const ProgramLine& p : r.programs) {
        std::string comps;
        for (const ComponentLine& c : p.components)
            comps += (comps.empty() ? "" : ", ") + hex4(c.pid) + format(": 0x%02X", c.streamType);
        out += "<tr><td class=\"mono\">" + hex4(p.number) + "</td><td class=\"mono\">" +
               hex4(p.pmtPid) + (p.pmtFound ? "" : " (no PMT)") + "</td><td class=\"mono\">" +
               hex4(p.pcrPid) + "</td><td class=\"mono\">" + esc(comps) + "</td></tr>";
    }
    out += "</tbody></table></section>";
}

void tables(std::string& out, const AnalysisReport& r) {
    if (r.tables.empty()) return;
    out +=
        "<section id=\"tables\"><h2>Tables and repetition</h2><table><thead><tr>"
        "<th>Table</th><th>table_id</th><th>PID</th><th class=\"num\">Sections</th>"
        "<th class=\"num\">Interval now (s)</th><th class=\"num\">Max (s)</th>"
        "<th class=\"num\">Min (s)</th></tr></thead><tbody>";
    for (const TableLine& t : r.tables) {
        out += "<tr><td>" + esc(t.name) + "</td><td class=\"mono\">" + format("0x%02X", t.tableId) +
               "</td><td class=\"mono\">" + hex4(t.pid) + "</td><td class=\"num\">" +
               std::to_string(t.sections) + "</td><td class=\"num\">" +
               format("%.3f", t.interval.current) + "</td><td class=\"num\">" +
               format("%.3f", t.interval.max) + "</td><td class=\"num\">" +
               format("%.3f", t.interval.min) + "</td></tr>";
    }
    out += "</tbody></table></section>";
}

void pcr(std::string& out, const HtmlReportInput& in) {
    if (in.pcr.empty()) return;
    out += "<section id=\"pcr\"><h2>PCR</h2>";
    for (const HtmlPcrPlot& p : in.pcr) {
        const std::string name = "Program " + hex4(p.programNumber) + ", PCR PID " + hex4(p.pcrPid);
        out += "<h3>" + esc(name) + "</h3><div class=\"charts\">";
        LineChart interval{"pcr-interval",
                           "PCR interval",
                           "seconds into the stream",
                           "ms",
                           {decimated(p.intervalMs, 900)},
                           {{40.0, "40 ms"}}};
        LineChart jitter{"pcr-jitter",
                         "PCR jitter",
                         "seconds into the stream",
                         "ns",
                         {decimated(p.jitterNs, 900)},
                         {{500.0, "+500 ns"}, {-500.0, "-500 ns"}}};
        out += lineChartSvg(interval) + lineChartSvg(jitter);
        out += histogramSvg({"pcr-interval-histogram", "PCR interval histogram", "ms",
                             p.intervalBins, p.intervalCounts});
        out += histogramSvg(
            {"pcr-jitter-histogram", "PCR jitter histogram", "ns", p.jitterBins, p.jitterCounts});
        out += "</div>";
    }
    out += "</section>";
}

void pes(std::string& out, const HtmlReportInput& in) {
    if (in.pes.empty()) return;
    out += "<section id=\"pes\"><h2>PES time stamps</h2><div class=\"charts\">";
    for (const HtmlPesPlot& p : in.pes) {
        LineChart chart{"pes-delay",
                        "Program " + hex4(p.programNumber) + " " + p.component + " PID " +
                            hex4(p.pid) + ": time stamp - PCR",
                        "seconds into the stream",
                        "ms",
                        {},
                        {}};
        for (const ChartSeries& s : p.delaysMs)
            chart.series.push_back(decimated(s, 900));
        out += lineChartSvg(chart);
    }
    out += "</div></section>";
}

void structure(std::string& out, const AnalysisReport& r) {
    const std::vector<StructureRow>& rows = r.pages.basicInfo.structure;
    if (rows.empty()) return;
    out +=
        "<section id=\"multiplex\"><h2>Multiplex structure</h2><table><thead><tr>"
        "<th>Group</th><th>Type</th><th>ID</th><th>CA system</th><th>PID</th><th>PCR PID</th>"
        "<th class=\"num\">Mbit/s</th><th class=\"num\">Share %</th><th>Share</th></tr></thead>"
        "<tbody>";
    for (const StructureRow& row : rows) {
        const double width = std::clamp(row.share * 100.0, 0.0, 100.0);
        out += "<tr><td>" + esc(row.groupText) + "</td><td>" + esc(row.type) +
               "</td><td class=\"mono\">" + esc(row.id) + "</td><td class=\"mono\">" +
               esc(row.caSystemIdText) + "</td><td class=\"mono\">" + esc(row.pidText) +
               "</td><td class=\"mono\">" + esc(row.pcrPidText) + "</td><td class=\"num\">" +
               esc(row.rate) + "</td><td class=\"num\">" + esc(row.bandwidth) +
               "</td><td class=\"bar\"><span style=\"width:" + format("%.1f", width) +
               "%\"></span></td></tr>";
    }
    out += "</tbody></table></section>";
}

void bufferRow(std::string& out, unsigned program, const char* component, unsigned pid,
               const char* buffer, const BufferFill& b) {
    const double percent =
        b.bar.range > 1 ? std::clamp(100.0 * b.fill / b.bar.range, 0.0, 100.0) : 0.0;
    out += "<tr><td class=\"mono\">" + hex4(program) + "</td><td>" + component +
           "</td><td class=\"mono\">" + hex4(pid) + "</td><td>" + buffer +
           "</td><td class=\"num\">" + std::to_string(b.fill) + "</td><td class=\"num\">" +
           (b.bar.range > 1 ? std::to_string(b.bar.range) : std::string("-")) +
           "</td><td class=\"bar\"><span style=\"width:" + format("%.1f", percent) +
           "%\"></span></td></tr>";
}

void buffers(std::string& out, const AnalysisReport& r) {
    const PagesReport& p = r.pages;
    if (p.buffers.empty()) return;
    const BufferCounts& c = p.bufferCounts;
    out +=
        "<section id=\"buffers\"><h2>Decoder buffers</h2><table class=\"counts\"><thead><tr>"
        "<th></th><th class=\"num\">TB overflow</th><th class=\"num\">MB overflow</th>"
        "<th class=\"num\">MB underflow</th><th class=\"num\">EB (B) overflow</th>"
        "<th class=\"num\">EB (B) underflow</th></tr></thead><tbody>";
    auto cell = [](uint64_t n) {
        return std::string("<td class=\"num") + (n ? " bad" : "") + "\">" + std::to_string(n) +
               "</td>";
    };
    out += "<tr><td>Video</td>" + cell(c.videoTbOverflows) + cell(c.videoMbOverflows) +
           cell(c.videoMbUnderflows) + cell(c.videoEbOverflows) + cell(c.videoEbUnderflows) +
           "</tr><tr><td>Audio</td>" + cell(c.audioTbOverflows) + "<td></td><td></td>" +
           cell(c.audioEbOverflows) + cell(c.audioEbUnderflows) + "</tr><tr><td>System</td>" +
           cell(c.systemTbOverflows) + "<td></td><td></td>" + cell(c.systemBOverflows) +
           "<td></td></tr></tbody></table>";
    out +=
        "<h3>Fill at the end of the run</h3><table><thead><tr><th>Program</th>"
        "<th>Component</th><th>PID</th><th>Buffer</th><th class=\"num\">Bytes</th>"
        "<th class=\"num\">Size</th><th>Fill</th></tr></thead><tbody>";
    for (const ProgramBufferLine& b : p.buffers) {
        if (b.hasVideo) {
            bufferRow(out, b.programNumber, "video", b.videoPid, "TB", b.videoTb);
            bufferRow(out, b.programNumber, "video", b.videoPid, "MB", b.videoMb);
            bufferRow(out, b.programNumber, "video", b.videoPid, "EB", b.videoEb);
        }
        for (const ProgramBufferLine::Audio& a : b.audio) {
            bufferRow(out, b.programNumber, "audio", a.pid, "TB", a.tb);
            bufferRow(out, b.programNumber, "audio", a.pid, "B", a.b);
        }
    }
    out += "</tbody></table></section>";
}

void guide(std::string& out, const AnalysisReport& r) {
    if (r.guideActual.empty() && r.guideOther.empty()) return;
    out +=
        "<section id=\"guide\"><h2>Programme guide</h2><table><thead><tr><th>Service</th>"
        "<th>Name</th><th>Provider</th><th>Type</th><th>TS / network</th>"
        "<th class=\"num\">Events</th></tr></thead><tbody>";
    auto rows = [&](const std::vector<GuideServiceLine>& list, const char* where) {
        for (const GuideServiceLine& s : list) {
            out += "<tr><td class=\"mono\">" + hex4(s.serviceId) + "</td><td>" + esc(s.name) +
                   "</td><td>" + esc(s.provider) + "</td><td class=\"mono\">" +
                   format("0x%02X", s.serviceType) + "</td><td class=\"mono\">" +
                   hex4(s.transportStreamId) + " / " + hex4(s.originalNetworkId) + " " + where +
                   "</td><td class=\"num\">" + std::to_string(s.events) + "</td></tr>";
        }
    };
    rows(r.guideActual, "");
    rows(r.guideOther, "(other)");
    out += "</tbody></table></section>";
}

}  // namespace

std::string htmlReport(const HtmlReportInput& in) {
    const AnalysisReport& r = *in.report;
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"/>"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>"
        "<title>" +
        esc("ORV01 report: " + r.file) + "</title><style>" + kStyle + "</style></head><body>";
    out += "<header><h1>ORV01 transport stream report</h1><div class=\"file\">" + esc(r.file) +
           "</div></header><main>";
    facts(out, in);
    verdict(out, r);
    events(out, r);
    programs(out, r);
    structure(out, r);
    tables(out, r);
    pcr(out, in);
    pes(out, in);
    buffers(out, r);
    guide(out, r);
    out += "<footer>Generated by ORV01 " + esc(in.generatedAt) + "</footer></main></body></html>\n";
    return out;
}

}  // namespace orv::cli
