// The data capture of an analysed file: a thread that reads the file again from its first packet
// in blocks of 40 packets and walks them with the capture request set, until the requested copies
// are taken, the file ends or it is stopped.
//
// It walks the file on a context of its own, with every monitoring switch off, so the analysed
// run keeps its counters and event list exactly as they were, and the checks of the walk (the
// CRC check that takes CRC error copies, a program change that moves a PMT) work as in the
// analysis. The file is read by the offline source.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "acquisition/capture_request.h"
#include "acquisition/capture_store.h"
#include "acquisition/offline_source.h"

namespace orv {

inline constexpr std::size_t kCaptureBlockPackets = 40;

struct CaptureRereadOutcome {
    OfflineStatus status = OfflineStatus::Completed;  // of the reading
    bool armed = false;                               // the request could be set
    std::string error;                                // why it could not
    std::string unseenQuestion;                       // the table was not seen at the start
    bool stopped = false;                             // ended by stop()
};

class CaptureRereader {
  public:
    CaptureRereader() = default;
    ~CaptureRereader();
    CaptureRereader(const CaptureRereader&) = delete;
    CaptureRereader& operator=(const CaptureRereader&) = delete;

    // Starts the thread; false (nothing started) while one has not been stopped or joined.
    // `options` are those the file was analysed with; the store must outlive the thread.
    bool start(const std::string& path, const OfflineOptions& options, const CaptureTarget& target,
               int wanted, CaptureStore& store);
    // Sets the stop flag and waits for the thread, which tests it after every block.
    void stop();
    // Waits for the thread to end by itself.
    void join();
    // The thread has ended (its own stop flag is set).
    bool finished() const { return finished_.load(); }
    CaptureRereadOutcome outcome() const;

  private:
    void run(std::string path, OfflineOptions options, CaptureTarget target, int wanted,
             CaptureStore& store);

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    mutable std::mutex mutex_;
    CaptureRereadOutcome outcome_;
};

}  // namespace orv
