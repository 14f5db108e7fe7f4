// Where each sub_table of the SI tables with a lower repetition limit last started. EN 300 468
// sets its 25 ms minimum between sections of one sub_table, not between sections of one table_id:
// the EIT present/following sections of different services may legally follow each other at
// once. A fixed table inside the context, so that the per-packet path allocates nothing.
#pragma once

#include <array>
#include <cstdint>

namespace orv {

// One sub_table in a 64-bit key: table_id, table_id_extension, and where the table has them the
// transport_stream_id and original_network_id (see subTableKey).
struct SubTableStart {
    uint64_t key = 0;
    uint64_t packet = 0;  // packetCounter at its last section start
};

// 256 slots: far more sub_tables with a lower limit than one multiplex carries (one NIT actual,
// one SDT actual, a TDT, an RST and an EIT present/following per service). When all are taken a
// new sub_table replaces the one that started longest ago; it can only have given an event if it
// had started again within 25 ms, so nothing is lost unless 256 sub_tables start within 25 ms.
inline constexpr int kSubTableSlots = 256;

struct SubTableStarts {
    std::array<SubTableStart, kSubTableSlots> slots{};
    int count = 0;
};

// Records that the sub_table `key` starts at `packet`. Returns true and sets `previous` to its
// last start when the sub_table had started before; false for a first start.
bool recordSubTableStart(SubTableStarts& starts, uint64_t key, uint64_t packet, uint64_t& previous);

}  // namespace orv
