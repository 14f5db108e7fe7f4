#include "shell/cli/analysis_report.h"

#include <charconv>

#include "engine/analysis_context.h"
#include "engine/event_catalogue.h"
#include "presentation/results_page.h"
#include "shell/cli/report_cut_short.h"
#include "shell/cli/report_guide_events.h"
#include "shell/cli/report_program_changes.h"

namespace orv::cli {
namespace {

Interval seconds(const IntervalStats& s) {
    return {s.last, s.max, s.min};
}
Interval seconds(const RepetitionStats& r) {
    return {r.current, r.longest, r.shortest};
}

// Service and provider names as broadcast may open with a character table selector and hold
// control codes; they are left out of what is printed.
std::string printable(const std::string& dvb) {
    std::string out;
    out.reserve(dvb.size());
    for (unsigned char c : dvb)
        if (c >= 0x20 && c != 0x7F) out.push_back(static_cast<char>(c));
    return out;
}

int codeOf(const std::string& text) {
    int code = 0;
    std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return 0;
    std::from_chars(text.data() + start, text.data() + text.size(), code);
    return code;
}

void addEvents(AnalysisReport& r, const AnalysisContext& ctx, const ResultsPage& page) {
    const auto rows = page.eventRows();
    const std::vector<StoredEvent>& stored = page.storedEvents();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i < stored.size()) {
            r.events.push_back(eventLine(rows[i], stored[i], ctx));
        } else {
            EventLine line;
            line.row = rows[i].number;
            line.time = rows[i].time;
            line.type = rows[i].type;
            line.detail = rows[i].detail;
            r.events.push_back(std::move(line));
        }
    }
}

void addPrograms(AnalysisReport& r, const AnalysisContext& ctx) {
    for (const ProgramEntry& p : ctx.programs) {
        ProgramLine line{p.programNumber, p.pmtPid, p.pcrPid, p.pmtReceived, {}};
        if (p.video.present) line.components.push_back({p.video.pid, p.video.streamType});
        for (int a = 0; a < p.audioCount; ++a)
            line.components.push_back({p.audio[a].pid, p.audio[a].streamType});
        for (const ComponentList& list : p.other) {
            for (int k = 0; k < list.count && k < kMaxOtherListPids; ++k)
                line.components.push_back({list.pids[k].pid, list.streamTypes[k]});
        }
        r.programs.push_back(std::move(line));
    }
}

void addTables(AnalysisReport& r, const AnalysisContext& ctx) {
    if (ctx.pat.patFound) r.tables.push_back({"PAT", 0x00, kPidPat, 1, seconds(ctx.pat.interval)});
    if (ctx.cat.catPresent)
        r.tables.push_back({"CAT", 0x01, kPidCat, 1, seconds(ctx.cat.interval)});
    for (const ProgramEntry& p : ctx.programs) {
        if (!p.pmtReceived && p.pmtCutShort == 0) continue;
        r.tables.push_back({"PMT " + std::to_string(p.programNumber), 0x02, p.pmtPid,
                            p.pmtReceived ? 1 : 0, seconds(p.pmtInterval), p.pmtCutShort});
    }
    const SiSectionStore& st = ctx.siStore;
    struct SiName {
        SiKind kind;
        const char* name;
        unsigned tableId, pid;
    };
    static constexpr SiName kSi[] = {
        {SiKind::NitActual, "NIT actual", kTableNitActual, kPidNit},
        {SiKind::NitOther, "NIT other", kTableNitOther, kPidNit},
        {SiKind::Bat, "BAT", kTableBat, kPidSdtBat},
        {SiKind::SdtActual, "SDT actual", kTableSdtActual, kPidSdtBat},
        {SiKind::SdtOther, "SDT other", kTableSdtOther, kPidSdtBat},
    };
    for (const SiName& s : kSi) {
        const SiSectionList& list = st.tables[static_cast<int>(s.kind)];
        if (list.count() > 0)
            r.tables.push_back({s.name, s.tableId, s.pid, list.count(), seconds(list.repetition)});
    }
    for (int i = 0; i < kEitListCount; ++i) {
        const EitSectionList& list = st.eit[i];
        if (list.count() == 0) continue;
        const unsigned tableId = kTableEitPfActual + static_cast<unsigned>(i);
        const char* name = tableId == kTableEitPfActual  ? "EIT p/f actual"
                           : tableId == kTableEitPfOther ? "EIT p/f other"
                           : tableId < 0x60              ? "EIT schedule actual"
                                                         : "EIT schedule other";
        r.tables.push_back({name, tableId, kPidEit, list.count(), seconds(list.repetition)});
    }
    if (st.tdt.present)
        r.tables.push_back({"TDT", kTableTdt, kPidTdtTot, 1, seconds(st.tdt.repetition)});
    if (st.tot.present)
        r.tables.push_back({"TOT", kTableTot, kPidTdtTot, 1, seconds(st.tot.repetition)});
    if (st.rst.present)
        r.tables.push_back({"RST", kTableRst, kPidRst, 1, seconds(st.rst.repetition)});
}

void addGuide(std::vector<GuideServiceLine>& out, const GuideList& list) {
    for (const GuideService& s : list.services) {
        out.push_back({s.serviceId, s.transportStreamId, s.originalNetworkId, s.serviceType,
                       printable(s.serviceName), printable(s.providerName), s.eventCount()});
    }
}

void addPcr(AnalysisReport& r, const AnalysisContext& ctx) {
    const std::vector<PcrTrack>& tracks = ctx.timing.pcrTracks;
    for (std::size_t i = 0; i < tracks.size() && i < ctx.programs.size(); ++i) {
        const PcrTrack& t = tracks[i];
        if (t.pcrPid == 0) continue;
        r.pcr.push_back(
            {ctx.programs[i].programNumber,
             t.pcrPid,
             {double(t.currentJitterNs), double(t.largestJitterNs), double(t.smallestJitterNs)},
             {t.currentIntervalMs, t.longestIntervalMs, t.shortestIntervalMs}});
    }
}

}  // namespace

std::array<KindLine, kKindCount> kindLines(const AnalysisContext& ctx) {
    std::array<KindLine, kKindCount> lines;
    for (int k = 0; k < kKindCount; ++k) {
        const auto kind = static_cast<Tr290ErrorKind>(k);
        const ResultsKindInfo& info = resultsKind(kind);
        KindLine& line = lines[k];
        line.index = k;
        line.priority = info.priority;
        line.name = std::string(kindInfo(kind).name);
        line.button = std::string(info.button);
        line.count = counterShown(ctx.log.kindCount, kind);
        line.box = counterBoxText(line.count);
        line.red = line.count >= 1;
        for (int s = 0; s < kindInfo(kind).subCounters; ++s)
            line.subCounters.push_back(ctx.log.kindCount.at(kind, s));
    }
    return lines;
}

EventLine eventLine(const EventRow& row, const StoredEvent& stored, const AnalysisContext& ctx) {
    EventLine line;
    line.row = row.number;
    line.code = codeOf(stored.code);
    line.time = row.time;
    line.type = row.type;
    line.detail = row.detail;
    const EventDef* def = findEvent(line.code);
    if (def != nullptr && def->eventClass == EventClass::Error) {
        line.packet = stored.packet;
        line.kind = kindIndex(def->kind);
    }
    if (stored.pid >= 0) line.pid = stored.pid;
    if (ctx.streamBitrate.current > 0.0) line.streamTime = packetSpanSeconds(ctx, 0, stored.packet);
    return line;
}

AnalysisReport buildReport(const std::string& file, const AnalysisContext& ctx,
                           const ResultsPage& page) {
    AnalysisReport r;
    r.file = file;
    r.packetLength = ctx.packetLength;
    r.packets = ctx.packetCounter;
    r.bitrateCurrent = ctx.streamBitrate.current;
    r.bitrateMax = ctx.streamBitrate.max;
    r.bitrateMin = ctx.streamBitrate.min;
    r.bitrateMean = ctx.streamBitrate.mean;
    r.errorRate = packetErrorRate(ctx);
    r.errorRateText = formatErrorRate(r.errorRate);
    r.kinds = kindLines(ctx);
    addEvents(r, ctx, page);
    addPrograms(r, ctx);
    addTables(r, ctx);
    addCutShort(r, ctx);
    addGuide(r.guideActual, ctx.guide.actual);
    addGuide(r.guideOther, ctx.guide.other);
    addGuideEvents(r, ctx);
    addPcr(r, ctx);
    r.pcrCurves = pcrCurveData(ctx);
    r.pes = pesCurveData(ctx);
    addProgramChanges(r, ctx);
    r.pages = buildPagesReport(ctx);
    return r;
}

}  // namespace orv::cli
