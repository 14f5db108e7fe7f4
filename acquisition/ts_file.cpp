#include "acquisition/ts_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace orv {

std::optional<TsFile> TsFile::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return TsFile(fd, static_cast<uint64_t>(st.st_size));
}

TsFile::TsFile(TsFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

TsFile& TsFile::operator=(TsFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
    }
    return *this;
}

TsFile::~TsFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool TsFile::seek(uint64_t offset) {
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

std::optional<std::size_t> TsFile::read(uint8_t* buffer, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::read(fd_, buffer + done, length - done);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace orv
