#include "presentation/error_log_writer.h"

#include "engine/event_log.h"
#include "platform/text_codec.h"
#include "presentation/file_append.h"
#include "presentation/results_page.h"

namespace orv {
namespace {

// Room the Windows program reserved per row; every line fits in it.
constexpr std::size_t kBytesPerRow = 400;

void appendField(std::string& line, std::string_view text, std::size_t maxWidth) {
    line.append(cutToCp936Width(text, maxWidth));
}

}  // namespace

std::string formatErrorLogBlock(std::span<const EventRow> rows) {
    std::string utf8;
    utf8.reserve(rows.size() * kBytesPerRow + kBytesPerRow);
    for (const EventRow& row : rows) {
        appendField(utf8, row.number, kLogNumberMax);
        utf8 += '\t';
        appendField(utf8, row.time, kLogTextMax);
        utf8 += '\t';
        const std::string_view type = cutToCp936Width(row.type, kLogTextMax);
        utf8.append(type);
        utf8 += cp936Width(type) < kLogShortType ? "\t\t" : "\t";
        appendField(utf8, row.detail, kLogTextMax);
        utf8 += "\r\n";
    }
    // Characters outside GBK become '?', so the block is always valid GBK.
    return utf8ToCp936(utf8).text;
}

ErrorLogResult appendErrorLog(std::string_view path, std::span<const EventRow> rows) {
    const AppendOutcome outcome = appendToFile(path, formatErrorLogBlock(rows));
    showAppendFailure(outcome);
    switch (outcome.status) {
        case AppendStatus::OpenFailed:
            return ErrorLogResult::OpenFailed;
        case AppendStatus::WriteFailed:
            return ErrorLogResult::WriteFailed;
        default:
            return ErrorLogResult::Appended;
    }
}

ErrorLogResult writeErrorLog(AnalysisContext& ctx, ResultsPage& page, BatchHold hold) {
    // The events logged since the last refresh belong to the list being saved: take them in
    // first, or the reseed below would overwrite them after they were counted.
    if (hold == BatchHold::Open) page.drainPending(ctx);
    const ErrorLogResult result = appendErrorLog(ctx.logSettings.errorLogPath, page.eventRows());
    if (result != ErrorLogResult::Appended) {
        page.countFailedSave();
        if (hold == BatchHold::HeldByPage) reopenAfterDrain(ctx.log);
        return result;
    }
    page.clearEventList();
    reseedAfterSave(ctx);
    return result;
}

std::optional<ErrorLogResult> periodicSave(AnalysisContext& ctx, ResultsPage& page) {
    if (!ctx.logSettings.saveLogEnabled) return std::nullopt;
    return writeErrorLog(ctx, page);
}

std::int64_t savePeriodMs(const LogSettings& settings) {
    constexpr std::int64_t kDefaultMinutes = 30;
    const std::int64_t minutes =
        settings.saveIntervalMinutes > 0 ? settings.saveIntervalMinutes : kDefaultMinutes;
    return minutes * 60'000;
}

}  // namespace orv
