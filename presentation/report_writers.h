// The writers of the stream information report, one per kind, behind one table: what the dialog's
// "确 定" runs. Each writer reads what a page currently shows (the sources), builds its lines, and
// the shared output appends them to the report file and hands them to the page printer.
//
// A kind whose writer is not plugged in yet is reported as not available; kinds 5, 7 and 8 are
// graphs that are only printed. To add a writer: put its page into ReportSources and its body
// function into the table in report_writers.cpp.
#pragma once

#include "presentation/hex_dump.h"

#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/capture_copy.h"
#include "presentation/basic_info_page.h"
#include "presentation/program_info_page.h"
#include "presentation/report_dialog.h"
#include "presentation/report_table_text.h"

namespace orv {

class ResultsPage;
class GuidePage;
struct InterfaceSettings;

// What the writers read: the analysis and the pages (null: that page is not available).
struct ReportSources {
    const AnalysisContext* ctx = nullptr;
    const ResultsPage* results = nullptr;      // kind 3
    const GuidePage* guide = nullptr;          // kind 10
    const BasicInfoPage* basicInfo = nullptr;  // kinds 1 and 2
    // Kind 2's QAM section: the card's CABLE settings; null for any other input.
    const InterfaceSettings* cable = nullptr;
    const ProgramInfoPage* program = nullptr;  // kind 4: its selected program
    const CaptureCopy* capture = nullptr;      // kind 9: the selected copy; null when none
};

// What a writer produced: the body lines for the file, and for the printer the same lines or the
// columns of a tabular kind. `refusal` set: the writer showed that message instead and nothing is
// output.
struct ReportBody {
    std::vector<std::string> lines;
    std::span<const ReportColumn> printColumns;  // empty: a kind printed as lines
    std::vector<std::vector<std::string>> printRows;
    std::optional<std::string> refusal;
    // Nothing to output, and nothing to say either (kind 9 without a capture).
    bool nothing = false;
};

// What the page printer is handed: the lines as saved; a tabular kind also gives its columns
// with their print widths and the rows.
struct ReportPrintJob {
    std::string title;
    std::vector<std::string> lines;
    std::span<const ReportColumn> columns;
    std::vector<std::vector<std::string>> rows;
};

enum class ReportStatus {
    NothingToDo,   // neither save nor print was asked for
    Written,       // saved and/or handed to the printer
    Refused,       // the writer showed its message instead (an empty guide)
    NotAvailable,  // this kind's writer is not part of this build
    PrintOnly,     // a graph kind: nothing to save, printing is up to the front end
    OpenFailed,    // the report file could not be opened; nothing was saved or printed
    WriteFailed,   // the report file could not be written whole
};

struct ReportOutcome {
    ReportStatus status = ReportStatus::NothingToDo;
    std::optional<ReportPrintJob> print;  // set when printing was asked for and lines exist
    std::string file;                     // the report file on this system, when saved
};

struct ReportKindInfo {
    int number;                           // 1..10
    std::vector<std::string> titleLines;  // the file's title lines (TABs included)
    const char* printTitle;               // empty for the graph kinds
    bool printOnly;
    // null: not available in this build
    ReportBody (*body)(const ReportSources&, const ReportDialog&, std::time_t now);
};

// The kind table entry of kind 1..10 (nullptr outside).
const ReportKindInfo* reportKind(int number);

// What "确 定" does: the selected kind's writer, then saving and printing as the flags say.
// `now` is the time the time line shows.
ReportOutcome runReport(const ReportDialog& dialog, const ReportSources& sources, std::time_t now);

// The body writers of this build, for tests and other front ends.
ReportBody eventListReport(const ReportSources& sources, const ReportDialog& dialog,
                           std::time_t now);  // 3
ReportBody tableReport(const ReportSources& sources, const ReportDialog& dialog,
                       std::time_t now);  // 6
ReportBody structureReport(const ReportSources& sources, const ReportDialog& dialog,
                           std::time_t now);  // 1
ReportBody basicInfoReport(const ReportSources& sources, const ReportDialog& dialog,
                           std::time_t now);  // 2
ReportBody programReport(const ReportSources& sources, const ReportDialog& dialog,
                         std::time_t now);  // 4
ReportBody captureReport(const ReportSources& sources, const ReportDialog& dialog,
                         std::time_t now);  // 9
ReportBody guideReport(const ReportSources& sources, const ReportDialog& dialog,
                       std::time_t now);  // 10

}  // namespace orv
