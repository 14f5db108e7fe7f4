// The analysis report for a person: columns aligned in display width (a Chinese character takes
// two columns, as in code page 936).
#include <cstdio>
#include <string>

#include "platform/text_codec.h"
#include "shell/cli/analysis_report.h"
#include "shell/cli/report_cut_short.h"
#include "shell/cli/report_program_changes.h"

namespace orv::cli {
namespace {

std::string format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

std::string hex4(unsigned v) {
    return format("0x%04x", v);
}

std::string interval(const Interval& i, const char* unit, const char* fmt) {
    return format(fmt, i.current) + " " + unit + " (max " + format(fmt, i.max) + ", min " +
           format(fmt, i.min) + ")";
}

void kinds(std::string& out, const AnalysisReport& r) {
    static constexpr const char* kGroups[] = {"", "Priority 1", "Priority 2", "Priority 3"};
    for (int group = 1; group <= 3; ++group) {
        out += std::string("\n") + kGroups[group] + "\n";
        for (const KindLine& k : r.kinds) {
            if (k.priority != group) continue;
            out += "  " + padToCp936Width(k.red ? "RED" : "ok", 5) + padToCp936Width(k.button, 22) +
                   padToCp936Width(k.box, 8, Align::Right) + "\n";
        }
    }
}

void events(std::string& out, const AnalysisReport& r) {
    out += "\nEvents (" + std::to_string(r.events.size()) + ")\n";
    for (const EventLine& e : r.events) {
        out += "  " + padToCp936Width(e.row, 5) + padToCp936Width(e.time, 17) +
               padToCp936Width(e.type, 24) + e.detail + "\n";
    }
}

void programs(std::string& out, const AnalysisReport& r) {
    out += "\nPrograms (" + std::to_string(r.programs.size()) + ")\n";
    for (const ProgramLine& p : r.programs) {
        out += "  program " + hex4(p.number) + "  PMT PID " + hex4(p.pmtPid) + "  PCR PID " +
               hex4(p.pcrPid) + (p.pmtFound ? "" : "  (no PMT)") + "\n";
        for (const ComponentLine& c : p.components)
            out += "      PID " + hex4(c.pid) + "  stream_type " + format("0x%02x", c.streamType) +
                   "\n";
    }
}

void tables(std::string& out, const AnalysisReport& r) {
    if (r.tables.empty()) return;
    out += "\nTables\n";
    for (const TableLine& t : r.tables) {
        out += "  " + padToCp936Width(t.name, 22) + format("table_id 0x%02x  ", t.tableId) +
               "PID " + hex4(t.pid) + format("  sections %4d  ", t.sections) + "interval " +
               interval(t.interval, "s", "%.3f") + cutShortText(t) + "\n";
    }
}

void pcr(std::string& out, const AnalysisReport& r) {
    if (r.pcr.empty()) return;
    out += "\nPCR\n";
    for (const PcrLine& p : r.pcr) {
        out += "  program " + hex4(p.programNumber) + "  PID " + hex4(p.pcrPid) + "  interval " +
               interval(p.intervalMs, "ms", "%.3f") + "  jitter " +
               interval(p.jitterNs, "ns", "%.0f") + "\n";
    }
}

void guide(std::string& out, const AnalysisReport& r) {
    if (r.guideActual.empty() && r.guideOther.empty()) return;
    out += "\nProgramme guide\n";
    for (const auto* list : {&r.guideActual, &r.guideOther}) {
        for (const GuideServiceLine& s : *list) {
            out += std::string("  ") + (list == &r.guideActual ? "actual" : "other ") +
                   "  service " + hex4(s.serviceId) + "  " + padToCp936Width(s.name, 24) +
                   std::to_string(s.events) + " events\n";
        }
    }
}

}  // namespace

std::string reportText(const AnalysisReport& r) {
    std::string out;
    out += "File            " + r.file + "\n";
    out += "Packet length   " + std::to_string(r.packetLength) + " bytes\n";
    if (r.bitrateGiven) {
        out += format("Bitrate         %.3f Mbit/s (given with --bitrate)\n", r.bitrateCurrent);
    } else {
        out += format("Bitrate         %.3f Mbit/s (min %.3f, max %.3f, mean %.3f)\n",
                      r.bitrateCurrent, r.bitrateMin, r.bitrateMax, r.bitrateMean);
    }
    out +=
        "Packets         " + std::to_string(r.packets) + " (analysis ended by " + r.endedBy + ")\n";
    if (!r.errorLog.empty()) {
        out += "Error log       " + r.errorLog +
               (r.errorLogFailed ? " (a save during the run failed, see stderr)" : "") + "\n";
    } else if (r.errorLogFailed) {
        out += "Error log       not written (see stderr)\n";
    }
    out += programChangesSummary(r);
    kinds(out, r);
    out += "\n误码率 (error rate)  " + r.errorRateText + "\n";
    events(out, r);
    out += programChangesText(r);
    programs(out, r);
    tables(out, r);
    pcr(out, r);
    guide(out, r);
    return out;
}

}  // namespace orv::cli
