// Text fields of DVB service information (service, provider, network, bouquet and event names,
// event and component texts) decoded to UTF-8 by their character table (ETSI EN 300 468
// Annex A). The first byte selects the table; a field without a selector (first byte 0x20 or
// above) is read as GBK, the convention of the networks this program serves. Whatever a table
// cannot decode is shown as "\xNN" per byte, so nothing is hidden or lost; a zero character ends
// the text. Thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace orv {

// What the CR/LF control code (0x8A) becomes: a space keeps the text on one line (report lines,
// list cells), a newline suits a multi-line view.
enum class DvbLineBreak { Space, Newline };

// The field decoded to UTF-8. The selector bytes are consumed; emphasis on/off (0x86, 0x87) are
// dropped; the other control codes of 0x80..0x9F and the C0 controls are shown as "\xNN".
std::string dvbTextToUtf8(std::span<const uint8_t> field,
                          DvbLineBreak lineBreak = DvbLineBreak::Space);

// Bytes that are codes rather than text (ISO 639 language codes, country codes, private data):
// printable ASCII as it stands, every other byte as "\xNN"; a zero byte ends the text.
std::string asciiOrEscaped(std::span<const uint8_t> bytes);

}  // namespace orv
