#include "acquisition/record_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orv {
namespace {

constexpr std::size_t kBufferBytes = 1 << 20;

}  // namespace

RecordFile::~RecordFile() {
    close();
}

std::optional<std::string> RecordFile::create(const std::string& path) {
    close();
    failure_.clear();
    appended_ = onDisk_ = fileBytes_ = 0;
    used_ = 0;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) return std::string(std::strerror(errno));
    buffer_.resize(kBufferBytes);
    return std::nullopt;
}

bool RecordFile::append(const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0 || !failure_.empty()) return false;
    while (size > 0) {
        if (used_ == buffer_.size() && !flushBuffer()) return false;
        const std::size_t n = std::min(size, buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, data, n);
        used_ += n;
        data += n;
        size -= n;
        appended_ += n;
    }
    return true;
}

bool RecordFile::flushBuffer() {
    std::size_t done = 0;
    while (done < used_) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail(n < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(n);
        onDisk_ += static_cast<std::uint64_t>(n);
    }
    used_ = 0;
    return true;
}

void RecordFile::fail(int error) {
    failure_ = std::strerror(error);
    used_ = 0;
    // A write cut short leaves part of a unit at the end: cut the file back to whole units.
    const std::uint64_t whole = onDisk_ / unit_ * unit_;
    if (whole != onDisk_ && ::ftruncate(fd_, static_cast<off_t>(whole)) == 0) onDisk_ = whole;
}

bool RecordFile::close() {
    if (fd_ < 0) return failure_.empty();
    if (failure_.empty()) flushBuffer();
    if (::fdatasync(fd_) != 0 && errno != EINVAL && failure_.empty()) fail(errno);
    if (::close(fd_) != 0 && failure_.empty()) failure_ = std::strerror(errno);
    fd_ = -1;
    fileBytes_ = onDisk_;
    buffer_ = {};
    return failure_.empty();
}

}  // namespace orv
