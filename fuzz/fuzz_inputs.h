// The layout of the fuzz targets' inputs, shared by the targets and the seed writer: each input is
// a few header bytes that choose the set-up (packet length, switches, block sizes, routes) followed
// by the bytes under test. Keeping the choices in the input lets libFuzzer reach every path and
// keeps each crash reproducible from its file alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orv::fuzz {

// The generated stream runs are initialised from: tsgen's clean two-program preset at 8 Mbit/s
// (a PMT is complete at its second repetition, 100 ms after the first PAT has
// completed: every program is known after 250 ms).
inline constexpr uint64_t kInitStreamMs = 300;
std::vector<uint8_t> generatedStream(unsigned packetSize, uint64_t durationMs);

// --- block analysis: [flags][switches 4][packets per block][extra bytes] stream...
namespace block {
inline constexpr uint8_t k204 = 0x01;            // 204-byte packets
inline constexpr uint8_t kInitFromInput = 0x02;  // the input itself runs the initialisation phase
inline constexpr uint8_t kOnline = 0x04;         // online: a card time per 40-packet unit
inline constexpr uint8_t kSwitchMask = 0x08;     // the monitoring switches come from the mask
inline constexpr std::size_t kHeaderSize = 7;
}  // namespace block

// --- PSI/SI sections: [flags] then records [route][options][length 2, big-endian]([PID 2])[bytes]
namespace sections {
inline constexpr uint8_t kRunInitPhase = 0x01;  // the sections also go through the init phase
inline constexpr uint8_t kNoPriming = 0x02;     // start from an empty model (no generated stream)
inline constexpr uint8_t k204 = 0x04;           // 204-byte packets
inline constexpr std::size_t kHeaderSize = 1;
inline constexpr std::size_t kRecordHeaderSize = 4;

// Record options.
inline constexpr uint8_t kFixLength = 0x01;    // section_length set from the record's length
inline constexpr uint8_t kAppendCrc = 0x02;    // the record is the section without its CRC_32
inline constexpr uint8_t kPack = 0x04;         // the next section of the PID follows in the packet
inline constexpr uint8_t kExplicitPid = 0x08;  // two more header bytes name the PID (13 bits)

// Without an explicit PID, route % 8 picks the PID; for a PMT, route / 8 picks the program.
inline constexpr uint16_t kRoutePids[8] = {0x0000, 0x0001, 0xFFFF /* PMT */, 0x0010,
                                           0x0011, 0x0012, 0x0013,           0x0014};
inline constexpr uint8_t kRoutePmt = 2;
}  // namespace sections

// --- section texts: [mode][bytes]
namespace texts {
inline constexpr uint8_t kDescriptorLoop = 0;  // the bytes are a descriptor loop
inline constexpr uint8_t kSectionFixed = 1;    // a section: section_length and CRC_32 set
inline constexpr uint8_t kSectionRaw = 2;      // a section as it stands
inline constexpr std::size_t kHeaderSize = 1;
}  // namespace texts

// --- USB stream: [flags][blocks per read][transfer size] bulk bytes...
namespace usb {
inline constexpr uint8_t k204 = 0x01;
inline constexpr uint8_t kPlain = 0x02;        // packets without framing
inline constexpr uint8_t kResyncFirst = 0x04;  // the first read searches the framing
inline constexpr std::size_t kHeaderSize = 3;
// Bytes one bulk transfer delivers: the whole rest for 0, else value * 256.
inline constexpr std::size_t transferBytes(uint8_t value) {
    return value == 0 ? SIZE_MAX : std::size_t{value} * 256;
}
}  // namespace usb

// The CRC_32 of MPEG-2 sections appended to `section` (big-endian).
void appendSectionCrc(std::vector<uint8_t>& section);

// Writes section_length (12 bits of bytes 1 and 2) for a section of `total` bytes in all.
void setSectionLength(std::vector<uint8_t>& section, std::size_t total);

}  // namespace orv::fuzz
