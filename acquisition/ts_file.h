// A transport stream file opened for reading: 64-bit sizes and offsets, reads that retry until
// the requested bytes or the end of the file. Only regular files are opened: a FIFO, a device or
// a folder is refused before anything could block on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace orv {

class TsFile {
  public:
    // nullopt when the path cannot be opened for reading or is not a regular file; `reason` then
    // holds the system's reason (the errno text, or what kind of file the path names).
    static std::optional<TsFile> open(const std::string& path, std::string* reason = nullptr);
    TsFile(TsFile&& other) noexcept;
    TsFile& operator=(TsFile&& other) noexcept;
    TsFile(const TsFile&) = delete;
    TsFile& operator=(const TsFile&) = delete;
    ~TsFile();

    // The size when the file was opened.
    uint64_t size() const { return size_; }
    // The size now (a file can shrink or grow while it is read); nullopt when it cannot be told.
    std::optional<uint64_t> currentSize() const;
    bool seek(uint64_t offset);
    // Bytes read into `buffer` (fewer than `length` only at the end of the file); nullopt on a
    // read error, whose reason errorText() then gives.
    std::optional<std::size_t> read(uint8_t* buffer, std::size_t length);
    // The system's text for the last failed seek or read.
    std::string errorText() const;

  private:
    TsFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
    int fd_ = -1;
    uint64_t size_ = 0;
    int error_ = 0;
};

// What a file of this mode is, for a message, when it is not a regular file (nullptr otherwise).
const char* nonRegularFileKind(unsigned mode);

}  // namespace orv
