// One copy the data capture took: the bytes the analysis handed over at a trigger point and where
// in the stream that was. Kept by the capture store, shown by the viewer and the capture report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/capture_hooks.h"

namespace orv {

// What a copy holds, by the trigger that took it.
enum class CaptureClass {
    Section,     // a table section: 3 + section_length bytes
    Packet,      // one transport packet (every packet of a PID, or one carrying a PCR)
    Pes,         // a PES packet's start: the payload from its start code to the packet's end
    Block,       // the block around an error, with the faulty packet's offset
    CrcSection,  // a section that failed its CRC (or what was collected of one cut short)
};

constexpr CaptureClass captureClassOf(int trigger) {
    switch (trigger) {
        case kCaptureSyncLoss:
        case kCaptureSyncByte:
        case kCaptureContinuity:
        case kCaptureTransportError:
        case kCapturePatError:
        case kCapturePmtScrambled:
            return CaptureClass::Block;
        case kCaptureCrcError:
            return CaptureClass::CrcSection;
        case kCapturePidPacket:
        case kCapturePcrPacket:
            return CaptureClass::Packet;
        case kCaptureVideoPes:
        case kCaptureAudioPes:
            return CaptureClass::Pes;
        default:
            return CaptureClass::Section;
    }
}

struct CaptureCopy {
    int trigger = 0;
    std::vector<uint8_t> bytes{};
    // Block copies: the byte offset of the faulty packet in the block.
    std::size_t packetOffset = 0;
    int packetLength = 188;
    // The analysis' packet counter when the copy was taken: the number the event texts of the
    // same packet quote ("第%I64d包").
    uint64_t packetNumber = 0;

    CaptureClass captureClass() const { return captureClassOf(trigger); }
};

}  // namespace orv
