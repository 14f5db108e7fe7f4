#include "acquisition/capture_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/message.h"

namespace orv {

void CaptureStore::follow(const AnalysisContext* ctx) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ctx_ = ctx;
}

void CaptureStore::add(CaptureCopy copy) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (ctx_ != nullptr) {
        copy.packetLength = ctx_->packetLength;
        copy.packetNumber = ctx_->packetCounter;
    }
    copies_.push_back(std::move(copy));
}

void CaptureStore::copyBlock(int trigger, const uint8_t* block, std::size_t length,
                             std::size_t packetPos) {
    if (block == nullptr) return;
    CaptureCopy c;
    c.trigger = trigger;
    c.bytes.assign(block, block + length);
    c.packetOffset = packetPos < length ? packetPos : 0;
    add(std::move(c));
}

void CaptureStore::copyBytes(int trigger, const uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr) return;
    CaptureCopy c;
    c.trigger = trigger;
    c.bytes.assign(bytes, bytes + length);
    add(std::move(c));
}

std::size_t CaptureStore::size() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return copies_.size();
}

std::optional<CaptureCopy> CaptureStore::at(std::size_t index) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (index >= copies_.size()) return std::nullopt;
    return copies_[index];
}

std::vector<CaptureCopy> CaptureStore::copiesFrom(std::size_t first) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (first >= copies_.size()) return {};
    return {copies_.begin() + static_cast<std::ptrdiff_t>(first), copies_.end()};
}

void CaptureStore::clear() {
    const std::lock_guard<std::mutex> lock(mutex_);
    copies_.clear();
}

namespace {

bool writeAll(int fd, const uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

CaptureSaveResult saveCaptures(const std::vector<CaptureCopy>& copies, const std::string& path) {
    CaptureSaveResult r;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        r.reason = std::strerror(errno);
        showMessage(kCaptureCreateFailed, r.reason);
        return r;
    }
    bool failed = false;
    for (const CaptureCopy& c : copies) {
        if (!writeAll(fd, c.bytes.data(), c.bytes.size())) {
            failed = true;
            break;
        }
        ++r.copies;
        r.bytes += c.bytes.size();
    }
    if (!failed && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) failed = true;
    if (failed) {
        r.reason = std::strerror(errno);
        // A copy cut short is no copy: the file keeps the whole ones written before it.
        if (::ftruncate(fd, static_cast<off_t>(r.bytes)) != 0)
            r.reason += "; the file may end in a partial copy";
    }
    if (::close(fd) != 0 && !failed) {
        failed = true;
        r.reason = std::strerror(errno);
    }
    if (failed) {
        showMessage("写入文件" + path + "时出错。", r.reason);
        return r;
    }
    r.ok = true;
    return r;
}

}  // namespace orv
