// Stream recording ("TS码流录制") without its window: the settings of the dialog, the
// initialisation step with its information list, and the recording thread that reads the feed
// and writes its packets, unchanged or filtered by PID, until a size or time limit, a stop, or a
// failed write. A stop or a full disk loses nothing already received: the file holds whole
// packets up to the last one written, flushed and closed. Recording from capture card 0 holds
// the card's claim: it never runs together with online analysis or a QAM scan.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "acquisition/card_claim.h"
#include "acquisition/packet_filter.h"
#include "acquisition/record_feed.h"
#include "acquisition/record_file.h"

namespace orv {

inline constexpr std::string_view kRecordInitFailed = "初始化失败！";
inline constexpr std::string_view kRecordInitOk = "初始化成功！";
inline constexpr std::string_view kRecordAnalysing = "正在分析传送流......";
inline constexpr std::string_view kRecordRawLine = "不同步方式录制!";
inline constexpr std::string_view kRecordCheckInput = "请检查传送流的输入是否正确!";
inline constexpr std::string_view kRecordCreateFailed = "创建文件失败!请修改保存文件名或路径!";
// A write that fails once the file exists ("%s" is the file).
inline constexpr std::string_view kRecordWriteFailed = "写入文件%s时出错。";

enum class LimitMode { Size = 0, Time = 1 };

struct RecordSettings {
    InterfaceSettings input;  // the recording's own, independent of online analysis
    RecordMode recordMode = RecordMode::Synchronised;
    FilterMode filterMode = FilterMode::All;
    std::vector<std::uint16_t> pids;
    LimitMode limitMode = LimitMode::Size;
    // Megabytes (10^6 bytes) or seconds; 0 records until stopped.
    std::int64_t limit = 10;
    std::string path;
};

// The group "传送流信息" after the initialisation step.
struct RecordInit {
    std::vector<std::string> lines;   // "初始化信息:"
    std::string bitrateText;          // "当前码率(Mbps)", "%2.6f"
    std::string packetLengthText;     // "分组长度(Bytes)", "%d"
    std::vector<std::uint16_t> pids;  // present in the input, in order of first appearance

    bool succeeded() const { return !lines.empty() && lines.front() == kRecordInitOk; }
};

// The information list of a sample, as the initialisation step writes it.
RecordInit describeSample(const RecordSample& sample, RecordMode mode);

enum class RecordState { Idle, Starting, Recording, Ended };
enum class RecordEnd { None, Limit, Stopped, InputFailed, CreateFailed, WriteFailed };

struct RecordStatus {
    RecordState state = RecordState::Idle;
    RecordEnd endedBy = RecordEnd::None;
    RecordInit init;
    std::uint64_t bytes = 0;    // written to the file
    std::uint64_t packets = 0;  // whole packets among them (synchronised recording)
    double seconds = 0.0;       // since receiving started
    double inputMbps = 0.0;
    std::string message;  // the message shown when it failed
};

// "已完成：" as a percentage of the limit, 0..100 ("%d %c" of it is the text beside the bar).
int recordPercent(const RecordStatus& status, const RecordSettings& settings);

class Recorder {
  public:
    explicit Recorder(RecordFeed& feed);
    ~Recorder();  // stops a recording still going
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // "初始化": sets the input up, reads a second of it and lists what it holds. Blocks for
    // about 1.2 s on a card.
    RecordInit initialise(const RecordSettings& settings);

    // "开始": nothing when the path is empty, or when only listed PIDs are to be kept and the list
    // is empty, or while the card is in use (returns the reason). Otherwise starts the thread: it
    // runs the initialisation step, creates the file (a failure shows "创建文件失败!请修改保存
    // 文件名或路径!") and records. Returns the reason it did not start, or nullopt.
    std::optional<std::string> start(const RecordSettings& settings);
    // "停止": the thread ends after its current read, the file is completed.
    void stop();
    // The same without waiting (a window's stop button): status() says Ended once the file is
    // complete; stop() then joins at once.
    void requestStop();
    // Blocks until the recording has ended (or the timeout passed); true when it has.
    bool waitUntilEnded(std::chrono::milliseconds timeout);

    RecordStatus status() const;

  private:
    void run(RecordSettings settings, std::optional<CardClaim> claim);
    void record(const RecordSettings& settings);
    // Notes why the recording ends; ended() marks it ended once the file is closed.
    void end(RecordEnd how, std::string message = {});
    void ended();

    RecordFeed& feed_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    RecordFile file_;
    std::size_t unit_ = 0;  // the packet length the file is written in (the thread's)
    mutable std::mutex mutex_;
    std::condition_variable ended_;
    RecordStatus status_;
};

}  // namespace orv
