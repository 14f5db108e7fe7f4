#include "acquisition/ts_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace orv {
namespace {

std::string systemText(int error) {
    return std::system_category().message(error);
}

void setReason(std::string* reason, std::string text) {
    if (reason != nullptr) *reason = std::move(text);
}

}  // namespace

const char* nonRegularFileKind(unsigned mode) {
    if (S_ISREG(mode)) return nullptr;
    if (S_ISDIR(mode)) return "a directory, not a regular file";
    if (S_ISFIFO(mode)) return "a named pipe, not a regular file";
    if (S_ISCHR(mode)) return "a character device, not a regular file";
    if (S_ISBLK(mode)) return "a block device, not a regular file";
    if (S_ISSOCK(mode)) return "a socket, not a regular file";
    return "not a regular file";
}

std::optional<TsFile> TsFile::open(const std::string& path, std::string* reason) {
    // The kind of file is tested before it is opened: opening a FIFO without a writer, or some
    // devices, blocks. The open itself does not block either, and fstat checks again what was
    // opened, in case the path was replaced in between.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        setReason(reason, systemText(errno));
        return std::nullopt;
    }
    if (const char* kind = nonRegularFileKind(st.st_mode)) {
        setReason(reason, kind);
        return std::nullopt;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        setReason(reason, systemText(errno));
        return std::nullopt;
    }
    if (::fstat(fd, &st) != 0) {
        setReason(reason, systemText(errno));
        ::close(fd);
        return std::nullopt;
    }
    if (const char* kind = nonRegularFileKind(st.st_mode)) {
        setReason(reason, kind);
        ::close(fd);
        return std::nullopt;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return TsFile(fd, static_cast<uint64_t>(st.st_size));
}

TsFile::TsFile(TsFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), error_(other.error_) {}

TsFile& TsFile::operator=(TsFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        error_ = other.error_;
    }
    return *this;
}

TsFile::~TsFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<uint64_t> TsFile::currentSize() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

bool TsFile::seek(uint64_t offset) {
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset)) {
        return true;
    }
    error_ = errno;
    return false;
}

std::optional<std::size_t> TsFile::read(uint8_t* buffer, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::read(fd_, buffer + done, length - done);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::string TsFile::errorText() const {
    return error_ != 0 ? systemText(error_) : std::string();
}

}  // namespace orv
