// The offline replay of the PCR and PES pages: re-measures one program from the analysed file on
// a thread of its own, with positions counted from the replay's first packet and no events, and
// writes the results into the program's records so the page draws them as they grow.
//
// The measurement is the engine's own, run on a private context that holds only the chosen
// program (its log closed and every switch off, so nothing is logged); after every block of 100
// packets the thread copies what the page shows into the shared context under ctx.mutex. The PES
// replay follows the program's PCRs on that private context too, so its delays are measured
// against the replayed PCRs rather than against the end of the main pass. The shared PCR track's
// histograms, the buffer model and the event log are never touched.
//
// The thread tests its stop flag at every block and in its waits and ends by itself; stop()
// joins it. Call start/stop/rewind from one thread (the page's), without holding ctx.mutex.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "engine/analysis_context.h"
#include "platform/wait_clock.h"

namespace orv {

enum class ReplayKind { Pcr, Pes };

// The analysed file: its path and the offset of its first sync byte.
struct ReplayFile {
    std::string path;
    uint64_t startOffset = 0;
};

inline constexpr std::size_t kReplayBlockPackets = 100;
// Pacing: after every 10 measurements (PCRs, or PES headers) the thread waits 10 ms.
inline constexpr int kReplayPaceCount = 10;
inline constexpr std::chrono::milliseconds kReplayPaceWait{10};

class TimingReplay {
  public:
    TimingReplay(AnalysisContext& ctx, WaitClock& waits, ReplayKind kind);
    ~TimingReplay();
    TimingReplay(const TimingReplay&) = delete;
    TimingReplay& operator=(const TimingReplay&) = delete;

    // Starts the thread on program `programIndex`: from the beginning of the file when the
    // resume position is 0 (the program's records are cleared first), otherwise from where the
    // last stop left it. A running replay is stopped first.
    void start(const ReplayFile& file, int programIndex);
    // Asks the thread to stop, wakes its wait and joins it; the resume position stays where the
    // thread stopped reading.
    void stop();
    // The next start begins at the start of the file (another program was chosen).
    void rewind();

    bool running() const { return thread_.joinable(); }
    // Set when the replay reached the end of the file, failed, had nothing to replay or was
    // stopped; cleared when the thread starts.
    bool finished() const { return finished_.load(); }
    // Packets from the first sync byte where the next start resumes (0: from the start).
    uint64_t resumePosition() const { return resume_; }
    // Packets the replay has walked since its start from the beginning (its position counter).
    uint64_t localPacketCounter() const { return scratch_ ? scratch_->packetCounter : 0; }

  private:
    void run(ReplayFile file, int programIndex);
    // Under ctx.mutex: false when nothing can be replayed (the run is not offline, the program
    // has no PCR PID or no component). Builds the private context and clears the records.
    bool prepare(int programIndex);
    void measure(const uint8_t* packet, uint64_t& measurements);
    void copyBack(int programIndex, bool anyNew);

    AnalysisContext& ctx_;
    WaitClock& waits_;
    ReplayKind kind_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{true};
    // Owned by the thread while it runs, by the caller otherwise.
    uint64_t resume_ = 0;
    int program_ = -1;
    std::unique_ptr<AnalysisContext> scratch_;
};

}  // namespace orv
