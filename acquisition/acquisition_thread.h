// The acquisition thread of an online run: opens a live source and hands every batch it reads to
// the initialisation phase until that phase has ended, then to the block driver, with one timing
// value per 40-packet group. It notices an interrupted stream (runState 1 after 5 s without data
// once the phase has ended) and data flowing again (interruptSeen). Whatever restarts or stops the
// run is the run control's: the thread only reads and feeds.
//
// Every batch is fed under ctx.mutex, one lock per batch; readers of the context take the same
// mutex. The thread tests its stop request between batches as well as in its waits, so a stop
// ends it promptly even while data keeps arriving; it is never terminated.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>

#include "acquisition/live_source.h"
#include "engine/analysis_context.h"
#include "platform/wait_clock.h"

namespace orv {

// Waits of the thread: the stop test before each pass of its reading loop, and the longest wait
// for data; a wait for data that ends without data once the phase has ended is an interruption.
inline constexpr std::chrono::milliseconds kStopTestWait{1000};
inline constexpr std::chrono::milliseconds kDataWait{5000};

// What the thread has read, for status lines and tests; guarded by ctx.mutex.
struct AcquisitionCounts {
    std::uint64_t reads = 0;            // read() calls
    std::uint64_t groupsRead = 0;       // 40-packet groups received
    std::uint64_t groupsInitPhase = 0;  // of them, handed to the initialisation phase
    std::uint64_t groupsAnalysed = 0;   // of them, handed to the block driver
    std::uint64_t failedReads = 0;      // reads that lost the framing (counted as empty)
    std::uint64_t badReads = 0;         // reads with a packet length other than 188 or 204
};

class AcquisitionThread {
  public:
    AcquisitionThread(AnalysisContext& ctx, WaitClock& clock) : ctx_(ctx), clock_(clock) {}
    ~AcquisitionThread() { stop(); }
    AcquisitionThread(const AcquisitionThread&) = delete;
    AcquisitionThread& operator=(const AcquisitionThread&) = delete;

    // Starts the thread on `source` (which must outlive it). A running thread is stopped first.
    void start(LiveSource& source);
    // Requests the stop, wakes the thread's waits and joins it. The source is left open: closing
    // it is the caller's (after this returns, nothing reads it any more).
    void stop();
    bool started() const { return thread_.joinable(); }

    // The QAM information record received last, and the read counts; ctx.mutex held by the caller.
    const std::optional<ExtraDataInTs>& latestQamInfo() const { return latestQamInfo_; }
    const AcquisitionCounts& counts() const { return counts_; }

  private:
    void run(LiveSource& source);
    // One batch: read it and hand it to the engine. False when the inner loop must end.
    bool readAndFeed(LiveSource& source, std::span<std::uint8_t> block,
                     std::span<std::uint32_t> times);
    // A wait for data ended without data.
    void noData();

    AnalysisContext& ctx_;
    WaitClock& clock_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    LiveSource* source_ = nullptr;
    std::optional<ExtraDataInTs> latestQamInfo_;
    AcquisitionCounts counts_;
};

}  // namespace orv
