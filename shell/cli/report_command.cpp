#include "shell/cli/report_command.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <ostream>

#include "platform/message.h"
#include "presentation/basic_info_page.h"
#include "presentation/guide_page.h"
#include "presentation/program_info_page.h"
#include "presentation/report_writers.h"
#include "shell/cli/analyze_command.h"
#include "shell/cli/number_option.h"

namespace orv::cli {
namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string_view tableName(const ReportTableChoice& c) {
    const std::string_view text = c.text;
    return text.substr(0, 3);
}

// The entry the --table value names, or -1.
int findTable(const std::vector<ReportTableChoice>& tables, std::string_view wanted) {
    for (std::size_t i = 0; i < tables.size(); ++i)
        if (tables[i].text == wanted) return static_cast<int>(i);
    const std::string w = upper(wanted);
    const std::size_t colon = w.find(':');
    const std::string name = w.substr(0, colon);
    std::optional<unsigned> number;
    if (colon != std::string::npos) {
        number = parseNumber(std::string_view(w).substr(colon + 1));
        if (!number) return -1;
    }
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const ReportTableChoice& c = tables[i];
        if (tableName(c) != name) continue;
        if (!number) return static_cast<int>(i);
        if (c.tableId == 0x02) {
            // PMT:N names the program by its number: "PMT[%04x]" shows it in hex.
            const auto program = parseNumber("0x" + c.text.substr(4, 4));
            if (program && *program == *number) return static_cast<int>(i);
        } else if (c.tableId == *number) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void showTableChoices(const std::vector<ReportTableChoice>& tables, std::string_view wanted) {
    std::string text =
        "orv01: --table " + std::string(wanted) + " names no table of this stream; the tables are:";
    for (const ReportTableChoice& c : tables)
        text += " \"" + c.text + "\"";
    showMessage(text);
}

// The guide service of kind 10: chosen in its list as a user would, so the page shows it.
bool chooseService(GuidePage& guide, const AnalysisContext& ctx, std::optional<unsigned> wanted) {
    for (const GuideListId id : {GuideListId::Actual, GuideListId::Other}) {
        const GuideList& list = id == GuideListId::Actual ? ctx.guide.actual : ctx.guide.other;
        for (int row = 0; row < list.count(); ++row) {
            if (wanted && list.services[static_cast<std::size_t>(row)].serviceId != *wanted)
                continue;
            guide.selectionChanged(ctx, id, row);
            return true;
        }
    }
    return !wanted;
}

std::string kindName(int kind) {
    return "kind " + std::to_string(kind) + " (" + reportKindTexts()[kind - 1] + ")";
}

}  // namespace

std::optional<std::vector<int>> parseReportKinds(std::string_view text) {
    std::vector<int> kinds;
    if (text == "all") {
        for (int k = 1; k <= kReportKindCount; ++k)
            kinds.push_back(k);
        return kinds;
    }
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        int k = 0;
        const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), k);
        if (item.empty() || ec != std::errc{} || end != item.data() + item.size() || k < 1 ||
            k > kReportKindCount) {
            showMessage("orv01: --kind takes 'all' or kind numbers 1 to 10 separated by commas");
            return std::nullopt;
        }
        kinds.push_back(k);
        if (comma == std::string_view::npos) return kinds;
        text.remove_prefix(comma + 1);
    }
}

std::optional<unsigned> parseServiceOption(std::string_view text) {
    const std::optional<unsigned> id = parseNumber(text);
    if (!id || *id > 0xFFFF) {
        showMessage("orv01: --service takes a service_id, 0 to 65535 (or 0x0000 to 0xffff)");
        return std::nullopt;
    }
    return id;
}

int runReportCommand(const ReportCommandOptions& o, std::ostream& out, std::ostream& progressOut) {
    AnalyzeOptions analyze;
    analyze.file = o.file;
    analyze.writeLog = false;  // a report leaves the error log alone
    analyze.switches = o.switches;
    analyze.progress = o.progress;
    analyze.bitrateMbps = o.bitrateMbps;
    std::optional<AnalysedFile> run = analyseFileForReport(analyze, progressOut);
    if (!run) return kExitInputError;
    const AnalysisContext& ctx = *run->ctx;

    ReportDialog dialog;
    dialog.save = true;
    dialog.print = false;  // no page printer on the command line
    dialog.path = o.out;
    dialog.encoding = o.encoding;
    dialog.fillTables(ctx);
    const bool wantsTable = std::find(o.kinds.begin(), o.kinds.end(), 6) != o.kinds.end();
    if (o.table && wantsTable) {
        dialog.tableIndex = findTable(dialog.tables, *o.table);
        if (dialog.tableIndex < 0) {
            showTableChoices(dialog.tables, *o.table);
            showHeldMessages(*run);
            return kExitInputError;
        }
    }
    GuidePage guide;
    guide.refresh(ctx);
    if (!chooseService(guide, ctx, o.service)) {
        showMessage("orv01: --service " + std::to_string(*o.service) +
                    ": no such service in the programme guide");
        showHeldMessages(*run);
        return kExitInputError;
    }

    // The pages the other kinds read, as they show after the run: the first program chosen.
    BasicInfoPage basicInfo;
    basicInfo.refresh(ctx);
    ProgramInfoPage program;
    program.refresh(ctx);
    ReportSources sources{&ctx, run->page.get(), &guide};
    sources.basicInfo = &basicInfo;
    sources.program = &program;  // a file has no card input: kind 2 shows no QAM parameters
    const std::time_t now = std::time(nullptr);
    int exitCode = incompleteExitCode(*run);
    for (const int kind : o.kinds) {
        dialog.kind = kind;
        const ReportOutcome outcome = runReport(dialog, sources, now);
        switch (outcome.status) {
            case ReportStatus::Written:
                out << kindName(kind) << " appended to " << outcome.file << '\n';
                break;
            case ReportStatus::PrintOnly:
                showMessage("orv01: " + kindName(kind) +
                            " is a graph that is only printed; skipped");
                break;
            case ReportStatus::NothingToDo:
                showMessage("orv01: " + kindName(kind) +
                            " shows the selected data capture; there is none here; skipped");
                break;
            case ReportStatus::NotAvailable:
                showMessage("orv01: " + kindName(kind) + " is not available yet; skipped");
                break;
            case ReportStatus::OpenFailed:
            case ReportStatus::WriteFailed:
                if (exitCode == kExitAnalysed) exitCode = kExitReportNotWritten;
                break;
            default:
                break;
        }
        if (outcome.status == ReportStatus::OpenFailed) break;  // the next would fail alike
    }
    out << std::flush;
    showHeldMessages(*run);
    return exitCode;
}

}  // namespace orv::cli
