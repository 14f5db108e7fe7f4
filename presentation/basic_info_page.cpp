#include "presentation/basic_info_page.h"

#include <algorithm>

namespace orv {
namespace {

constexpr const char* kNone = "<None>";

ClassShare share(uint64_t packets, uint64_t all) {
    ClassShare c;
    c.packets = packets;
    if (all == 0) {
        c.text = printfText("%2.2f%c", 0.0, '%');
        return c;
    }
    c.percent = static_cast<double>(packets) * 100.0 / static_cast<double>(all);
    c.text = printfText("%2.2f%c", c.percent, '%');
    c.bar = static_cast<int>(packets * 10000 / all);
    return c;
}

uint64_t read12(const uint8_t* b) {
    return uint64_t{b[0] & 0x0Fu} << 8 | b[1];
}

// The first NIT actual section: network_id, the first network name, and the first entry of the
// transport stream loop when the loop has one inside the section.
void readNit(const AnalysisContext& ctx, BasicInfo& info) {
    const SiSectionList& nits = ctx.siStore.list(SiKind::NitActual);
    if (nits.count() == 0) return;
    const StoredSiSection& first = nits.entries.front();
    info.networkId = first.header.networkId;
    const std::string& names = first.header.networkName;
    const std::string name = names.substr(0, names.find('\0'));
    if (!name.empty()) info.networkName = name;
    const std::vector<uint8_t>& b = first.bytes;
    // network_descriptors_length at byte 8; the loop length after the descriptors; the CRC_32
    // closes the section.
    if (b.size() < 16) return;
    const std::size_t loop = 10 + read12(&b[8]);
    if (loop + 2 + 6 > b.size() - 4) return;
    if (read12(&b[loop]) < 6) return;
    info.nitTransportStreamId = first.header.firstTransportStreamId;
    info.nitOriginalNetworkId = first.header.firstOriginalNetworkId;
}

std::string hex16OrNone(const std::optional<unsigned>& v) {
    return v ? printfText("0x%04x", *v) : std::string(kNone);
}

std::vector<std::string> programChoices(const AnalysisContext& ctx) {
    std::vector<std::string> out;
    for (const ProgramEntry& p : ctx.programs)
        out.push_back(printfText("节目号:0x%04x  PMT_PID:0x%04x", unsigned{p.programNumber},
                                 unsigned{p.pmtPid}));
    return out;
}

IntervalRow interval(const char* name, unsigned tableId, const IntervalStats& s) {
    return {name, tableId, -1, true, s.last, s.max, s.min};
}
IntervalRow interval(const char* name, unsigned tableId, const RepetitionStats& r) {
    return {name, tableId, -1, true, r.current, r.longest, r.shortest};
}

}  // namespace

std::array<ClassShare, kPacketClassCount> packetClasses(const AnalysisContext& ctx) {
    std::vector<unsigned> videoPids, audioPids;
    uint64_t video = 0, audio = 0;
    for (const ProgramEntry& p : ctx.programs) {
        if (p.video.present &&
            std::find(videoPids.begin(), videoPids.end(), p.video.pid) == videoPids.end()) {
            videoPids.push_back(p.video.pid);
            video += p.video.cc.packetCount;
        }
        for (int a = 0; a < p.audioCount && a < kMaxAudioComponents; ++a) {
            const AudioComponent& au = p.audio[static_cast<std::size_t>(a)];
            if (std::find(audioPids.begin(), audioPids.end(), au.pid) != audioPids.end()) continue;
            audioPids.push_back(au.pid);
            audio += au.cc.packetCount;
        }
    }
    const uint64_t all = ctx.packetCounter;
    const uint64_t psi = psiSiPackets(ctx);
    const uint64_t null = ctx.nullPacketCount;
    const uint64_t known = null + psi + video + audio;
    const uint64_t other = all > known ? all - known : 0;
    return {share(video, all), share(audio, all), share(psi, all), share(null, all),
            share(other, all)};
}

std::vector<IntervalRow> intervalRows(const AnalysisContext& ctx) {
    std::vector<IntervalRow> rows;
    rows.push_back(interval("PAT", 0x00, ctx.pat.interval));
    for (const ProgramEntry& p : ctx.programs) {
        IntervalRow r = interval("PMT", 0x02, p.pmtInterval);
        r.programNumber = p.programNumber;
        r.received = p.pmtReceived;
        rows.push_back(r);
    }
    if (ctx.cat.catPresent) rows.push_back(interval("CAT", 0x01, ctx.cat.interval));
    const SiSectionStore& st = ctx.siStore;
    struct Si {
        SiKind kind;
        const char* name;
        unsigned tableId;
    };
    static constexpr Si kSi[] = {{SiKind::NitActual, "NIT", kTableNitActual},
                                 {SiKind::NitOther, "NIT", kTableNitOther},
                                 {SiKind::SdtActual, "SDT", kTableSdtActual},
                                 {SiKind::SdtOther, "SDT", kTableSdtOther},
                                 {SiKind::Bat, "BAT", kTableBat}};
    for (const Si& s : kSi)
        if (st.list(s.kind).count() > 0)
            rows.push_back(interval(s.name, s.tableId, st.list(s.kind).repetition));
    for (int i = 0; i < kEitListCount; ++i) {
        const EitSectionList& l = st.eit[static_cast<std::size_t>(i)];
        if (l.count() > 0)
            rows.push_back(
                interval("EIT", kTableEitPfActual + static_cast<unsigned>(i), l.repetition));
    }
    if (st.tdt.present) rows.push_back(interval("TDT", kTableTdt, st.tdt.repetition));
    if (st.tot.present) rows.push_back(interval("TOT", kTableTot, st.tot.repetition));
    return rows;
}

SelectedProgramTexts selectedProgramTexts(const AnalysisContext& ctx, int index) {
    SelectedProgramTexts t;
    if (index < 0 || index >= ctx.programCount()) return t;
    const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(index)];
    const ServiceFacts s = serviceOf(ctx, p.programNumber);
    t.provider = s.provider.empty() ? kNone : s.provider;
    t.name = s.name.empty() ? kNone : s.name;
    t.freeCa = s.freeCaMode == 1 ? "业务组件被加扰" : "业务组件未被加扰";
    t.pcrPid = printfText("0x%04x", unsigned{p.pcrPid});
    for (const ComponentRef& c : programComponents(p))
        t.components.push_back(componentListText(c));
    if (t.components.empty()) t.components.push_back(kNone);
    t.caList.push_back("   CA_system_ID  ECM_PID");
    for (int i = 0; i < p.caCount && i < kMaxCaEntries; ++i) {
        const CaEntry& e = p.ca[static_cast<std::size_t>(i)];
        t.caList.push_back(printfText(" %d 0x%04x         0x%04x", i + 1, unsigned{e.caSystemId},
                                      unsigned{e.caPid.pid}));
    }
    return t;
}

int BasicInfoPage::refresh(const AnalysisContext& ctx) {
    active_ = true;
    if (!ctx.initDone || ctx.packetCounter == 0) return kBasicInfoRefreshMs;
    BasicInfo& i = info_;
    i.filled = true;
    i.packets = ctx.packetCounter;
    i.classes = packetClasses(ctx);

    i.rateMin = ctx.streamBitrate.min;
    i.rateMax = ctx.streamBitrate.max;
    i.rateMean = ctx.streamBitrate.mean;
    i.rateCurrent = ctx.streamBitrate.current;
    i.rateMinText = printfText("%3.6f", i.rateMin);
    i.rateMaxText = printfText("%3.6f", i.rateMax);
    i.rateMeanText = printfText("%3.6f", i.rateMean);
    i.rateCurrentText = printfText("%3.6f", i.rateCurrent);

    const KindCounters& k = ctx.log.kindCount;
    i.packetLength = ctx.packetLength;
    i.syncLosses = k.total(Tr290ErrorKind::SyncLoss);
    i.syncByteErrors = k.total(Tr290ErrorKind::SyncByte);
    i.transportErrors = k.total(Tr290ErrorKind::TransportError);
    i.packetLengthText = printfText("%d Bytes", i.packetLength);
    i.syncLossText = printfText("%d", i.syncLosses);
    i.syncByteText = printfText("%d", i.syncByteErrors);
    i.transportErrorText = printfText("%d", i.transportErrors);

    i.transportStreamId = ctx.pat.header.tableIdExtension;
    i.programCount = ctx.programCount();
    i.pcrPidCount = ctx.distinctPcrPidCount;
    i.transportStreamIdText = printfText("0x%04x", i.transportStreamId);
    i.programCountText = printfText("%d", i.programCount);
    i.pcrPidCountText = printfText("%d", i.pcrPidCount);

    i.networkId.reset();
    i.networkName.reset();
    i.nitTransportStreamId.reset();
    i.nitOriginalNetworkId.reset();
    readNit(ctx, i);
    i.nitPidText = "0x0010";
    i.networkIdText = hex16OrNone(i.networkId);
    i.networkNameText = i.networkName.value_or(kNone);
    i.nitTransportStreamIdText = hex16OrNone(i.nitTransportStreamId);
    i.nitOriginalNetworkIdText = hex16OrNone(i.nitOriginalNetworkId);

    // The selector is filled once per program table; a new run's table refills it.
    std::vector<std::string> choices = programChoices(ctx);
    if (choices != i.programChoices) {
        i.programChoices = std::move(choices);
        if (i.selected >= static_cast<int>(i.programChoices.size())) i.selected = 0;
    }
    i.selectedProgram = selectedProgramTexts(ctx, i.selected);
    i.programs.clear();
    for (const ProgramEntry& p : ctx.programs) {
        ProgramSummary s;
        s.programNumber = p.programNumber;
        s.pmtPid = p.pmtPid;
        s.pcrPid = p.pcrPid;
        s.pmtReceived = p.pmtReceived;
        s.service = serviceOf(ctx, p.programNumber);
        s.components = programComponents(p);
        for (ComponentRef& c : s.components)
            c.cc = nullptr;  // the snapshot outlives the context's records
        for (int c = 0; c < p.caCount && c < kMaxCaEntries; ++c)
            s.ca.push_back(p.ca[static_cast<std::size_t>(c)]);
        i.programs.push_back(std::move(s));
    }
    i.intervals = intervalRows(ctx);
    i.structure = structureRows(ctx);
    return kBasicInfoRefreshMs;
}

int BasicInfoPage::refreshStructure(const AnalysisContext& ctx) {
    active_ = true;
    if (ctx.initDone && ctx.packetCounter > 0) info_.structure = structureRows(ctx);
    return kBasicInfoRefreshMs;
}

void BasicInfoPage::selectProgram(const AnalysisContext& ctx, int index) {
    if (index < 0 || index >= static_cast<int>(info_.programChoices.size())) return;
    info_.selected = index;
    info_.selectedProgram = selectedProgramTexts(ctx, index);
}

}  // namespace orv
