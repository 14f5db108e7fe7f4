// A transport stream file opened for reading: 64-bit sizes and offsets, reads that retry until
// the requested bytes or the end of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace orv {

class TsFile {
  public:
    // nullopt when the path cannot be opened for reading or is not a regular file.
    static std::optional<TsFile> open(const std::string& path);
    TsFile(TsFile&& other) noexcept;
    TsFile& operator=(TsFile&& other) noexcept;
    TsFile(const TsFile&) = delete;
    TsFile& operator=(const TsFile&) = delete;
    ~TsFile();

    uint64_t size() const { return size_; }
    bool seek(uint64_t offset);
    // Bytes read into `buffer` (fewer than `length` only at the end of the file); nullopt on a
    // read error.
    std::optional<std::size_t> read(uint8_t* buffer, std::size_t length);

  private:
    TsFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace orv
