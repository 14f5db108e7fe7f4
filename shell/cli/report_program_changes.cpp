#include "shell/cli/report_program_changes.h"

#include <cstdio>

#include "engine/analysis_context.h"

namespace orv::cli {

void addProgramChanges(AnalysisReport& report, const AnalysisContext& ctx) {
    const ProgramChanges& changes = ctx.programChanges;
    report.programChanges = changes.count;
    for (int i = 0; i < changes.recorded(); ++i) {
        const ProgramChangeRecord& c = changes.records[static_cast<std::size_t>(i)];
        report.programChangeList.push_back(
            {c.packet, c.pat ? "PAT" : "PMT", c.programNumber, c.pid, c.version});
    }
}

std::string programChangesSummary(const AnalysisReport& report) {
    if (report.programChanges == 0) return {};
    return "Program changes " + std::to_string(report.programChanges) + "\n";
}

std::string programChangesText(const AnalysisReport& report) {
    if (report.programChanges == 0) return {};
    std::string out = "\nProgram changes (" + std::to_string(report.programChanges) + ")\n";
    for (const ProgramChangeLine& c : report.programChangeList) {
        char line[128];
        if (c.table == "PAT") {
            std::snprintf(line, sizeof line, "  packet %-10llu  PAT  version %u\n",
                          static_cast<unsigned long long>(c.packet), c.version);
        } else {
            std::snprintf(line, sizeof line,
                          "  packet %-10llu  PMT  program 0x%04x  PID 0x%04x  version %u\n",
                          static_cast<unsigned long long>(c.packet), c.program, c.pid, c.version);
        }
        out += line;
    }
    const auto listed = static_cast<int>(report.programChangeList.size());
    if (listed < report.programChanges)
        out += "  ... " + std::to_string(report.programChanges - listed) + " more\n";
    return out;
}

nlohmann::json programChangesJson(const AnalysisReport& report) {
    nlohmann::json list = nlohmann::json::array();
    for (const ProgramChangeLine& c : report.programChangeList) {
        list.push_back(
            {{"packet", c.packet},
             {"table", c.table},
             {"program", c.table == "PAT" ? nlohmann::json() : nlohmann::json(c.program)},
             {"pid", c.pid},
             {"version", c.version}});
    }
    return {{"count", report.programChanges}, {"changes", list}};
}

}  // namespace orv::cli
