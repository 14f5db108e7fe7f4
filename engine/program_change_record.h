// The program changes of a run as the engine reports them to its caller: how many there were and
// where the first of them happened. Kept in the AnalysisContext, cleared by the general reset.
#pragma once

#include <array>
#include <cstdint>

namespace orv {

inline constexpr int kMaxProgramChangeRecords = 32;

struct ProgramChangeRecord {
    uint64_t packet = 0;         // packetCounter when the new table was analysed
    bool pat = false;            // a new PAT; otherwise a new PMT of one program
    uint16_t pid = 0;            // the table's PID (0 for the PAT)
    uint16_t programNumber = 0;  // the PMT's program; 0 for the PAT
    uint8_t version = 0;         // version_number of the new table
};

struct ProgramChanges {
    int count = 0;  // every change applied in this run, whether recorded below or not
    std::array<ProgramChangeRecord, kMaxProgramChangeRecords> records{};  // the first ones
    int recorded() const {
        return count < kMaxProgramChangeRecords ? count : kMaxProgramChangeRecords;
    }
};

}  // namespace orv
