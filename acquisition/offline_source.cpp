#include "acquisition/offline_source.h"

#include <algorithm>
#include <vector>

#include "acquisition/stream_bitrate.h"
#include "acquisition/sync_search.h"
#include "acquisition/ts_file.h"
#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/pcr_analysis.h"
#include "engine/program_discovery.h"
#include "platform/message.h"

namespace orv {
namespace {

// Routes "the batch is full" to the drain callback for the length of a run.
class BatchFullGuard {
  public:
    BatchFullGuard(EventLog& log, const std::function<void()>& drain) : log_(log) {
        if (!drain) return;
        log_.onFull = [](void* arg) { (*static_cast<const std::function<void()>*>(arg))(); };
        log_.onFullArg = const_cast<std::function<void()>*>(&drain);
    }
    ~BatchFullGuard() {
        log_.onFull = nullptr;
        log_.onFullArg = nullptr;
    }
    BatchFullGuard(const BatchFullGuard&) = delete;
    BatchFullGuard& operator=(const BatchFullGuard&) = delete;

  private:
    EventLog& log_;
};

template <class F>
void call(const F& f) {
    if (f) f();
}

OfflineResult fail(OfflineResult r, OfflineStatus status, const std::string& path) {
    r.status = status;
    const std::string text = offlineStatusMessage(status, path);
    if (!text.empty()) showMessage(text);
    return r;
}

}  // namespace

std::string offlineStatusMessage(OfflineStatus status, const std::string& path) {
    switch (status) {
        case OfflineStatus::OpenFailed:
            return "打开文件" + path + "时出错。";
        case OfflineStatus::TooShort:
            return "文件长度不够!";
        case OfflineStatus::NoSync:
            return "文件错误！未找到TS分组头！";
        case OfflineStatus::InitFailed:
            return "文件初始化失败";
        default:
            return {};
    }
}

OfflineResult analyseFile(AnalysisContext& ctx, const std::string& path,
                          const OfflineProgress& progress) {
    OfflineResult result;
    std::optional<TsFile> file = TsFile::open(path);
    if (!file) {
        ctx.analysisMode = AnalysisMode::Idle;
        return fail(result, OfflineStatus::OpenFailed, path);
    }
    result.fileSize = file->size();
    if (result.fileSize < kMinimumFileSize) {
        ctx.analysisMode = AnalysisMode::Idle;
        return fail(result, OfflineStatus::TooShort, path);
    }

    resetAll(ctx);
    ctx.runState = RunState::Running;
    ctx.interruptSeen = false;
    ctx.packetLength = static_cast<int>(kTsPacketSize);

    std::vector<uint8_t> head(std::min<uint64_t>(result.fileSize, kSyncSearchHead));
    const std::optional<std::size_t> headRead = file->read(head.data(), head.size());
    if (!headRead) return fail(result, OfflineStatus::ReadFailed, path);
    const SyncSearchResult sync = findStreamSync(head.data(), *headRead, result.fileSize);
    if (!sync.found) return fail(result, OfflineStatus::NoSync, path);

    call(progress.started);
    ctx.tablesChangedSummary = false;
    ctx.tablesChangedTree = false;
    ctx.analysisActive = true;
    ctx.analysisMode = AnalysisMode::Offline;
    ctx.packetLength = sync.packetLength;
    result.startOffset = sync.offset;
    result.packetLength = sync.packetLength;
    const auto packetLength = static_cast<std::size_t>(sync.packetLength);

    // One buffer serves the initialisation block and, in its first 400 packets, every main-pass
    // block. The initialisation block is limited by the whole file size, not the size after k.
    std::vector<uint8_t> buffer(kInitBlockPackets * packetLength);
    const std::size_t initWanted = std::min<uint64_t>(result.fileSize, buffer.size());
    std::optional<std::size_t> got;
    if (!file->seek(sync.offset) || !(got = file->read(buffer.data(), initWanted))) {
        call(progress.finished);
        return fail(result, OfflineStatus::ReadFailed, path);
    }
    initBlock(ctx, buffer.data(), *got);
    if (ctx.pmtFoundCount == 0) {
        call(progress.finished);
        return fail(result, OfflineStatus::InitFailed, path);
    }
    finishInit(ctx);

    measureStreamBitrate(ctx, buffer.data(), *got);
    if (!(ctx.streamBitrate.current > 0.0)) {
        call(progress.finished);
        result.status = OfflineStatus::NoBitrate;
        return result;
    }
    ctx.packetCounter = 0;
    clearPcrRings(ctx);

    call(progress.initialised);
    const BatchFullGuard guard(ctx.log, progress.drainEvents);
    beginRun(ctx, kEventOfflineStart);
    call(progress.drainEvents);

    if (!file->seek(sync.offset)) {
        call(progress.finished);
        return fail(result, OfflineStatus::ReadFailed, path);
    }
    const std::size_t blockBytes = kMainBlockPackets * packetLength;
    result.status = OfflineStatus::Completed;
    for (;;) {
        got = file->read(buffer.data(), blockBytes);
        if (!got) {
            result.status = OfflineStatus::ReadFailed;
            break;
        }
        {
            const std::lock_guard<std::mutex> lock(ctx.mutex);
            analyseBlock(ctx, buffer.data(), *got);
        }
        result.bytesAnalysed += *got;
        if (*got < blockBytes) break;
        if (progress.advanced) progress.advanced(result.bytesAnalysed, result.fileSize);
        if (ctx.runState != RunState::Running) break;
    }
    call(progress.drainEvents);
    if (ctx.runState == RunState::ProgramChange)
        result.status = OfflineStatus::ProgramChange;
    else if (ctx.runState != RunState::Running)
        result.status = OfflineStatus::Stopped;
    call(progress.finished);
    if (result.status == OfflineStatus::ReadFailed) showMessage("打开文件" + path + "时出错。");
    return result;
}

}  // namespace orv
