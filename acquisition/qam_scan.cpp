#include "acquisition/qam_scan.h"

#include <utility>

#include "acquisition/interface_settings.h"

namespace orv {

std::string scanLockedLine(int frequencyKHz) {
    return std::to_string(frequencyKHz) + "KHz...OK!";
}

QamScan::QamScan(ChannelTuner tuner) : tuner_(std::move(tuner)) {}

QamScan::~QamScan() {
    stop();
}

std::optional<std::string> QamScan::start(const ScanRequest& request,
                                          std::function<void(int)> onLocked) {
    if (thread_.joinable()) {
        if (status().scanning) return std::string("a scan is already going on");
        thread_.join();
    }
    std::optional<CardClaim> claim = CardClaim::take(CardUser::QamScan);
    if (!claim) return CardClaim::busyMessage();
    {
        const std::lock_guard lock(mutex_);
        status_ = {};
        status_.scanning = true;
        status_.total = request.automatic ? static_cast<int>(qamScanFrequencies().size()) : 1;
        status_.frequencyUnderTest = request.frequencyKHz;
    }
    stop_.store(false);
    thread_ = std::thread(
        [this, request, onLocked = std::move(onLocked), c = std::move(*claim)]() mutable {
            run(request, std::move(onLocked), std::move(c));
        });
    return std::nullopt;
}

void QamScan::run(ScanRequest request, std::function<void(int)> onLocked, CardClaim claim) {
    const std::vector<int> table =
        request.automatic ? qamScanFrequencies() : std::vector<int>{request.frequencyKHz};
    for (const int f : table) {
        if (stop_.load()) break;
        {
            const std::lock_guard lock(mutex_);
            status_.frequencyUnderTest = f;
        }
        const long result = tuner_(f, request.symbolRateK, request.qamIndex);
        const std::lock_guard lock(mutex_);
        ++status_.tried;
        if (result == 0) {
            status_.results.push_back(scanLockedLine(f));
            status_.lockedKHz.push_back(f);
            if (onLocked) onLocked(f);
        } else if (result == -2) {
            // Every further frequency would fail the same way: no card, or one that receives.
            // Saying nothing locked would hide that.
            status_.cardFailed = true;
            status_.results.emplace_back(kScanInitFailedLine);
            break;
        } else if (!request.automatic) {
            status_.results.emplace_back(kScanInitFailedLine);
        }
    }
    claim.release();
    const std::lock_guard lock(mutex_);
    status_.scanning = false;
    status_.progress = 0;
}

void QamScan::stop() {
    stop_.store(true);
    join();
}

void QamScan::join() {
    if (thread_.joinable()) thread_.join();
}

void QamScan::tick() {
    const std::lock_guard lock(mutex_);
    if (!status_.scanning) return;
    const int next = status_.progress + 1;
    status_.progress = next >= kScanProgressSteps ? 1 : next;
}

ScanStatus QamScan::status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

}  // namespace orv
