// The QAM signal detector of the interface settings dialog: tries the CABLE input of card 0 at
// every frequency of the scan table (automatic) or at one chosen frequency (manual), with one
// symbol rate and QAM mode, and lists the frequencies at which the card locks. It runs on a thread
// of its own, so the caller (a dialog, the command line) never waits on the tuner; the thread
// tests its stop flag between frequencies and ends by itself.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "acquisition/card_claim.h"

namespace orv {

// Tunes card 0's CABLE input; 0 when it locked, else the library's negative code (-2: the card
// cannot be opened or is busy).
using ChannelTuner = std::function<long(int frequencyKHz, int symbolRateK, int qamIndex)>;

inline constexpr std::string_view kScanInitFailedLine = "初始化失败!";
// The result line of a frequency that locked: "%dKHz...OK!".
std::string scanLockedLine(int frequencyKHz);
// The progress bar of a scan counts 1..20 over and over, one step every 500 ms.
inline constexpr int kScanProgressSteps = 20;

struct ScanRequest {
    bool automatic = true;
    int frequencyKHz = 52000;  // manual only
    int symbolRateK = 6875;
    int qamIndex = 2;
};

struct ScanStatus {
    bool scanning = false;
    int frequencyUnderTest = 0;        // the detector's frequency field while scanning
    int tried = 0;                     // frequencies whose test has ended
    int total = 0;                     // 98, or 1 for a manual test
    int progress = 0;                  // the bar, 0..20
    std::vector<std::string> results;  // the list "检测结果:"
    std::vector<int> lockedKHz;        // the frequencies that locked, in order
    // The card could not be opened (or was busy): the scan ended there, and found nothing.
    bool cardFailed = false;
};

class QamScan {
  public:
    explicit QamScan(ChannelTuner tuner);
    ~QamScan();  // stops a scan still going
    QamScan(const QamScan&) = delete;
    QamScan& operator=(const QamScan&) = delete;

    // "开 始": empties the result list and starts the thread. onLocked, when given, is called on
    // the thread with each frequency that locked, as it is found. Returns the message why it
    // cannot start (a scan goes on, or the card is in use), or nullopt when it started.
    std::optional<std::string> start(const ScanRequest& request,
                                     std::function<void(int frequencyKHz)> onLocked = {});
    // "停 止": asks the thread to end after the frequency under test and waits for it.
    void stop();
    // The same without waiting: the scan ends by itself after the frequency under test.
    void requestStop() { stop_.store(true); }
    // Waits until the scan has ended by itself or been stopped.
    void join();

    // The 500 ms timer of the dialog: moves the progress bar on while scanning.
    void tick();
    ScanStatus status() const;

  private:
    void run(ScanRequest request, std::function<void(int)> onLocked, CardClaim claim);

    ChannelTuner tuner_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    ScanStatus status_;
};

}  // namespace orv
