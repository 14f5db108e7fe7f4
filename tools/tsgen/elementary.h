// Synthetic elementary streams: MPEG-2 video pictures and MPEG-1 Layer II audio frames with
// valid headers and filler data, and the PES headers that carry them.
//
// Video (25 frames/s, GOP of `gopLength` pictures with `bFrames` B pictures between anchors):
// pictures are produced in coded order. Coded picture k is shown at display index displayIndex(k)
// so that DTS(k) = base + k frames and PTS(k) = base + (displayIndex(k) + 1) frames. Every I
// picture is preceded by a sequence header, a sequence extension, a sequence display extension
// and a GOP header; every picture has a picture header and a picture coding extension. The filler
// after the headers holds bytes 0x01..0xFE only, so it contains no start code (00 00 01) and no
// audio sync (0xFF).
//
// Audio: 48 kHz Layer II frames (1152 samples, 24 ms); every frame starts with a valid 4-byte
// header (sync, ID 1, layer II, no CRC, the bitrate index of `bitrate`, 48 kHz, stereo) followed by
// filler bytes 0x01..0xFE.
#pragma once

#include <cstdint>
#include <vector>

namespace tsgen {

enum class PictureType : uint8_t { I = 1, P = 2, B = 3 };

struct VideoParams {
    uint16_t pid = 0x100;
    uint32_t bitrate = 3'000'000;  // elementary stream rate in bit/s (sequence header bit_rate)
    uint16_t width = 720, height = 576;
    uint8_t aspectRatio = 2;       // 4:3
    uint8_t profileLevel = 0x48;   // Main profile at Main level
    uint16_t vbvBufferSize = 112;  // in units of 16 kbit
    unsigned gopLength = 12;
    unsigned bFrames = 2;
    uint32_t startMs = 0;    // stream time at which picture 0 may be sent
    uint32_t delayMs = 500;  // DTS of picture k = its send-from time + delay
};

struct AudioParams {
    uint16_t pid = 0x101;
    uint32_t bitrate = 192'000;  // a Layer II rate: 32, 48, 56, ... 384 kbit/s
    unsigned framesPerPes = 1;
    uint32_t startMs = 0;
    uint32_t delayMs = 200;
};

inline constexpr uint64_t kVideoFrameTicks = 1'080'000;  // 40 ms at 27 MHz
inline constexpr uint64_t kAudioFrameTicks = 648'000;    // 24 ms at 27 MHz

class VideoEs {
  public:
    explicit VideoEs(const VideoParams& p);

    PictureType type(uint64_t coded) const;
    uint64_t displayIndex(uint64_t coded) const;
    // Appends coded picture k (headers and filler) to `out`.
    void appendPicture(uint64_t coded, std::vector<uint8_t>& out) const;
    std::size_t pictureSize(PictureType t) const { return size_[static_cast<int>(t)]; }

  private:
    VideoParams p_;
    std::size_t size_[4] = {};
};

class AudioEs {
  public:
    explicit AudioEs(const AudioParams& p);
    std::size_t frameSize() const { return frameSize_; }
    void appendFrame(uint64_t index, std::vector<uint8_t>& out) const;

  private:
    AudioParams p_;
    uint8_t bitrateIndex_ = 0;
    std::size_t frameSize_ = 0;
};

// Layer II bitrate index of a rate in bit/s, or 0 when the rate is not a Layer II rate.
uint8_t layer2BitrateIndex(uint32_t bitrate);

// Appends a PES header: 00 00 01 stream_id, PES_packet_length (0 when payloadSize does not fit),
// data_alignment_indicator 1, PTS, and DTS when `withDts`.
void appendPesHeader(std::vector<uint8_t>& out, uint8_t streamId, std::size_t payloadSize,
                     uint64_t pts, bool withDts, uint64_t dts);

// Copies `n` filler bytes (0x01..0xFE) starting at a position chosen by `salt`.
void appendFiller(std::vector<uint8_t>& out, std::size_t n, uint64_t salt);

}  // namespace tsgen
