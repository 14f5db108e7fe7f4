#include "acquisition/packet_filter.h"

namespace orv {

PidFilter::PidFilter(FilterMode mode, std::span<const std::uint16_t> pids) : mode_(mode) {
    for (const std::uint16_t pid : pids)
        listed_.set(pid & 0x1FFF);
}

std::size_t findSync(std::span<const std::uint8_t> data, std::size_t from, std::size_t length) {
    if (length == 0) return data.size();
    for (std::size_t q = from; q + 2 * length < data.size(); ++q) {
        if (data[q] == 0x47 && data[q + length] == 0x47 && data[q + 2 * length] == 0x47) return q;
    }
    return data.size();
}

std::size_t detectPacketLength(std::span<const std::uint8_t> data) {
    for (const std::size_t length : {std::size_t{188}, std::size_t{204}}) {
        const std::size_t q = findSync(data, 0, length);
        if (q < data.size() && q < length) return length;
    }
    return 0;
}

}  // namespace orv
