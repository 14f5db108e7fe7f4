// The packet writer's walk of a recording: the data of one read in steps of the packet length,
// re-synchronising where a packet does not start with a sync byte, and the packets whose PID the
// filter keeps. Whatever the data holds, nothing past its end is read and only whole packets are
// passed on.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <span>

#include "acquisition/pid_list.h"

namespace orv {

enum class FilterMode {
    All = 0,      // "不作处理进行录制：" the data as it is
    Exclude = 1,  // "过滤以下PID进行录制：" every packet but those of the listed PIDs
    Only = 2,     // "选择以下PID进行录制：" only the packets of the listed PIDs
};

class PidFilter {
  public:
    PidFilter() = default;
    PidFilter(FilterMode mode, std::span<const std::uint16_t> pids);

    FilterMode mode() const { return mode_; }
    bool keeps(std::uint16_t pid) const {
        return mode_ == FilterMode::All || listed_[pid & 0x1FFF] == (mode_ == FilterMode::Only);
    }

  private:
    FilterMode mode_ = FilterMode::All;
    std::bitset<kPidCount> listed_;
};

// The first offset at or after `from` where a packet of `length` starts and the next two do too
// (sync bytes at q, q + length and q + 2 x length); size() when there is none.
std::size_t findSync(std::span<const std::uint8_t> data, std::size_t from, std::size_t length);

// The packet length of the data: 188 or 204 where three sync bytes follow one another at that
// distance (188 tried first); 0 when neither is found.
std::size_t detectPacketLength(std::span<const std::uint8_t> data);

// Walks `data` in packets of `length` from offset 0 and calls emit(bytes, count) with every run
// of consecutive packets the filter keeps (whole packets only), at most `maxBytes` in all.
// Returns the bytes passed on.
template <class Emit>
std::size_t filterPackets(std::span<const std::uint8_t> data, std::size_t length,
                          const PidFilter& filter, Emit&& emit,
                          std::size_t maxBytes = static_cast<std::size_t>(-1)) {
    std::size_t kept = 0;
    std::size_t runStart = 0;
    std::size_t runBytes = 0;
    const auto flush = [&] {
        if (runBytes > 0) emit(data.data() + runStart, runBytes);
        kept += runBytes;
        runBytes = 0;
    };
    std::size_t at = 0;
    while (length > 0 && at + length <= data.size()) {
        if (data[at] != 0x47) {
            flush();
            at = findSync(data, at, length);
            continue;
        }
        const auto pid = static_cast<std::uint16_t>((data[at + 1] & 0x1F) << 8 | data[at + 2]);
        if (filter.keeps(pid)) {
            if (kept + runBytes + length > maxBytes) break;
            if (runBytes == 0) runStart = at;
            runBytes += length;
        } else {
            flush();
        }
        at += length;
    }
    flush();
    return kept;
}

}  // namespace orv
