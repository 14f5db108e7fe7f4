// The body of the "传送流数据" report (kind 9): the copy selected in the capture list. A table
// section: its section text and the hex dump. A TS packet: "TS Header", its header fields and the
// dump of the packet. A PES start or an error copy: the dump of its bytes. UTF-8, no line ends.
#pragma once

#include <string>
#include <vector>

#include "engine/capture_copy.h"

namespace orv {

std::vector<std::string> captureReportLines(const CaptureCopy& copy);

}  // namespace orv
