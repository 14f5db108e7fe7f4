// The emission stage between the clean multiplexer and the output: pulls clean packets, applies
// the faults (see faults.h for their semantics), stamps every PCR from the packet's output index
// and hands out the final 188-byte packets one by one.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "tools/tsgen/faults.h"
#include "tools/tsgen/multiplexer.h"

namespace tsgen {

class FaultInjector {
  public:
    // Validates the faults (std::invalid_argument on a bad value, missing PID or empty range).
    FaultInjector(const StreamConfig& cfg, std::vector<Fault> faults);

    // The packet at output index `index` (called with 0, 1, 2, ...).
    void next(uint64_t index, uint8_t* out);

    const std::vector<AppliedFault>& applied() const { return applied_; }
    // Faults that have not acted on any packet so far.
    std::vector<std::size_t> missed() const;

  private:
    enum class State : uint8_t { Waiting, Active, Done };
    struct Entry {
        Fault fault;
        int64_t value = 0;
        State state = State::Waiting;
        uint32_t remaining = 0;
        bool hit = false;
    };

    void pull();
    void applyTableChanges(uint64_t index);  // table_change.cpp
    void applyRanges(uint64_t index);
    void applyPoint(std::size_t i, uint64_t index);
    bool qualifies(FaultKind kind, const SlotPacket& p) const;
    void record(std::size_t i, uint64_t packet, uint16_t pid, uint64_t other);
    // Sets `other` of fault i's latest record.
    void extendRecord(std::size_t i, uint64_t other);
    void stampPcr(uint64_t index);
    void shiftPts(uint8_t* p, int64_t shift90k) const;

    StreamConfig cfg_;
    Multiplexer mux_;
    std::vector<Entry> faults_;
    std::vector<AppliedFault> applied_;
    std::deque<SlotPacket> ahead_;  // lookahead for cc-reorder only
    SlotPacket cur_;
    SlotPacket copy_;
    uint32_t copiesPending_ = 0;  // cc-repeat copies still to emit
    uint32_t nullsToDrop_ = 0;
    std::array<uint8_t, 8192> ccShift_{};
    std::array<int64_t, 8192> ptsShift_{};
    std::array<int64_t, 8192> pcrShift_{};  // 27 MHz ticks, pcr-discontinuity
    std::array<uint16_t, 8192> strayCc_{};
    uint64_t jitterState_;
};

}  // namespace tsgen
