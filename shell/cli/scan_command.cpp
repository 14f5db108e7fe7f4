#include <chrono>
#include <nlohmann/json.hpp>
#include <ostream>
#include <thread>

#include "acquisition/card_tuning.h"
#include "acquisition/qam_scan.h"
#include "platform/message.h"
#include "shell/cli/stop_signals.h"
#include "shell/cli/tune_commands.h"

namespace orv::cli {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(100);

nlohmann::json channelJson(int frequencyKHz, const ScanOptions& o, bool locked) {
    return {{"frequencyKHz", frequencyKHz},
            {"symbolRateK", o.symbolRateK},
            {"qam", qamOrderOfIndex(o.qamIndex)},
            {"locked", locked}};
}

}  // namespace

int runScan(const ScanOptions& o, std::ostream& out, std::ostream& err) {
    ScanRequest request;
    request.automatic = !o.frequencyKHz.has_value();
    request.frequencyKHz = o.frequencyKHz.value_or(0);
    request.symbolRateK = o.symbolRateK;
    request.qamIndex = o.qamIndex;

    QamScan scan(tuneCableChannel);
    const StopOnSignals signals;
    if (const std::optional<std::string> refused = scan.start(request)) {
        showMessage("orv01: " + *refused);
        return 2;
    }
    std::size_t printed = 0;
    bool progressShown = false;
    for (;;) {
        const ScanStatus s = scan.status();
        // Each channel as soon as it is found.
        for (; printed < s.lockedKHz.size(); ++printed) {
            if (progressShown) err << "\r\033[K" << std::flush;
            const int f = s.lockedKHz[printed];
            if (o.json) {
                out << channelJson(f, o, true).dump() << '\n' << std::flush;
            } else {
                out << scanLockedLine(f) << '\n' << std::flush;
            }
        }
        if (!s.scanning) {
            if (progressShown) err << "\r\033[K" << std::flush;
            if (s.cardFailed) {
                showMessage(
                    "orv01: card 0 cannot be opened, or it is busy (no capture card, or "
                    "ORV_SIM_DEVICE not set)");
                return 2;
            }
            if (!request.automatic && s.lockedKHz.empty()) {
                if (o.json) {
                    out << channelJson(request.frequencyKHz, o, false).dump() << '\n';
                } else {
                    out << kScanInitFailedLine << '\n';
                }
                out << std::flush;
            }
            return 0;
        }
        if (o.progress) {
            err << "\rscanning " << s.frequencyUnderTest << " kHz (" << s.tried + 1 << "/"
                << s.total << ")\033[K" << std::flush;
            progressShown = true;
        }
        if (signals.requested()) {
            // Ends after the frequency under test; what was found has been printed.
            scan.requestStop();
        }
        std::this_thread::sleep_for(kPoll);
    }
}

}  // namespace orv::cli
