#include "tools/tsgen/presets.h"

#include <stdexcept>
#include <string>

#include "tools/tsgen/dvb_time.h"
#include "tools/tsgen/stuffing_sections.h"

namespace tsgen {
namespace {

// Both presets share these identifiers and PIDs.
constexpr uint16_t kTsId = 0x0001, kOnId = 0x0001, kNetworkId = 0x0001;
constexpr uint16_t kPidNit = 0x0010, kPidSdt = 0x0011, kPidEit = 0x0012, kPidTdt = 0x0014;
constexpr uint64_t kCleanMs = 10'000, kSampleMs = 12'000;

struct ServiceInfo {
    uint16_t number;
    std::string name;
};
using Services = std::vector<ServiceInfo>;

Services twoServices() {
    return {{1, "ORV News"}, {2, "ORV Sports"}};
}

std::vector<ProgramConfig> twoPrograms() {
    ProgramConfig p1;
    p1.programNumber = 1;
    p1.pmtPid = 0x0100;
    p1.pcrPid = 0x0101;  // PCR in the video packets
    p1.video = VideoParams{};
    p1.video->pid = 0x0101;
    p1.audios.push_back(AudioParams{});
    p1.audios[0].pid = 0x0102;

    ProgramConfig p2;
    p2.programNumber = 2;
    p2.pmtPid = 0x0200;
    p2.pcrPid = 0x0210;  // PCR on a PID of its own
    p2.pcrOffsetMs = 15;
    p2.video = VideoParams{};
    p2.video->pid = 0x0201;
    p2.video->startMs = 240;  // half a GOP after program 1, so the I pictures do not coincide
    p2.audios.push_back(AudioParams{});
    p2.audios[0].pid = 0x0202;
    p2.audios[0].startMs = 12;
    return {p1, p2};
}

TableSource table(uint16_t pid, uint32_t intervalMs, uint32_t offsetMs,
                  std::vector<Section> sections) {
    TableSource t;
    t.pid = pid;
    t.intervalMs = intervalMs;
    t.offsetMs = offsetMs;
    t.sections = std::move(sections);
    return t;
}

Section nitSection(const Services& services) {
    NitParams p;
    p.networkId = kNetworkId;
    p.networkDescriptors = {networkNameDescriptor("ORV01 Test Network")};
    std::vector<ServiceListEntry> list;
    for (const ServiceInfo& s : services)
        list.push_back({s.number, 1});
    p.transportStreams.push_back({kTsId, kOnId, {serviceListDescriptor(list)}});
    return buildNit(p);
}

Section sdtSection(const Services& services, bool schedule) {
    SdtParams p;
    p.transportStreamId = kTsId;
    p.originalNetworkId = kOnId;
    for (const ServiceInfo& s : services) {
        SdtService sv;
        sv.serviceId = s.number;
        sv.eitSchedule = schedule;
        sv.eitPresentFollowing = true;
        sv.descriptors = {serviceDescriptor(0x01, "ORV01", s.name)};
        p.services.push_back(sv);
    }
    return buildSdt(p);
}

EitEvent event(uint16_t id, int64_t start, uint32_t duration, uint8_t running,
               const std::string& name) {
    EitEvent e;
    e.eventId = id;
    e.start = start;
    e.durationSeconds = duration;
    e.runningStatus = running;
    e.descriptors = {shortEventDescriptor("eng", name, "Generated test programme")};
    return e;
}

// Present and following of each service, sections 0 and 1.
std::vector<Section> eitPresentFollowing(const Services& services, int64_t now) {
    std::vector<Section> out;
    for (const ServiceInfo& s : services) {
        for (uint8_t n = 0; n < 2; ++n) {
            EitParams p;
            p.serviceId = s.number;
            p.transportStreamId = kTsId;
            p.originalNetworkId = kOnId;
            p.numbering.sectionNumber = n;
            p.numbering.lastSectionNumber = 1;
            p.segmentLastSectionNumber = 1;
            const int64_t start = now - 900 + n * 3600;
            p.events.push_back(event(static_cast<uint16_t>(100 + n), start, 3600, n == 0 ? 4 : 1,
                                     std::string(s.name) + (n == 0 ? " now" : " next")));
            out.push_back(buildEit(p));
        }
    }
    return out;
}

// Eight days of hourly events from midnight of `now`'s day on tables 0x50 (days 0-3) and 0x51
// (days 4-7): one section per three-hour segment, three events each.
std::vector<Section> eitSchedule(const Services& services, int64_t now) {
    std::vector<Section> out;
    const int64_t midnight = now - now % 86400;
    for (const ServiceInfo& s : services) {
        for (unsigned table = 0; table < 2; ++table) {
            for (unsigned seg = 0; seg < 32; ++seg) {
                EitParams p;
                p.tableId = static_cast<uint8_t>(kTableEitScheduleFirst + table);
                p.lastTableId = kTableEitScheduleFirst + 1;
                p.serviceId = s.number;
                p.transportStreamId = kTsId;
                p.originalNetworkId = kOnId;
                p.numbering.sectionNumber = static_cast<uint8_t>(seg * 8);
                p.numbering.lastSectionNumber = 31 * 8;
                p.segmentLastSectionNumber = static_cast<uint8_t>(seg * 8);
                for (unsigned h = 0; h < 3; ++h) {
                    const unsigned hour = (table * 32 + seg) * 3 + h;
                    p.events.push_back(
                        event(static_cast<uint16_t>(1000 + hour), midnight + int64_t{hour} * 3600,
                              3600, 0, std::string(s.name) + " hour " + std::to_string(hour)));
                }
                out.push_back(buildEit(p));
            }
        }
    }
    return out;
}

Section totSection(int64_t utc) {
    LocalTimeOffset china;
    china.offsetMinutes = 8 * 60;
    china.nextOffsetMinutes = 8 * 60;
    china.timeOfChange = unixTime(2030, 1, 1);
    return buildTot({utc, {localTimeOffsetDescriptor({china})}});
}

// Sections given service by service (the same number for each) reordered into rounds of one
// section per service: the first of every service, then the second, and so on.
std::vector<Section> roundsAcrossServices(const std::vector<Section>& byService,
                                          std::size_t services) {
    const std::size_t each = byService.size() / services;
    std::vector<Section> out;
    out.reserve(byService.size());
    for (std::size_t k = 0; k < each; ++k)
        for (std::size_t s = 0; s < services; ++s)
            out.push_back(byService[s * each + k]);
    return out;
}

// An EIT source; with packed SI, in rounds of one section per service sent as one burst.
TableSource eitTable(uint32_t intervalMs, uint32_t offsetMs, std::vector<Section> byService,
                     std::size_t services, bool packedSi) {
    if (!packedSi) return table(kPidEit, intervalMs, offsetMs, std::move(byService));
    TableSource t = table(kPidEit, intervalMs, offsetMs, roundsAcrossServices(byService, services));
    t.burst = static_cast<unsigned>(services);
    return t;
}

void addPmtDataStreams(std::vector<ProgramConfig>& programs, unsigned count) {
    if (count > kMaxPmtDataStreams)
        throw std::invalid_argument("more PMT data streams than a PMT section holds");
    for (ProgramConfig& p : programs)
        for (unsigned k = 0; k < count; ++k)
            p.extraStreams.push_back({0x06,
                                      static_cast<uint16_t>(p.pmtPid + 0x40 + k),
                                      {iso639LanguageDescriptor("eng")}});
}

StreamConfig baseConfig(const PresetOptions& o, uint64_t defaultMs, bool schedule,
                        std::vector<ProgramConfig> programs, const Services& services) {
    addPmtDataStreams(programs, o.pmtDataStreams);
    if (o.sharedPmtPid)
        for (ProgramConfig& p : programs)
            p.pmtPid = programs.front().pmtPid;
    StreamConfig c;
    c.bitrate = o.bitrate;
    c.packetSize = o.packetSize;
    c.packetCount = packetsForMs(o.durationMs.value_or(defaultMs), o.bitrate, o.packetSize);
    c.programs = std::move(programs);
    c.tables.push_back(table(0x0000, 100, 0, {patSectionFor(kTsId, c.programs, kPidNit)}));
    for (std::size_t i = 0; i < c.programs.size(); ++i)
        c.tables.push_back(table(c.programs[i].pmtPid, 100,
                                 static_cast<uint32_t>(o.sharedPmtPid ? 10 : 10 + 20 * i),
                                 {pmtSectionFor(c.programs[i])}));
    for (TableSource& t : c.tables) {
        t.continuous = o.packedPsi;  // the PAT and the PMTs (the presets have no CAT)
        t.pack = o.sharedPmtPid;
    }
    c.tables.push_back(table(kPidNit, 2000, 50, {nitSection(services)}));
    c.tables.push_back(table(kPidSdt, 1000, 70, {sdtSection(services, schedule)}));
    const bool packed = o.packedSi;
    c.tables.push_back(
        eitTable(1600, 90, eitPresentFollowing(services, c.startUtc), services.size(), packed));
    if (schedule)
        c.tables.push_back(
            eitTable(8000, 130, eitSchedule(services, c.startUtc), services.size(), packed));
    TableSource tdt = table(kPidTdt, 2000, 110, {});
    tdt.timed = [](int64_t utc) { return buildTdt(utc); };
    c.tables.push_back(tdt);
    TableSource tot = table(kPidTdt, 4000, 1110, {});
    tot.timed = totSection;
    c.tables.push_back(tot);
    if (o.siStuffing) {
        const std::vector<TableSource> tables = c.tables;
        for (const TableSource& t : tables)
            if (t.pid == kPidNit || t.pid == kPidSdt) c.tables.push_back(stuffingBehind(t));
    }
    for (TableSource& t : c.tables)
        if (t.pid >= kPidNit && t.pid <= kPidTdt) t.pack = packed;
    return c;
}

}  // namespace

Preset tenProgramPreset(const PresetOptions& options) {
    // Ten programs share 70 % of the bitrate, each an MPEG-2 video with its PCR and one audio.
    const uint64_t share = options.bitrate * 7 / 100;
    std::vector<ProgramConfig> programs;
    Services services;
    for (uint16_t n = 1; n <= 10; ++n) {
        ProgramConfig p;
        p.programNumber = n;
        p.pmtPid = static_cast<uint16_t>(0x100 * n);
        p.pcrPid = static_cast<uint16_t>(p.pmtPid + 1);
        p.pcrOffsetMs = 3u * n;
        p.video = VideoParams{};
        p.video->pid = p.pcrPid;
        p.video->bitrate = static_cast<uint32_t>(share - 192'000);
        p.video->startMs = 40u * n;
        p.audios.push_back(AudioParams{});
        p.audios[0].pid = static_cast<uint16_t>(p.pmtPid + 2);
        p.audios[0].startMs = 5u * n;
        programs.push_back(p);
        services.push_back({n, "ORV Channel " + std::to_string(n)});
    }
    return {baseConfig(options, kCleanMs, true, std::move(programs), services), {}};
}

Preset cleanPreset(const PresetOptions& options) {
    return {baseConfig(options, kCleanMs, false, twoPrograms(), twoServices()), {}};
}

// The sample's faults. At the default settings (8 Mbit/s, 188-byte packets, 12 s = 63829
// packets) they land exactly here (see the tsgen test that pins them):
//
//   fault                                   output packet          PID
//   cc-skip, value 1 (one packet lost)      11227                  0x0101 program 1 video
//   cc-repeat, count 2 (audio packet sent   21348, copies at       0x0102 program 1 audio
//   three times)                            21349 and 21350
//   tei (transport_error_indicator)         31918                  0x0201 program 2 video
//   stray (PID in no PMT), 3 packets        37576, 37578, 37583    0x0777
//   scramble, value 2                       47965                  0x0202 program 2 audio
//
// None of them is a PES header packet or carries a PCR. The stream has no CAT, so the scrambled
// packet is reported as scrambling without a CAT.
Preset samplePreset(const PresetOptions& options) {
    Preset p{baseConfig(options, kSampleMs, true, twoPrograms(), twoServices()), {}};
    const StreamConfig& c = p.config;
    auto at = [&](uint64_t ms) { return slotAtMs(c, ms); };
    auto fault = [](FaultKind k, uint64_t where, uint16_t pid) {
        Fault f;
        f.kind = k;
        f.at = where;
        f.pid = pid;
        return f;
    };
    p.faults.push_back(fault(FaultKind::CcSkip, at(2110), 0x0101));
    // Sent once more would be legal (ISO/IEC 13818-1 allows one repeat); three times is not.
    Fault repeat = fault(FaultKind::CcRepeat, at(4010), 0x0102);
    repeat.count = 2;
    p.faults.push_back(repeat);
    p.faults.push_back(fault(FaultKind::TransportError, at(6000), 0x0201));
    Fault stray = fault(FaultKind::StrayPid, at(7000), 0x0777);
    stray.count = 3;
    p.faults.push_back(stray);
    Fault scramble = fault(FaultKind::Scrambling, at(9014), 0x0202);
    scramble.value = 2;
    p.faults.push_back(scramble);
    return p;
}

std::optional<Preset> presetByName(std::string_view name, const PresetOptions& options) {
    if (name == "clean") return cleanPreset(options);
    if (name == "sample") return samplePreset(options);
    if (name == "ten-programs") return tenProgramPreset(options);
    return std::nullopt;
}

}  // namespace tsgen
