// The output file of a recording. Appends go through a buffer of its own; when the disk is full or
// a write fails otherwise, the file is cut back to the last whole unit (a packet, or a block of
// the raw stream) that reached it, so it never ends in a partial packet. close() writes what is
// buffered, flushes the file to the disk and closes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv {

class RecordFile {
  public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Creates (or empties) the file; the system's reason when it cannot.
    std::optional<std::string> create(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }

    // The unit the file is cut back to after a failed write (a packet length; 1 for bytes).
    void setUnit(std::size_t unit) { unit_ = unit == 0 ? 1 : unit; }
    // Appends; false once a write has failed (the data is then dropped).
    bool append(const std::uint8_t* data, std::size_t size);
    // Writes the buffer out, syncs, closes. False when anything failed since create().
    bool close();

    // Bytes appended (accepted) so far.
    std::uint64_t appended() const { return appended_; }
    // Bytes the file holds after close().
    std::uint64_t fileBytes() const { return fileBytes_; }
    // The reason of the first failure; empty when none.
    const std::string& failure() const { return failure_; }

  private:
    bool flushBuffer();
    void fail(int error);

    int fd_ = -1;
    std::size_t unit_ = 1;
    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
    std::uint64_t appended_ = 0;
    std::uint64_t onDisk_ = 0;
    std::uint64_t fileBytes_ = 0;
    std::string failure_;
};

}  // namespace orv
