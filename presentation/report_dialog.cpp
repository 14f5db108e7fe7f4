#include "presentation/report_dialog.h"

#include <algorithm>
#include <cstdio>

namespace orv {
namespace {

constexpr std::array<const char*, kReportKindCount> kKindTexts = {
    "传送流结构信息", "传送流基本信息", "TR101监测信息", "节目信息",   "PCR分析曲线",
    "表信息",         "PES信息",        "PES信息",       "传送流数据", "电子节目指南",
};

std::string tableText(const char* name, unsigned tableId) {
    char text[48];
    std::snprintf(text, sizeof text, "%s   table_id=0x%02x", name, tableId);
    return text;
}

struct SiEntry {
    SiKind kind;
    const char* name;
    uint8_t tableId;
};
constexpr SiEntry kSiEntries[] = {
    {SiKind::NitActual, "NIT", kTableNitActual},
    {SiKind::NitOther, "NIT", kTableNitOther},
    {SiKind::SdtActual, "SDT", kTableSdtActual},
    {SiKind::SdtOther, "SDT", kTableSdtOther},
    {SiKind::Bat, "BAT", kTableBat},
};

std::span<const uint8_t> firstOf(const std::vector<uint8_t>& bytes) {
    return {bytes.data(), bytes.size()};
}

}  // namespace

const std::array<const char*, kReportKindCount>& reportKindTexts() {
    return kKindTexts;
}

std::vector<ReportTableChoice> reportTableChoices(const AnalysisContext& ctx) {
    std::vector<ReportTableChoice> out;
    out.push_back({tableText("PAT", 0x00), 0x00, -1});
    for (std::size_t i = 0; i < ctx.programs.size(); ++i) {
        const ProgramEntry& p = ctx.programs[i];
        if (!p.pmtReceived) continue;
        char text[48];
        std::snprintf(text, sizeof text, "PMT[%04x] PID:0x%04x", p.programNumber, p.pmtPid);
        out.push_back({text, 0x02, static_cast<int>(i)});
    }
    if (ctx.cat.catPresent) out.push_back({tableText("CAT", 0x01), 0x01, -1});
    const SiSectionStore& st = ctx.siStore;
    for (const SiEntry& e : kSiEntries)
        if (st.list(e.kind).count() > 0)
            out.push_back({tableText(e.name, e.tableId), e.tableId, -1});
    for (unsigned id = kTableEitPfActual; id <= kTableEitScheduleLast; ++id) {
        const EitSectionList* list = st.eitList(id);
        if (list != nullptr && list->count() > 0)
            out.push_back({tableText("EIT", id), static_cast<uint8_t>(id), -1});
    }
    if (st.tdt.present) out.push_back({tableText("TDT", kTableTdt), kTableTdt, -1});
    if (st.tot.present) out.push_back({tableText("TOT", kTableTot), kTableTot, -1});
    return out;
}

std::span<const uint8_t> reportTableSection(const AnalysisContext& ctx,
                                            const ReportTableChoice& choice) {
    const SiSectionStore& st = ctx.siStore;
    switch (choice.tableId) {
        case 0x00:
            return firstOf(ctx.pat.section);
        case 0x01:
            return firstOf(ctx.cat.section);
        case 0x02:
            if (choice.programIndex < 0 || choice.programIndex >= ctx.programCount()) return {};
            return firstOf(ctx.programs[static_cast<std::size_t>(choice.programIndex)].pmtSection);
        case kTableTdt: {
            if (!st.tdt.present) return {};
            // The TDT has no CRC_32: its section is 3 + section_length bytes, at most the record.
            const std::size_t length = std::min<std::size_t>(
                st.tdt.bytes.size(), 3u + ((st.tdt.bytes[1] & 0x0Fu) << 8 | st.tdt.bytes[2]));
            return {st.tdt.bytes.data(), length};
        }
        case kTableTot:
            return st.tot.present ? firstOf(st.tot.bytes) : std::span<const uint8_t>{};
        default:
            break;
    }
    for (const SiEntry& e : kSiEntries) {
        const SiSectionList& list = st.list(e.kind);
        if (e.tableId == choice.tableId)
            return list.count() > 0 ? firstOf(list.entries.front().bytes)
                                    : std::span<const uint8_t>{};
    }
    const EitSectionList* eit = st.eitList(choice.tableId);
    if (eit != nullptr && eit->count() > 0) return firstOf(eit->entries.front().bytes);
    return {};
}

void ReportDialog::fillTables(const AnalysisContext& ctx) {
    tables = reportTableChoices(ctx);
    tableIndex = 0;
}

void ReportDialog::choosePath(std::string_view chosen) {
    if (!chosen.empty()) path = chosen;
}

const ReportTableChoice* ReportDialog::table() const {
    if (tableIndex < 0 || static_cast<std::size_t>(tableIndex) >= tables.size()) return nullptr;
    return &tables[static_cast<std::size_t>(tableIndex)];
}

std::string_view ReportDialog::videoPesText() const {
    return kVideoPesCurves[videoPes == 1 ? 1 : 0];
}

std::string_view ReportDialog::audioPesText() const {
    return kAudioPesCurves[audioPes == 1 ? 1 : 0];
}

}  // namespace orv
