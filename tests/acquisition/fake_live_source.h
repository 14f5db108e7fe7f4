// A live source for the run control tests: a generated stream that flows on the manual clock in
// 40-packet groups, one every `groupPeriod` of virtual time from the clock's start, whether the
// source is open or not (as a multiplex on a cable does): an open source receives what arrives
// after its open. Pauses cut the flow (the groups of that time are lost); the input bitrate reads
// 0 during a pause. Without a clock the source floods: every wait finds data at once, even after
// a wake, and every read finds five groups.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/live_source.h"
#include "platform/manual_timer_service.h"
#include "platform/message.h"

namespace orv::test {

using std::chrono::milliseconds;

struct FakeScript {
    std::vector<std::uint8_t> stream;  // packets of packetLength; looped in whole groups
    int packetLength = 188;
    double mbps = 8.0;
    milliseconds groupPeriod{100};
    // [from, from + length) of virtual time without data.
    std::vector<std::pair<milliseconds, milliseconds>> pauses;
    bool failOpen = false;
};

class FakeLiveSource final : public LiveSource {
  public:
    FakeLiveSource(ManualTimerService* clock, FakeScript script)
        : clock_(clock), script_(std::move(script)) {
        groupBytes_ = kLiveGroupPackets * static_cast<std::size_t>(script_.packetLength);
        groupCount_ = script_.stream.size() / groupBytes_;
        // The timing value of a group: its duration at the stream's rate in 1/270 MHz units.
        groupTicks_ = static_cast<std::uint32_t>(static_cast<double>(groupBytes_) * 8.0 /
                                                 (script_.mbps * 1e6) * kGroupTimeTicksPerSecond);
    }

    std::string describe() const override { return "fake"; }

    LiveOpenResult open(const std::atomic<bool>& stop) override {
        ++opens_;
        if (script_.failOpen) {
            showMessage("初始化接口失败!");
            return LiveOpenResult::Failed;
        }
        if (stop.load()) return LiveOpenResult::Stopped;
        // Receives what arrives from now on.
        next_ = clock_ != nullptr ? static_cast<std::uint64_t>(now() / script_.groupPeriod) : 0;
        nextGroup_.store(next_);
        return LiveOpenResult::Ready;
    }

    int packetLength() override { return script_.packetLength; }

    bool waitForData(milliseconds timeout) override {
        // Flooding, data is always there before a wake could count: only a thread that tests its
        // stop request between batches gets out.
        if (clock_ == nullptr) return true;
        const milliseconds deadline = now() + timeout;
        for (;;) {
            if (woken_.exchange(false)) return false;
            const milliseconds t = now();
            const std::optional<milliseconds> due = nextDue();
            if (due && *due <= t) return true;
            if (t >= deadline) return false;
            clock_->waitFor(woken_, std::min(deadline, due.value_or(deadline)) - t);
        }
    }

    void wake() override {
        woken_.store(true);
        if (clock_ != nullptr) clock_->notify();
    }

    LiveRead read(std::span<std::uint8_t> block, std::span<std::uint32_t> times) override {
        ++reads_;
        LiveRead r;
        r.packetLength = script_.packetLength;
        const milliseconds t = clock_ != nullptr ? now() : milliseconds(0);
        while (r.groups < kLiveMaxGroupsPerRead && groupCount_ > 0) {
            if (clock_ != nullptr) {
                const std::optional<milliseconds> due = nextDue();
                if (!due || *due > t) break;
                lastArrival_.store(due->count());
            }
            const std::size_t g = static_cast<std::size_t>(next_++ % groupCount_);
            nextGroup_.store(next_);
            std::memcpy(block.data() + r.groups * groupBytes_,
                        script_.stream.data() + g * groupBytes_, groupBytes_);
            times[r.groups] = groupTicks_;
            ++r.groups;
        }
        groupsDelivered_ += r.groups;
        return r;
    }

    double inputBitrateMbps() override {
        return clock_ != nullptr && paused(now()) ? 0.0 : script_.mbps;
    }

    void close() override { ++closes_; }

    int opens() const { return opens_.load(); }
    int closes() const { return closes_.load(); }
    std::uint64_t reads() const { return reads_.load(); }
    std::uint64_t groupsDelivered() const { return groupsDelivered_.load(); }
    // Index in the flow of the next group to read (the stream's group index until it loops).
    std::uint64_t nextGroup() const { return nextGroup_.load(); }
    // Virtual time at which the last group delivered arrived.
    milliseconds lastArrival() const { return milliseconds(lastArrival_.load()); }

  private:
    milliseconds now() const { return clock_->now(); }
    milliseconds arrival(std::uint64_t group) const {
        return script_.groupPeriod * static_cast<std::int64_t>(group + 1);
    }
    bool paused(milliseconds t) const {
        return std::any_of(script_.pauses.begin(), script_.pauses.end(),
                           [t](const auto& p) { return t >= p.first && t < p.first + p.second; });
    }
    // The arrival of the next group to read; groups that fell into a pause are skipped.
    std::optional<milliseconds> nextDue() {
        if (groupCount_ == 0) return std::nullopt;
        while (paused(arrival(next_)))
            ++next_;
        nextGroup_.store(next_);
        return arrival(next_);
    }

    ManualTimerService* clock_;
    FakeScript script_;
    std::size_t groupBytes_ = 0;
    std::size_t groupCount_ = 0;
    std::uint32_t groupTicks_ = 0;
    std::uint64_t next_ = 0;  // the acquisition thread's only
    std::atomic<bool> woken_{false};
    std::atomic<int> opens_{0};
    std::atomic<int> closes_{0};
    std::atomic<std::uint64_t> reads_{0};
    std::atomic<std::uint64_t> groupsDelivered_{0};
    std::atomic<std::int64_t> lastArrival_{0};
    std::atomic<std::uint64_t> nextGroup_{0};
};

}  // namespace orv::test
