// The USB box's framed stream on plain byte buffers: every transport packet travels as a unit of
// packetLen + 2 bytes behind the prefix 0x55 0x55, and after each group of 40 packet units (or a
// run of groups) come information units behind 0x55 0xAA, one per group. Finding where a whole
// group starts and turning framed bytes into blocks and records need nothing but the bytes, so
// the read path and the fuzzer share these functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cardlib/zelcard.h"

namespace orv::zel {

inline constexpr std::size_t kUnitsPerGroup = 40;

bool isPacketPrefix(const std::uint8_t* unit);
bool isInfoPrefix(const std::uint8_t* unit);

// The first offset i, with i + 41 units below `bytes`, where a whole group starts: 40 units
// behind the packet prefix, then a unit behind the information prefix. Only a group start
// passes: one unit later the 40th unit would be the information unit itself. `bytes` when
// there is none.
std::size_t findFraming(const std::uint8_t* data, std::size_t bytes, std::size_t unit);

// Where the parse writes: `blocks` blocks of 40 packets (40 x packetLen bytes each); timing and
// records, when not null, one entry per block.
struct FramedOutput {
    std::uint8_t* blocks = nullptr;
    std::uint32_t* timing = nullptr;
    ExtraDataInTs* records = nullptr;
};

struct FramedParse {
    long long result = 0;  // the block count, -1 framing lost inside a group, -2 out of step
    unsigned groups = 0;
    unsigned infos = 0;
    std::size_t offset = 0;  // where the parse stopped
};

// Parses `bytes` framed bytes from a unit boundary, unit by unit: a packet unit begins a group of
// 40 (while fewer than `blocks` groups were taken), an information unit gives the next timing
// value and record (while fewer than `blocks` were taken), and anything else ends the parse.
// Complete when it took `blocks` groups and `blocks` information units. A group whose units do
// not all carry the packet prefix is never handed out: the framing was lost within it (-1).
// rateMbps receives the rate of each information unit in turn.
FramedParse parseFramed(const std::uint8_t* data, std::size_t bytes, std::size_t packetLen,
                        unsigned long blocks, const FramedOutput& out, double& rateMbps);

// Decodes one information unit (starting at its 0x55 0xAA prefix, packetLen + 2 bytes).
void decodeInfoUnit(const std::uint8_t* unit, ExtraDataInTs& record);

// A block's timing value at a rate: 27 MHz ticks over ten blocks, minus one.
std::uint32_t timingValue(std::uint32_t blockBytes, double rateMbps);

}  // namespace orv::zel
