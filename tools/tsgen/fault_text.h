// The text form of a fault used by the tsgen command line:
//
//   KIND@WHERE[:KEY=VALUE[,KEY=VALUE...]]
//
// KIND is a name of faults.h (cc-skip, cc-repeat, cc-reorder, sync, tei, scramble, crc,
// table-id, table-gap, pcr-gap, pcr-jitter, pts-gap, stray, pcr-discontinuity). WHERE is a
// position, or FROM-TO for table-gap and pcr-gap; a position is an output packet index (decimal or
// 0x hex) or a stream time with unit "s" or "ms" (2.5s, 300ms), turned into the first packet at or
// after that time. KEYs: pid (the fault then targets the first qualifying packet of that PID at or
// after WHERE), value (the kind's parameter), count. Numbers may be decimal or 0x hex; value may be
// negative. Examples: cc-skip@12000:pid=0x100,value=2   tei@3s:pid=0x101   table-gap@1s-4s:pid=0x11
#pragma once

#include <string_view>

#include "tools/tsgen/faults.h"
#include "tools/tsgen/multiplexer.h"

namespace tsgen {

// Throws std::invalid_argument with a message naming the problem.
Fault parseFaultText(std::string_view text, const StreamConfig& cfg);

}  // namespace tsgen
