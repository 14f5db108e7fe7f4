#include "engine/sub_table_starts.h"

namespace orv {

bool recordSubTableStart(SubTableStarts& starts, uint64_t key, uint64_t packet,
                         uint64_t& previous) {
    int oldest = 0;
    for (int i = 0; i < starts.count; ++i) {
        SubTableStart& s = starts.slots[i];
        if (s.key == key) {
            previous = s.packet;
            s.packet = packet;
            return true;
        }
        if (s.packet < starts.slots[oldest].packet) oldest = i;
    }
    const int slot = starts.count < kSubTableSlots ? starts.count++ : oldest;
    starts.slots[slot] = {key, packet};
    return false;
}

}  // namespace orv
