#include "acquisition/mdi_meter.h"

#include <algorithm>
#include <utility>

namespace orv {

MdiMeter::MdiMeter(std::int64_t intervalNs, Sink closed)
    : intervalNs_(intervalNs > 0 ? intervalNs : 1), closed_(std::move(closed)) {
    arrivals_.reserve(16384);
}

void MdiMeter::reset() {
    started_ = false;
    arrivals_.clear();
    bytes_ = lostPackets_ = lostDatagrams_ = 0;
}

void MdiMeter::moveTo(std::int64_t tNs) {
    if (!started_) {
        started_ = true;
        startNs_ = tNs;
        return;
    }
    if (tNs < startNs_ - intervalNs_) {
        // The clock was set back: what was gathered closes, the intervals start afresh.
        close();
        startNs_ = tNs;
        return;
    }
    if (tNs < startNs_ + intervalNs_) return;
    close();
    const std::int64_t passed = (tNs - startNs_) / intervalNs_;  // >= 1
    if (passed >= 2) {
        // Whole intervals without any arrival: one reading stands for them.
        startNs_ += (passed - 1) * intervalNs_;
        close();
    }
    startNs_ += intervalNs_;
}

void MdiMeter::arrival(std::int64_t tNs, std::uint32_t bytes) {
    moveTo(tNs);
    arrivals_.push_back({std::max<std::int64_t>(tNs - startNs_, 0), bytes});
    bytes_ += bytes;
}

void MdiMeter::lost(std::int64_t tNs, std::uint64_t packets, std::uint64_t datagrams) {
    moveTo(tNs);
    lostPackets_ += packets;
    lostDatagrams_ += datagrams;
}

void MdiMeter::advanceTo(std::int64_t nowNs) {
    if (started_ && nowNs >= startNs_ + intervalNs_) moveTo(nowNs);
}

void MdiMeter::close() {
    MdiInterval r;
    r.startNs = startNs_;
    r.bytes = bytes_;
    r.lostPackets = lostPackets_;
    r.lostDatagrams = lostDatagrams_;
    const double seconds = static_cast<double>(intervalNs_) * 1e-9;
    r.mediaLossRate = static_cast<double>(lostPackets_) / seconds;
    r.bitrateMbps = static_cast<double>(bytes_) * 8.0 / seconds * 1e-6;
    if (bytes_ > 0) {
        // Bytes per ns drained; the buffer level before and after each arrival.
        const double rate = static_cast<double>(bytes_) / static_cast<double>(intervalNs_);
        double received = 0.0, high = 0.0, low = 0.0;
        for (const Arrival& a : arrivals_) {
            const double drained = rate * static_cast<double>(a.offsetNs);
            low = std::min(low, received - drained);
            received += a.bytes;
            high = std::max(high, received - drained);
        }
        r.delayFactorMs = (high - low) / rate * 1e-6;
    }
    arrivals_.clear();
    bytes_ = lostPackets_ = lostDatagrams_ = 0;
    if (closed_) closed_(r);
}

}  // namespace orv
