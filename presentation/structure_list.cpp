#include "presentation/structure_list.h"

#include <algorithm>

#include "presentation/page_texts.h"

namespace orv {
namespace {

constexpr unsigned kPidDit = 0x001E;
constexpr unsigned kPidSit = 0x001F;

// Adds the packets of a PID once, however many records of the program table track it.
class DistinctPids {
  public:
    uint64_t add(unsigned pid, uint64_t packets) {
        if (std::find(seen_.begin(), seen_.end(), pid) != seen_.end()) return 0;
        seen_.push_back(pid);
        total_ += packets;
        return packets;
    }
    uint64_t total() const { return total_; }

  private:
    std::vector<unsigned> seen_;
    uint64_t total_ = 0;
};

class RowBuilder {
  public:
    explicit RowBuilder(const AnalysisContext& ctx) : ctx_(ctx) {}

    void startGroup(StructureGroup g, const char* text) {
        group_ = g;
        groupText_ = text;
    }

    StructureRow& add(std::string type, uint64_t packets, bool threeDecimals = false) {
        StructureRow r;
        r.group = group_;
        r.groupText = std::move(groupText_);
        groupText_.clear();
        r.type = std::move(type);
        r.packets = packets;
        r.share = packetShare(ctx_, packets);
        r.mbps = r.share * ctx_.streamBitrate.current;
        r.rate = printfText("%2.5f", r.mbps);
        r.bandwidth = bandwidthText(r.share, threeDecimals);
        rows_.push_back(std::move(r));
        return rows_.back();
    }

    static void setPid(StructureRow& r, unsigned pid) {
        r.pid = static_cast<int>(pid);
        r.pidText = printfText("0x%04x", pid);
    }

    std::vector<StructureRow> take() { return std::move(rows_); }

  private:
    const AnalysisContext& ctx_;
    StructureGroup group_ = StructureGroup::Summary;
    std::string groupText_;
    std::vector<StructureRow> rows_;
};

uint64_t siPackets(const AnalysisContext& ctx, unsigned pid) {
    return ctx.si[pid - kPidNit].cc.packetCount;
}

}  // namespace

std::string bandwidthText(double share, bool threeDecimals) {
    const double percent = share * 100.0;
    if (percent < 0.001) return "< 0.001";
    return printfText(threeDecimals ? "%2.3f" : "%2.2f", percent);
}

uint64_t psiSiPackets(const AnalysisContext& ctx) {
    uint64_t n = ctx.pat.cc.packetCount;
    DistinctPids pmts;
    for (const ProgramEntry& p : ctx.programs)
        pmts.add(p.pmtPid, p.pmtCc.packetCount);
    n += pmts.total();
    if (ctx.cat.catPresent) n += ctx.cat.cc.packetCount;
    for (unsigned pid = kPidNit; pid <= kPidTdtTot; ++pid)
        n += siPackets(ctx, pid);
    n += ctx.reservedPids[kPidDit].packetCount + ctx.reservedPids[kPidSit].packetCount;
    return n;
}

std::vector<StructureRow> structureRows(const AnalysisContext& ctx) {
    if (!ctx.initDone || ctx.packetCounter == 0) return {};
    RowBuilder b(ctx);
    const SiSectionStore& st = ctx.siStore;

    b.startGroup(StructureGroup::Summary, "传送流摘要");
    {
        StructureRow& r = b.add("", ctx.packetCounter);
        r.id = printfText("0x%04x", unsigned{ctx.pat.header.tableIdExtension});
        r.caSystemIdText = " - ";
        r.bandwidth = "100";
    }

    b.startGroup(StructureGroup::PsiSi, "PSI/SI");
    b.add("摘要", psiSiPackets(ctx));
    struct TableRow {
        bool seen;
        const char* type;
        const char* id;
        unsigned pid;
        uint64_t packets;
    };
    auto addTable = [&](const TableRow& t, bool threeDecimals = false) {
        if (!t.seen) return;
        StructureRow& r = b.add(t.type, t.packets, threeDecimals);
        r.id = t.id;
        RowBuilder::setPid(r, t.pid);
    };
    addTable({ctx.pat.patFound, "PAT", "0x00", kPidPat, ctx.pat.cc.packetCount}, true);
    for (const ProgramEntry& p : ctx.programs) {
        if (!p.pmtReceived) continue;
        StructureRow& r =
            b.add(printfText("节目 0x%04x", unsigned{p.programNumber}), p.pmtCc.packetCount);
        r.id = "0x02";
        RowBuilder::setPid(r, p.pmtPid);
    }
    const bool eitSeen = std::any_of(st.eit.begin(), st.eit.end(),
                                     [](const EitSectionList& l) { return l.count() > 0; });
    const TableRow later[] = {
        {ctx.cat.catPresent, "CAT", "0x01", kPidCat, ctx.cat.cc.packetCount},
        {st.list(SiKind::NitActual).count() > 0 || st.list(SiKind::NitOther).count() > 0, "NIT",
         "0x40,0x41", kPidNit, siPackets(ctx, kPidNit)},
        {st.list(SiKind::SdtActual).count() > 0 || st.list(SiKind::SdtOther).count() > 0 ||
             st.list(SiKind::Bat).count() > 0,
         "SDT/BAT", "0x42,0x46,0x4A", kPidSdtBat, siPackets(ctx, kPidSdtBat)},
        {eitSeen, "EIT", "0x4E...0x6F", kPidEit, siPackets(ctx, kPidEit)},
        {st.rst.present, "RST", "0x71", kPidRst, siPackets(ctx, kPidRst)},
        {st.tdt.present || st.tot.present, "TDT/TOT", "0x70,0x73", kPidTdtTot,
         siPackets(ctx, kPidTdtTot)},
        {ctx.reservedPids[kPidDit].packetCount > 0, "DIT", "0x7E", kPidDit,
         ctx.reservedPids[kPidDit].packetCount},
        {ctx.reservedPids[kPidSit].packetCount > 0, "SIT", "0x7F", kPidSit,
         ctx.reservedPids[kPidSit].packetCount},
    };
    for (const TableRow& t : later)
        addTable(t);

    // Components and CA PIDs, each PID's packets counted once for the rows below.
    DistinctPids components;
    DistinctPids ca;
    b.startGroup(StructureGroup::Components, "节目单元摘要");
    for (const ProgramEntry& p : ctx.programs) {
        for (const ComponentRef& c : programComponents(p)) {
            const uint64_t packets = c.cc != nullptr ? c.cc->packetCount : 0;
            components.add(c.pid, packets);
            StructureRow& r = b.add(componentNames(c.kind).structure, packets);
            r.id = printfText("0x%02x", c.streamType);
            RowBuilder::setPid(r, c.pid);
            r.pcrPid = p.pcrPid;
            r.pcrPidText = printfText("0x%04x", unsigned{p.pcrPid});
        }
        for (int i = 0; i < p.caCount && i < kMaxCaEntries; ++i) {
            const CaEntry& e = p.ca[static_cast<std::size_t>(i)];
            ca.add(e.caPid.pid, e.caPid.cc.packetCount);
            StructureRow& r = b.add("ECM", e.caPid.cc.packetCount);
            r.caSystemId = e.caSystemId;
            r.caSystemIdText = printfText("0x%04x", unsigned{e.caSystemId});
            RowBuilder::setPid(r, e.caPid.pid);
        }
    }

    b.startGroup(StructureGroup::Ca, "CA摘要信息");
    for (int i = 0; i < ctx.cat.emmCount && i < kMaxEmmEntries; ++i) {
        const CaEntry& e = ctx.cat.emm[static_cast<std::size_t>(i)];
        ca.add(e.caPid.pid, e.caPid.cc.packetCount);
        StructureRow& r = b.add("EMM", e.caPid.cc.packetCount);
        r.caSystemId = e.caSystemId;
        r.caSystemIdText = printfText("0x%04x", unsigned{e.caSystemId});
        RowBuilder::setPid(r, e.caPid.pid);
    }
    b.add("CA系统", ca.total());

    b.startGroup(StructureGroup::Other, "其他");
    uint64_t unreferenced = 0;
    for (int i = 0; i < ctx.unreferencedCount && i < kMaxUnreferencedPids; ++i)
        unreferenced += ctx.unreferenced[static_cast<std::size_t>(i)].cc.packetCount;
    b.add("非指定PID", unreferenced);
    StructureRow& null = b.add("空包", ctx.nullPacketCount);
    null.pid = static_cast<int>(kPidNull);
    null.pidText = "0x1FFF";
    // Whatever no row above counts: PCR-only PIDs, reserved PIDs without a table, PIDs beyond
    // the unreferenced table.
    const uint64_t counted =
        psiSiPackets(ctx) + components.total() + ca.total() + unreferenced + ctx.nullPacketCount;
    b.add("填充", ctx.packetCounter > counted ? ctx.packetCounter - counted : 0);
    return b.take();
}

}  // namespace orv
