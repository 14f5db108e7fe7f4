#include "acquisition/block_reader.h"

#include <algorithm>

namespace orv {

BlockReader::BlockReader(TsFile& file, uint64_t offset, std::span<uint8_t> buffer,
                         std::size_t blockBytes)
    : file_(file),
      offset_(offset),
      buffer_(buffer),
      blockBytes_(std::clamp<std::size_t>(blockBytes, 1, buffer.size())),
      readBytes_(blockBytes_ * std::max<std::size_t>(
                                   1, std::min(kBlockReadBytes, buffer.size()) / blockBytes_)) {}

std::optional<std::span<const uint8_t>> BlockReader::next() {
    if (used_ == have_ && !ended_) {
        std::optional<std::size_t> got = file_.read(buffer_.data(), readBytes_);
        if (!got && readBytes_ > blockBytes_) {
            // Block by block from here on, so that what precedes the failure is still analysed.
            readBytes_ = blockBytes_;
            if (!file_.seek(offset_)) return std::nullopt;
            got = file_.read(buffer_.data(), readBytes_);
        }
        if (!got) return std::nullopt;
        offset_ += *got;
        have_ = *got;
        used_ = 0;
        ended_ = *got < readBytes_;
    }
    std::size_t n = std::min(blockBytes_, have_ - used_);
    if (used_ > 0 && n > 0) {
        // A block read ahead is served only as far as the file still holds it: in a file cut
        // meanwhile, it ends where a read of that block alone would have ended.
        const uint64_t at = offset_ - (have_ - used_);
        const std::optional<uint64_t> size = file_.currentSize();
        if (size && *size < at + n) {
            n = static_cast<std::size_t>(*size > at ? *size - at : 0);
            have_ = used_ + n;
            ended_ = true;
        }
    }
    const std::span<const uint8_t> block(buffer_.data() + used_, n);
    used_ += n;
    return block;
}

}  // namespace orv
