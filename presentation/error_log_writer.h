// The error log file: the rows of the results page's event list appended as CP936 text lines,
// after which the list starts empty and the pending batch restarts with the run's cause and the
// save event.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/analysis_context.h"
#include "presentation/results_page_rows.h"

namespace orv {

class ResultsPage;

enum class ErrorLogResult {
    Appended,
    OpenFailed,   // the file could not be opened; nothing was written
    WriteFailed,  // the block could not be written whole
};

// The longest text of each field, in CP936 bytes; longer texts are cut on a character boundary.
inline constexpr std::size_t kLogNumberMax = 9;
inline constexpr std::size_t kLogTextMax = 99;
// A type text shorter than this is followed by two TABs, so that the details line up.
inline constexpr std::size_t kLogShortType = 8;

// One line per row in CP936: number TAB time TAB type TAB [TAB] detail CR LF. The lines keep the
// CR LF of the files the Windows program wrote, so old and new logs read the same.
std::string formatErrorLogBlock(std::span<const EventRow> rows);

// Appends the rows to the file at `path` (a drive path such as "c:\ERROR.log" is mapped onto the
// user's data folder, which is created when missing) with one write. On failure it shows
// "打开文件%s时出错。" (or, when the write fails, "写入文件%s时出错。") with the file's path, and
// the system's errno text as the message's reason.
ErrorLogResult appendErrorLog(std::string_view path, std::span<const EventRow> rows);

// Who holds the pending batch while the writer runs.
enum class BatchHold {
    Open,        // the log is open; a failed write leaves it so
    HeldByPage,  // the results page closed the batch to drain it; a failed write releases it
};

// Saving the event list (the save button, the periodic save, the stop, the full list): appends
// the page's event rows to the configured path, then empties the list and reseeds the pending
// batch. With the log open (every save but the page's own flush of a full list) the events
// pending since the last refresh are taken into the list first, so they are written too. When
// the file cannot be written, the list and the batch stay as they are, except that a batch the
// page holds closed is reopened so the analysis can log again; the failure shows its message
// with the system's reason and is counted on the page. The caller holds ctx.mutex.
ErrorLogResult writeErrorLog(AnalysisContext& ctx, ResultsPage& page,
                             BatchHold hold = BatchHold::Open);

// The periodic save timer's work: the save above when periodic saving is switched on; nullopt
// (nothing done) when it is off. A stop saves whatever the switch says (writeErrorLog).
std::optional<ErrorLogResult> periodicSave(AnalysisContext& ctx, ResultsPage& page);

// The period of the periodic save, from the interval setting in minutes (30 when it is not a
// positive number).
std::int64_t savePeriodMs(const LogSettings& settings);

}  // namespace orv
