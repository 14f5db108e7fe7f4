// Offline analysis of a transport stream file: checks, sync and packet length, the initialisation
// phase on the first 40000 packets, the bitrate from their PCRs, then the whole file from its
// first packet in blocks of 400 packets through the block driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace orv {

struct AnalysisContext;

inline constexpr uint64_t kMinimumFileSize = 500'000;
inline constexpr std::size_t kInitBlockPackets = 40'000;
inline constexpr std::size_t kMainBlockPackets = 400;

enum class OfflineStatus {
    Completed,      // analysed to the end of the file
    ProgramChange,  // a live source's restart (runState 2); offline a change never ends the pass
    Stopped,        // runState was set from outside (the panel's stop button)
    OpenFailed,     // "打开文件%s时出错。"
    TooShort,       // "文件长度不够!"
    NoSync,         // "文件错误！未找到TS分组头！"
    InitFailed,     // "文件初始化失败"
    NoBitrate,      // no usable PCR pair in the initialisation block
    ReadFailed,     // "读取文件%s时出错。": a read failed (before or during the main pass)
    FileShrank,  // "读取文件%s时出错。": the file ended before the size it had when opened
};

struct OfflineProgress {
    std::function<void()> started;      // sync found: the panel opens
    std::function<void()> initialised;  // the initialisation phase is done
    // Bytes analysed so far out of the file size, after every main-pass block.
    std::function<void(uint64_t done, uint64_t total)> advanced;
    std::function<void()> finished;  // the panel closes
    // Called once the run event is logged, and whenever the event batch fills during the pass:
    // the results page drains the batch here, so no event is lost however many a file holds.
    std::function<void()> drainEvents;
};

struct OfflineOptions {
    // The stream bitrate in Mbit/s given by the user. The run is timed at this rate instead of
    // one measured from PCRs, so a file without usable PCRs is analysed; and a file whose first
    // 40000 packets hold a PAT but no PMT (an SI extract) has its tables analysed instead of
    // being refused.
    std::optional<double> bitrateMbps;
    // Packets per block of the main pass (1 to 40000): 400 for the analysis; the capture's
    // re-reading walks the file in blocks of 40, so an error copy holds the 40 packets around
    // the faulty one.
    std::size_t mainBlockPackets = kMainBlockPackets;
};

struct OfflineResult {
    OfflineStatus status = OfflineStatus::OpenFailed;
    uint64_t fileSize = 0;
    uint64_t startOffset = 0;
    int packetLength = 0;
    uint64_t bytesAnalysed = 0;
    // The main pass ran (the run event was logged): what was analysed can be reported, also
    // after a read failure.
    bool mainPassStarted = false;
    // The system's reason for a failed status (an errno text, what kind of file the path names,
    // how far the file shrank); empty when there is none.
    std::string reason;
};

// The range of a stream bitrate given by the user, in Mbit/s: above 0 and at most this.
inline constexpr double kMaxGivenBitrateMbps = 1000.0;
// A given rate outside that range (or not finite) is not used: the rate is measured as usual.
bool isUsableBitrate(double mbps);

// The message the system shows for a failed status (empty for the others).
std::string offlineStatusMessage(OfflineStatus status, const std::string& path);

// Runs the offline analysis on the context (which it resets first). Failures are reported with
// showMessage (the system's text, with the reason beside it) and the status; the context is left
// as the run left it.
OfflineResult analyseFile(AnalysisContext& ctx, const std::string& path,
                          const OfflineProgress& progress = {}, const OfflineOptions& options = {});

}  // namespace orv
