// The analysis report as one JSON document (nlohmann-json). Key names are an interface scripts
// rely on: add keys, never rename them.
#include <nlohmann/json.hpp>

#include "shell/cli/json_values.h"
#include "shell/cli/report_guide_events.h"
#include "shell/cli/report_json.h"
#include "shell/cli/report_program_changes.h"
#include "shell/cli/report_timing_json.h"

namespace orv::cli {
namespace {

using nlohmann::json;

json interval(const Interval& i) {
    return {{"current", i.current}, {"max", i.max}, {"min", i.min}};
}

json guideJson(const std::vector<GuideServiceLine>& services) {
    json out = json::array();
    for (const GuideServiceLine& s : services) {
        out.push_back({{"serviceId", s.serviceId},
                       {"transportStreamId", s.transportStreamId},
                       {"originalNetworkId", s.originalNetworkId},
                       {"name", s.name},
                       {"provider", s.provider},
                       {"serviceType", s.serviceType},
                       {"events", s.events}});
    }
    return out;
}

}  // namespace

json kindJson(const KindLine& k) {
    return {{"index", k.index},
            {"name", k.name},
            {"button", k.button},
            {"priority", k.priority},
            {"count", k.count},
            {"lamp", k.red ? "red" : "green"},
            {"subCounters", k.subCounters}};
}

json eventJson(const EventLine& e) {
    return {{"row", e.row},         {"code", e.code},         {"time", e.time},
            {"type", e.type},       {"detail", e.detail},     {"packet", orNull(e.packet)},
            {"pid", orNull(e.pid)}, {"kind", orNull(e.kind)}, {"streamTime", orNull(e.streamTime)}};
}

json reportDocument(const AnalysisReport& r) {
    json kinds = json::array();
    for (const KindLine& k : r.kinds)
        kinds.push_back(kindJson(k));
    json events = json::array();
    for (const EventLine& e : r.events)
        events.push_back(eventJson(e));
    json programs = json::array();
    for (const ProgramLine& p : r.programs) {
        json comps = json::array();
        for (const ComponentLine& c : p.components)
            comps.push_back({{"pid", c.pid}, {"streamType", c.streamType}});
        programs.push_back({{"number", p.number},
                            {"pmtPid", p.pmtPid},
                            {"pcrPid", p.pcrPid},
                            {"pmtFound", p.pmtFound},
                            {"components", comps}});
    }
    json tables = json::array();
    for (const TableLine& t : r.tables) {
        tables.push_back({{"name", t.name},
                          {"tableId", t.tableId},
                          {"pid", t.pid},
                          {"sections", t.sections},
                          {"interval", interval(t.interval)},
                          {"cutShort", t.cutShort}});
    }
    json pcr = json::array();
    for (const PcrLine& p : r.pcr) {
        pcr.push_back({{"program", p.programNumber},
                       {"pcrPid", p.pcrPid},
                       {"jitter", interval(p.jitterNs)},
                       {"interval", interval(p.intervalMs)}});
    }
    return {
        {"file", r.file},
        {"packetLength", r.packetLength},
        {"packets", r.packets},
        {"endedBy", r.endedBy},
        {"programChanges", programChangesJson(r)},
        {"bitrate",
         {{"current", r.bitrateCurrent},
          {"max", r.bitrateMax},
          {"min", r.bitrateMin},
          {"mean", r.bitrateMean},
          {"source", r.bitrateGiven ? "option" : "pcr"}}},
        {"errorRate", r.errorRate},
        {"kinds", kinds},
        {"events", events},
        {"programs", programs},
        {"tables", tables},
        {"guide", {{"actual", guideJson(r.guideActual)}, {"other", guideJson(r.guideOther)}}},
        {"guideEvents", guideEventsJson(r)},
        {"pcr", pcr},
        {"pcrCurves", pcrCurvesJson(r)},
        {"pes", pesJson(r)},
        {"errorLog", r.errorLog},
        {"basicInfo", basicInfoJson(r.pages.basicInfo)},
        {"multiplex", multiplexJson(r.pages.basicInfo.structure)},
        {"programInfo", programInfoJson(r.pages.programs)},
        {"buffers", buffersJson(r.pages)},
    };
}

std::string reportJson(const AnalysisReport& r) {
    // Texts from the stream that are not valid UTF-8 are replaced, never fatal.
    return reportDocument(r).dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace orv::cli
