#include "presentation/error_log_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "engine/event_log.h"
#include "platform/message.h"
#include "platform/paths.h"
#include "platform/text_codec.h"
#include "presentation/results_page.h"

namespace orv {
namespace {

// Room the Windows program reserved per row; every line fits in it.
constexpr std::size_t kBytesPerRow = 400;

void appendField(std::string& line, std::string_view text, std::size_t maxWidth) {
    line.append(cutToCp936Width(text, maxWidth));
}

// Opens for appending, creating the file; a mapped drive path gets its folders created first.
int openForAppend(std::string_view configured, const std::filesystem::path& file) {
    if (isDrivePath(configured)) {
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
    }
    int fd;
    do {
        fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// 0 when every byte was written, else the errno of the failure.
int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

void reportFailure(std::string_view pattern, const std::filesystem::path& file, int error) {
    std::string text(pattern);
    const std::size_t at = text.find("%s");
    text.replace(at, 2, file.string());
    showMessage(text, error != 0 ? std::system_category().message(error) : std::string());
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
    const std::filesystem::path file = mapDrivePath(path);
    const int fd = openForAppend(path, file);
    if (fd < 0) {
        reportFailure("打开文件%s时出错。", file, errno);
        return ErrorLogResult::OpenFailed;
    }
    int error = writeAll(fd, formatErrorLogBlock(rows));
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        reportFailure("写入文件%s时出错。", file, error);
        return ErrorLogResult::WriteFailed;
    }
    return ErrorLogResult::Appended;
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
