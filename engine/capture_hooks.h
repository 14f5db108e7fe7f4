// Trigger points of the data capture: the analysis only compares the request with what it has
// just seen and hands a copy to the sink; collecting and showing copies belongs to acquisition.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv {

// Trigger values of the capture request.
enum CaptureTriggerValue : int {
    kCaptureSyncLoss = 0x10,
    kCaptureSyncByte = 0x20,
    kCaptureContinuity = 0x30,
    kCaptureTransportError = 0x40,
    kCapturePatError = 0x50,
    kCapturePmtScrambled = 0x60,
    kCaptureCrcError = 0x70,
    kCaptureLaterPat = 0x100,
    kCaptureLaterPmt = 0x200,
    kCaptureLaterCat = 0x300,
    kCapturePidPacket = 0x505,
    kCapturePcrPacket = 0xA0A,
    kCaptureVideoPes = 0xE0,
    kCaptureAudioPes = 0xC0,
};

struct CaptureRequest {
    int errorTrigger = 0;  // 0 = off
    int tableTrigger = 0;
    int pidTrigger = 0;
    int pesTrigger = 0;
    unsigned pid = 0;  // selector of the PID and PES triggers
    int tableId = -1;  // the chosen table_id of an SI table trigger (-1: every table_id of it)
    int programIndex = -1;
    int maxCaptures = 0;
    int made = 0;
    bool captureMode = false;  // suspends the checks of the later PAT, CAT and PMT analyses

    bool wants(int trigger) const {
        return made < maxCaptures && (errorTrigger == trigger || tableTrigger == trigger ||
                                      pidTrigger == trigger || pesTrigger == trigger);
    }
};

// Receives the copies; implemented by the data capture.
class CaptureSink {
  public:
    virtual ~CaptureSink() = default;
    virtual void copyBlock(int trigger, const uint8_t* block, std::size_t length,
                           std::size_t packetPos) = 0;
    virtual void copyBytes(int trigger, const uint8_t* bytes, std::size_t length) = 0;
};

}  // namespace orv
