// The copies of a data capture: taken by the analysis (online the acquisition thread, offline the
// re-reading thread) through the capture sink, read by the page's poll and the viewer from any
// other thread, cleared, and saved to a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/capture_copy.h"

namespace orv {

class CaptureStore final : public CaptureSink {
  public:
    // The context whose packet counter and packet length each copy records. Copies are taken on
    // the thread that feeds it, under its mutex, so that is when they are read.
    void follow(const AnalysisContext* ctx);

    void copyBlock(int trigger, const uint8_t* block, std::size_t length,
                   std::size_t packetPos) override;
    void copyBytes(int trigger, const uint8_t* bytes, std::size_t length) override;

    std::size_t size() const;
    std::optional<CaptureCopy> at(std::size_t index) const;
    // The copies from `first` on (the page lists those not listed yet).
    std::vector<CaptureCopy> copiesFrom(std::size_t first = 0) const;
    void clear();

  private:
    void add(CaptureCopy copy);

    mutable std::mutex mutex_;
    std::vector<CaptureCopy> copies_;
    const AnalysisContext* ctx_ = nullptr;
};

struct CaptureSaveResult {
    bool ok = false;
    std::size_t copies = 0;  // whole copies in the file
    uint64_t bytes = 0;
    std::string reason;  // the system's reason of a failure
};

inline constexpr const char* kCaptureCreateFailed = "创建文件失败!请修改文件名或路径!";

// Writes every copy whole, in order, flushes and closes the file. A file that cannot be created
// shows "创建文件失败!请修改文件名或路径!"; a write that fails (a full disk) shows
// "写入文件%s时出错。" and leaves the file holding the copies written whole before it.
CaptureSaveResult saveCaptures(const std::vector<CaptureCopy>& copies, const std::string& path);

}  // namespace orv
