// What `orv01 analyze` reports about one file, gathered once from the analysis context and the
// results page after the run, then printed for a person or as one JSON document.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/guide_records.h"
#include "engine/limits.h"
#include "presentation/pcr_curve_data.h"
#include "presentation/pes_curve_data.h"
#include "shell/cli/report_pages.h"

namespace orv {

struct AnalysisContext;
class ResultsPage;
struct EventRow;
struct StoredEvent;

namespace cli {

struct KindLine {
    int index = 0;
    int priority = 0;
    std::string name;    // the type text
    std::string button;  // the button text of the results page
    int count = 0;       // the counter shown
    std::string box;     // its box text ("≥1000" from 1000 on)
    bool red = false;
    std::vector<int> subCounters;
};

struct EventLine {
    std::string row;
    int code = 0;
    std::string time;
    std::string type;
    std::string detail;
    // The same as numbers, so scripts need not parse the texts: the packet number an error text
    // quotes (none for run events), the PID the event is about, the kind's index, and the time
    // into the stream at the stream bitrate when the event was logged.
    std::optional<uint64_t> packet;
    std::optional<int> pid;
    std::optional<int> kind;
    std::optional<double> streamTime;
};

struct ComponentLine {
    unsigned pid = 0;
    unsigned streamType = 0;
};

struct ProgramLine {
    unsigned number = 0;
    unsigned pmtPid = 0;
    unsigned pcrPid = 0;
    bool pmtFound = false;
    std::vector<ComponentLine> components;
};

struct Interval {
    double current = 0.0, max = 0.0, min = 0.0;
};

struct TableLine {
    std::string name;
    unsigned tableId = 0;
    unsigned pid = 0;
    int sections = 0;
    Interval interval;      // seconds
    uint64_t cutShort = 0;  // sections cut short before they were whole (report_cut_short.h)
};

struct GuideServiceLine {
    unsigned serviceId = 0, transportStreamId = 0, originalNetworkId = 0, serviceType = 0;
    std::string name, provider;
    int events = 0;
};

// The scheduled events of one guide service, as the guide page lists them.
struct GuideEventsLine {
    bool actual = true;  // the list of the analysed transport stream, else of the others
    unsigned serviceId = 0, transportStreamId = 0, originalNetworkId = 0;
    bool complete = false;  // its schedule was collected to the last table
    std::vector<GuideEvent> events;
};

struct PcrLine {
    unsigned programNumber = 0;
    unsigned pcrPid = 0;
    Interval jitterNs;
    Interval intervalMs;
};

struct ProgramChangeLine {
    uint64_t packet = 0;  // the packet number at which the new table was analysed
    std::string table;    // "PAT" or "PMT"
    unsigned program = 0, pid = 0, version = 0;
};

struct AnalysisReport {
    std::string file;
    int packetLength = 0;
    uint64_t packets = 0;
    double bitrateCurrent = 0.0, bitrateMax = 0.0, bitrateMin = 0.0, bitrateMean = 0.0;
    bool bitrateGiven = false;  // the rate was given by --bitrate, not measured from PCRs
    double errorRate = 0.0;     // the results page's "误码率"
    std::string errorRateText;  // as its box shows it ("%e")
    std::array<KindLine, kKindCount> kinds;
    std::vector<EventLine> events;
    std::vector<ProgramLine> programs;
    std::vector<TableLine> tables;
    std::vector<GuideServiceLine> guideActual, guideOther;
    std::vector<GuideEventsLine> guideEvents;
    std::vector<PcrLine> pcr;
    // What the PCR and PES pages show, per program and per component (report_timing_json.h).
    std::vector<PcrCurveData> pcrCurves;
    std::vector<PesCurveData> pes;
    // "end of file", "program change", "stopped", "read error" or "file shrank"
    std::string endedBy;
    std::string errorLog;         // where the event list was appended; empty when it was not
    bool errorLogFailed = false;  // a save of the event list could not write the error log
    // New PATs and PMTs applied during the run, and where the first ones were.
    int programChanges = 0;
    std::vector<ProgramChangeLine> programChangeList;
    // The basic information, program and decoder buffer pages.
    PagesReport pages;
};

// The caller holds ctx.mutex or is the only thread using the context.
AnalysisReport buildReport(const std::string& file, const AnalysisContext& ctx,
                           const ResultsPage& page);

// The 32 kinds with their counters, as the results page shows them. The caller holds ctx.mutex.
std::array<KindLine, kKindCount> kindLines(const AnalysisContext& ctx);
// One event of the results page's list with the facts the log recorded beside its texts.
EventLine eventLine(const EventRow& row, const StoredEvent& stored, const AnalysisContext& ctx);

std::string reportText(const AnalysisReport& report);
std::string reportJson(const AnalysisReport& report);

}  // namespace cli
}  // namespace orv
