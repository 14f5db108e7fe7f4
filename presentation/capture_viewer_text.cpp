#include "presentation/capture_viewer_text.h"

#include <algorithm>
#include <cstdio>

#include "presentation/section_text.h"

namespace orv {
namespace {

// The field lines of the TS header: the name in 38 columns, the width text in 17, the value.
std::string headerField(const char* name, const char* width, const char* valueFormat,
                        unsigned value) {
    char text[96];
    char val[16];
    std::snprintf(val, sizeof val, valueFormat, value);
    std::snprintf(text, sizeof text, "%-38s%-17s%s", name, width, val);
    return text;
}

}  // namespace

void appendTsHeader(std::span<const uint8_t> p, TextLines& out) {
    if (p.size() < 4) return;
    out.emplace_back("TS Header");
    out.push_back(headerField("Sync Byte", "8 bit", "0x%02x", p[0]));
    out.push_back(headerField("Transport Error Indicator", "1 bit", "%u", p[1] >> 7));
    out.push_back(headerField("Payload Unit Start Indicator", "1 bit", "%u", (p[1] >> 6) & 1u));
    out.push_back(headerField("Transport Priority", "1 bit", "%u", (p[1] >> 5) & 1u));
    out.push_back(headerField("PID", "13 bit", "0x%04x", ((p[1] & 0x1Fu) << 8) | p[2]));
    out.push_back(headerField("Transport Scrambling Control", "2 bit", "%u", p[3] >> 6));
    out.push_back(headerField("Adaptation Field Contrlo", "2 bit", "%u", (p[3] >> 4) & 3u));
    out.push_back(headerField("Continuity Counter", "4 bit", "%u", p[3] & 0x0Fu));
}

CaptureView captureView(const CaptureCopy& copy) {
    CaptureView v;
    const std::span<const uint8_t> bytes(copy.bytes);
    switch (copy.captureClass()) {
        case CaptureClass::Section:
        case CaptureClass::CrcSection:
            SectionText::write(bytes, v.lines);
            break;
        case CaptureClass::Packet:
            appendTsHeader(bytes, v.lines);
            break;
        case CaptureClass::Block: {
            const std::size_t pos = std::min(copy.packetOffset, bytes.size());
            const std::size_t length = std::min(
                bytes.size() - pos, static_cast<std::size_t>(std::max(copy.packetLength, 0)));
            appendTsHeader(bytes.subspan(pos, length), v.lines);
            v.fromBit = pos * 8;
            v.toBit = (pos + length) * 8;
            break;
        }
        case CaptureClass::Pes:
            break;
    }
    appendHexDump(bytes, v.lines);
    return v;
}

}  // namespace orv
