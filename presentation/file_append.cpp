#include "presentation/file_append.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/message.h"
#include "platform/paths.h"

namespace orv {
namespace {

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

}  // namespace

AppendOutcome appendToFile(std::string_view configuredPath, std::string_view bytes) {
    AppendOutcome out;
    out.file = mapDrivePath(configuredPath);
    const int fd = openForAppend(configuredPath, out.file);
    if (fd < 0) {
        out.status = AppendStatus::OpenFailed;
        out.error = errno;
        return out;
    }
    int error = writeAll(fd, bytes);
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        out.status = AppendStatus::WriteFailed;
        out.error = error;
    }
    return out;
}

void showAppendFailure(const AppendOutcome& outcome) {
    if (outcome.status == AppendStatus::Appended) return;
    std::string text =
        outcome.status == AppendStatus::OpenFailed ? "打开文件%s时出错。" : "写入文件%s时出错。";
    text.replace(text.find("%s"), 2, outcome.file.string());
    showMessage(text,
                outcome.error != 0 ? std::system_category().message(outcome.error) : std::string());
}

}  // namespace orv
