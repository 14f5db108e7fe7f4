// The main pass's blocks read from the file several at a time: one read system call per
// 400-packet block costs about a tenth of the whole analysis of a page-cached file, so the blocks
// are taken from reads of about 600 KB, which still fit the processor's second-level cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "acquisition/ts_file.h"

namespace orv {

// A read of this many bytes at most serves the blocks (rounded down to whole blocks).
inline constexpr std::size_t kBlockReadBytes = 640 * 1024;

class BlockReader {
  public:
    // Reads from `offset` of the file into `buffer`, which takes at least one block.
    BlockReader(TsFile& file, uint64_t offset, std::span<uint8_t> buffer, std::size_t blockBytes);

    // The next block, exactly what one read of blockBytes would have given: whole blocks, then
    // one shorter (maybe empty) at the end of the file; nullopt when a read failed (the file's
    // errorText() tells why). A read of several blocks that fails is retried block by block from
    // where it began, so the blocks before the failing one are still served. A block read ahead
    // of a file that has shrunk since is cut where the file now ends.
    std::optional<std::span<const uint8_t>> next();

  private:
    TsFile& file_;
    uint64_t offset_;  // file offset of the byte after the last one read
    std::span<uint8_t> buffer_;
    std::size_t blockBytes_;
    std::size_t readBytes_;  // bytes asked of one read: a whole number of blocks
    std::size_t have_ = 0;   // bytes of the last read
    std::size_t used_ = 0;   // of them, handed out
    bool ended_ = false;     // the last read was short: the end of the file was reached
};

}  // namespace orv
