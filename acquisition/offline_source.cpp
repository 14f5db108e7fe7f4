#include "acquisition/offline_source.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <span>
#include <utility>
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

OfflineResult fail(OfflineResult r, OfflineStatus status, const std::string& path,
                   std::string reason = {}) {
    r.status = status;
    r.reason = std::move(reason);
    const std::string text = offlineStatusMessage(status, path);
    if (!text.empty()) showMessage(text, r.reason);
    return r;
}

std::string initFailureReason(const AnalysisContext& ctx) {
    if (!ctx.pat.patFound) return "no PAT in the first 40000 packets";
    if (ctx.programs.empty()) return "the PAT lists no program";
    return "a PAT but no PMT of its programs in the first 40000 packets";
}

std::string shrinkReason(const TsFile& file, uint64_t endedAt) {
    const std::optional<uint64_t> now = file.currentSize();
    std::string text = "the file ended at byte " + std::to_string(endedAt) + ", but it had " +
                       std::to_string(file.size()) + " bytes when the analysis started";
    if (now) text += " (" + std::to_string(*now) + " now)";
    return text;
}

}  // namespace

bool isUsableBitrate(double mbps) {
    return std::isfinite(mbps) && mbps > 0.0 && mbps <= kMaxGivenBitrateMbps;
}

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
        case OfflineStatus::ReadFailed:
        case OfflineStatus::FileShrank:
            return "读取文件" + path + "时出错。";
        default:
            return {};
    }
}

OfflineResult analyseFile(AnalysisContext& ctx, const std::string& path,
                          const OfflineProgress& progress, const OfflineOptions& options) {
    OfflineResult result;
    std::string openReason;
    std::optional<TsFile> file = TsFile::open(path, &openReason);
    if (!file) {
        ctx.analysisMode = AnalysisMode::Idle;
        return fail(result, OfflineStatus::OpenFailed, path, openReason);
    }
    result.fileSize = file->size();
    if (result.fileSize < kMinimumFileSize) {
        ctx.analysisMode = AnalysisMode::Idle;
        return fail(result, OfflineStatus::TooShort, path,
                    "the file holds " + std::to_string(result.fileSize) + " bytes, at least " +
                        std::to_string(kMinimumFileSize) + " are needed");
    }

    resetAll(ctx);
    ctx.runState = RunState::Running;
    ctx.interruptSeen = false;
    ctx.packetLength = static_cast<int>(kTsPacketSize);

    std::vector<uint8_t> head(std::min<uint64_t>(result.fileSize, kSyncSearchHead));
    const std::optional<std::size_t> headRead = file->read(head.data(), head.size());
    if (!headRead) return fail(result, OfflineStatus::ReadFailed, path, file->errorText());
    const SyncSearchResult sync = findStreamSync(head.data(), *headRead, result.fileSize);
    if (!sync.found) {
        return fail(result, OfflineStatus::NoSync, path,
                    "no 188 or 204-byte packets start within its first 2040 bytes");
    }

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
    // Left uninitialised: every byte the analysis reads was read from the file first, and a
    // small file touches (and keeps resident) only the pages it fills.
    const std::size_t bufferBytes = kInitBlockPackets * packetLength;
    const auto storage = std::make_unique_for_overwrite<uint8_t[]>(bufferBytes);
    const std::span<uint8_t> buffer(storage.get(), bufferBytes);
    const std::size_t initWanted = std::min<uint64_t>(result.fileSize, buffer.size());
    std::optional<std::size_t> got;
    if (!file->seek(sync.offset) || !(got = file->read(buffer.data(), initWanted))) {
        call(progress.finished);
        return fail(result, OfflineStatus::ReadFailed, path, file->errorText());
    }
    initBlock(ctx, buffer.data(), *got);
    const bool rateGiven = options.bitrateMbps && isUsableBitrate(*options.bitrateMbps);
    // With a given rate nothing needs a PCR, so a PAT is enough to analyse the tables.
    if (ctx.pmtFoundCount == 0 && !(rateGiven && ctx.pat.patFound)) {
        call(progress.finished);
        return fail(result, OfflineStatus::InitFailed, path, initFailureReason(ctx));
    }
    finishInit(ctx);

    if (rateGiven) {
        const double mbps = *options.bitrateMbps;
        ctx.streamBitrate = {mbps, mbps, mbps, mbps};
    } else {
        measureStreamBitrate(ctx, buffer.data(), *got);
    }
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

    result.mainPassStarted = true;
    if (!file->seek(sync.offset)) {
        call(progress.finished);
        return fail(result, OfflineStatus::ReadFailed, path, file->errorText());
    }
    const std::size_t blockBytes =
        std::clamp<std::size_t>(options.mainBlockPackets, 1, kInitBlockPackets) * packetLength;
    result.status = OfflineStatus::Completed;
    bool endOfFile = false;
    for (;;) {
        got = file->read(buffer.data(), blockBytes);
        if (!got) {
            result.status = OfflineStatus::ReadFailed;
            result.reason = file->errorText();
            break;
        }
        {
            const std::lock_guard<std::mutex> lock(ctx.mutex);
            analyseBlock(ctx, buffer.data(), *got);
        }
        result.bytesAnalysed += *got;
        // Progress counts file bytes, so the last block brings it to the file size.
        if (progress.advanced)
            progress.advanced(result.startOffset + result.bytesAnalysed, result.fileSize);
        if (*got < blockBytes) {
            endOfFile = true;
            break;
        }
        if (ctx.runState != RunState::Running) break;
    }
    call(progress.drainEvents);
    // A short read before the size the file had is not its end: the file shrank under us.
    const uint64_t endedAt = result.startOffset + result.bytesAnalysed;
    if (result.status == OfflineStatus::Completed && endOfFile && endedAt < result.fileSize) {
        result.status = OfflineStatus::FileShrank;
        result.reason = shrinkReason(*file, endedAt);
    } else if (result.status == OfflineStatus::Completed) {
        if (ctx.runState == RunState::ProgramChange)
            result.status = OfflineStatus::ProgramChange;
        else if (ctx.runState != RunState::Running)
            result.status = OfflineStatus::Stopped;
    }
    call(progress.finished);
    if (result.status == OfflineStatus::ReadFailed || result.status == OfflineStatus::FileShrank)
        showMessage(offlineStatusMessage(result.status, path), result.reason);
    return result;
}

}  // namespace orv
