#include "presentation/report_kind_capture.h"

#include <algorithm>

#include "presentation/capture_viewer_text.h"
#include "presentation/section_text.h"

namespace orv {

std::vector<std::string> captureReportLines(const CaptureCopy& copy) {
    TextLines lines;
    std::span<const uint8_t> bytes(copy.bytes);
    switch (copy.captureClass()) {
        case CaptureClass::Section:
            SectionText::write(bytes, lines);
            break;
        case CaptureClass::Packet:
            appendTsHeader(bytes, lines);
            // The packet: packet length bytes.
            bytes = bytes.first(
                std::min(bytes.size(), static_cast<std::size_t>(std::max(copy.packetLength, 0))));
            break;
        default:
            break;
    }
    appendHexDump(bytes, lines);
    return lines;
}

}  // namespace orv
