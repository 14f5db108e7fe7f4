// The page models in the JSON document: numbers as numbers, the page texts beside them where a
// person reads them. Key names are an interface scripts rely on: add keys, never rename them.
#include <nlohmann/json.hpp>

#include "shell/cli/json_values.h"
#include "shell/cli/report_pages.h"

namespace orv::cli {
namespace {

using nlohmann::json;

json classJson(const ClassShare& c) {
    return {{"packets", c.packets}, {"percent", c.percent}};
}

const char* groupName(StructureGroup g) {
    switch (g) {
        case StructureGroup::Summary:
            return "summary";
        case StructureGroup::PsiSi:
            return "psiSi";
        case StructureGroup::Components:
            return "components";
        case StructureGroup::Ca:
            return "ca";
        default:
            return "other";
    }
}

json numberOrNull(int v) {
    return v >= 0 ? json(v) : json(nullptr);
}

json pesJson(const PesHeaderTexts& p) {
    return {{"streamId", p.fields.streamId},
            {"pesPacketLength", p.fields.pesPacketLength},
            {"scramblingControl", p.fields.scramblingControl},
            {"priority", p.fields.priority},
            {"dataAlignment", p.fields.dataAlignment}};
}

json videoJson(const ProgramView& v) {
    if (!v.hasVideo) return nullptr;
    const VideoHeaderTexts& t = v.video;
    json out = {{"pid", v.videoPid}, {"headerShown", t.shown}};
    if (!t.shown) return out;
    out.update({{"format", t.format},
                {"width", t.width},
                {"height", t.height},
                {"frameRate", t.framesPerSecond},
                {"bitRate", t.bitsPerSecond},
                {"profileLevel", t.profileLevel},
                {"aspectRatio", t.aspectRatio},
                {"chromaFormat", t.chroma},
                {"pictureTally", v.pictureTally},
                {"pes", pesJson(t.pes)}});
    return out;
}

json audioJson(const ProgramView& v) {
    const AudioHeaderTexts& t = v.audio;
    json out = {{"pid", v.audioPids.at(static_cast<std::size_t>(v.audioIndex))},
                {"headerShown", t.shown}};
    if (!t.shown) return out;
    out.update({{"format", t.format},
                {"layer", t.layer},
                {"bitRate", t.bitRate},
                {"samplingRate", t.sampling},
                {"mode", t.mode},
                {"emphasis", t.emphasis},
                {"pes", pesJson(t.pes)}});
    return out;
}

json barJson(const BufferFill& f) {
    return {{"fill", f.fill}, {"range", f.bar.range}, {"position", f.bar.position}};
}

}  // namespace

json basicInfoJson(const BasicInfo& i) {
    json programs = json::array();
    for (const ProgramSummary& p : i.programs) {
        json comps = json::array();
        for (const ComponentRef& c : p.components)
            comps.push_back({{"pid", c.pid},
                             {"streamType", c.streamType},
                             {"type", componentNames(c.kind).list}});
        json ca = json::array();
        for (const CaEntry& e : p.ca)
            ca.push_back({{"caSystemId", e.caSystemId}, {"ecmPid", e.caPid.pid}});
        programs.push_back({{"program", p.programNumber},
                            {"pmtPid", p.pmtPid},
                            {"pcrPid", p.pcrPid},
                            {"pmtReceived", p.pmtReceived},
                            {"provider", orNull(p.service.provider)},
                            {"serviceName", orNull(p.service.name)},
                            {"freeCaMode", p.service.freeCaMode},
                            {"components", comps},
                            {"ca", ca}});
    }
    json intervals = json::array();
    for (const IntervalRow& r : i.intervals) {
        json row = {{"table", r.name},      {"tableId", r.tableId}, {"received", r.received},
                    {"current", r.current}, {"max", r.max},         {"min", r.min}};
        if (r.programNumber >= 0) row["program"] = r.programNumber;
        intervals.push_back(row);
    }
    return {{"filled", i.filled},
            {"packets", i.packets},
            {"classes",
             {{"video", classJson(i.classes[0])},
              {"audio", classJson(i.classes[1])},
              {"psiSi", classJson(i.classes[2])},
              {"null", classJson(i.classes[3])},
              {"other", classJson(i.classes[4])}}},
            {"rate",
             {{"min", i.rateMin},
              {"max", i.rateMax},
              {"mean", i.rateMean},
              {"current", i.rateCurrent}}},
            {"packetLength", i.packetLength},
            {"syncLosses", i.syncLosses},
            {"syncByteErrors", i.syncByteErrors},
            {"transportErrors", i.transportErrors},
            {"transportStreamId", i.transportStreamId},
            {"programCount", i.programCount},
            {"pcrPidCount", i.pcrPidCount},
            {"nit",
             {{"pid", 0x0010},
              {"networkId", orNull(i.networkId)},
              {"networkName", orNull(i.networkName)},
              {"transportStreamId", orNull(i.nitTransportStreamId)},
              {"originalNetworkId", orNull(i.nitOriginalNetworkId)}}},
            {"programs", programs},
            {"intervals", intervals}};
}

json multiplexJson(const std::vector<StructureRow>& rows) {
    json out = json::array();
    for (const StructureRow& r : rows) {
        out.push_back({{"group", groupName(r.group)},
                       {"type", r.type},
                       {"id", r.id},
                       {"caSystemId", numberOrNull(r.caSystemId)},
                       {"pid", numberOrNull(r.pid)},
                       {"pcrPid", numberOrNull(r.pcrPid)},
                       {"packets", r.packets},
                       {"mbps", r.mbps},
                       {"bandwidthPercent", r.share * 100.0}});
    }
    return out;
}

json programInfoJson(const std::vector<std::vector<ProgramView>>& programs) {
    json out = json::array();
    for (const std::vector<ProgramView>& views : programs) {
        if (views.empty() || !views.front().valid) continue;
        const ProgramView& v = views.front();
        json comps = json::array();
        for (const ComponentRow& c : v.components)
            comps.push_back({{"type", c.type},
                             {"streamType", c.streamType},
                             {"pid", c.pidValue},
                             {"mbps", c.mbps},
                             {"ccErrors", c.ccErrorCount}});
        json audio = json::array();
        if (!v.audioPids.empty())
            for (const ProgramView& a : views)
                audio.push_back(audioJson(a));
        out.push_back({{"program", v.programNumber},
                       {"pmtPid", v.pmtPid},
                       {"pcrPid", v.pcrPid},
                       {"componentCount", v.componentCount},
                       {"serviceListed", v.serviceListed},
                       {"serviceType", v.serviceType},
                       {"serviceTypeText", v.serviceTypeText},
                       {"freeCaMode", v.freeCaMode},
                       {"runningStatus", v.runningStatus},
                       {"runningStatusText", v.runningText},
                       {"provider", orNull(v.serviceListed ? v.provider : std::string())},
                       {"serviceName", orNull(v.serviceListed ? v.serviceName : std::string())},
                       {"scrambled", v.scrambled},
                       {"components", comps},
                       {"video", videoJson(v)},
                       {"audio", audio}});
    }
    return out;
}

json buffersJson(const PagesReport& pages) {
    const BufferCounts& c = pages.bufferCounts;
    json programs = json::array();
    for (const ProgramBufferLine& p : pages.buffers) {
        json audio = json::array();
        for (const ProgramBufferLine::Audio& a : p.audio)
            audio.push_back({{"pid", a.pid}, {"tb", barJson(a.tb)}, {"b", barJson(a.b)}});
        json video = nullptr;
        if (p.hasVideo)
            video = {{"pid", p.videoPid},
                     {"scrambled", p.videoScrambled},
                     {"tb", barJson(p.videoTb)},
                     {"mb", barJson(p.videoMb)},
                     {"eb", barJson(p.videoEb)}};
        programs.push_back({{"program", p.programNumber}, {"video", video}, {"audio", audio}});
    }
    return {{"video",
             {{"tbOverflows", c.videoTbOverflows},
              {"mbOverflows", c.videoMbOverflows},
              {"mbUnderflows", c.videoMbUnderflows},
              {"ebOverflows", c.videoEbOverflows},
              {"ebUnderflows", c.videoEbUnderflows},
              {"tbNotEmptied", c.videoTbNotEmptied},
              {"mbNotEmptied", c.videoMbNotEmptied}}},
            {"audio",
             {{"tbOverflows", c.audioTbOverflows},
              {"ebOverflows", c.audioEbOverflows},
              {"ebUnderflows", c.audioEbUnderflows},
              {"notEmptied", c.audioNotEmptied}}},
            {"system",
             {{"tbOverflows", c.systemTbOverflows},
              {"bOverflows", c.systemBOverflows},
              {"tbNotEmptied", c.systemTbNotEmptied},
              {"tb", barJson(pages.systemTb)},
              {"b", barJson(pages.systemB)}}},
            {"programs", programs}};
}

}  // namespace orv::cli
