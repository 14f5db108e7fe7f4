#include "shell/cli/report_cut_short.h"

#include "engine/analysis_context.h"
#include "engine/si_tables.h"

namespace orv::cli {
namespace {

// The tables that count sections cut short, in the order of the per-table counters, with the line
// a count gets when no line of its table exists. A PMT line without a program has no PID to name.
struct CutShortTable {
    CrcTable table;
    const char* name;
    unsigned tableId;
    unsigned pid;
};
constexpr CutShortTable kTables[] = {
    {CrcTable::Pat, "PAT", 0x00, kPidPat},
    {CrcTable::Cat, "CAT", 0x01, kPidCat},
    {CrcTable::Pmt, "PMT", 0x02, kPidNull},
    {CrcTable::Nit, "NIT", kTableNitActual, kPidNit},
    {CrcTable::Eit, "EIT", kTableEitPfActual, kPidEit},
    {CrcTable::Bat, "BAT", kTableBat, kPidSdtBat},
    {CrcTable::Sdt, "SDT", kTableSdtActual, kPidSdtBat},
    {CrcTable::Tot, "TOT", kTableTot, kPidTdtTot},
};

bool belongsTo(const TableLine& line, CrcTable table) {
    return crcTableOfTableId(line.tableId) == static_cast<int>(table);
}

}  // namespace

void addCutShort(AnalysisReport& report, const AnalysisContext& ctx) {
    for (const CutShortTable& t : kTables) {
        const uint64_t count = ctx.sectionsCutShort[static_cast<std::size_t>(t.table)];
        uint64_t carried = 0;
        TableLine* first = nullptr;
        for (TableLine& line : report.tables) {
            if (!belongsTo(line, t.table)) continue;
            carried += line.cutShort;
            if (first == nullptr) first = &line;
        }
        if (count <= carried) continue;
        if (first != nullptr) {
            first->cutShort += count - carried;
        } else {
            TableLine line{t.name, t.tableId, t.pid, 0, {}};
            line.cutShort = count - carried;
            report.tables.push_back(line);
        }
    }
}

std::string cutShortText(const TableLine& line) {
    return line.cutShort == 0 ? std::string() : "  cut short " + std::to_string(line.cutShort);
}

}  // namespace orv::cli
