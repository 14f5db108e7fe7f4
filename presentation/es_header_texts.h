// The decoded elementary stream headers as the program page shows them: the video sequence
// header and extension, the audio frame header, and the fields of a PES header.
#pragma once

#include <cstdint>
#include <string>

#include "engine/es_header_scan.h"
#include "engine/pes_timing.h"

namespace orv {

// " - " in every field of a stream that is absent, scrambled or whose header was never read.
inline constexpr const char* kNoValue = " - ";

struct PesHeaderTexts {
    std::string prefix = kNoValue;      // "PES包前缀："
    std::string streamId = kNoValue;    // "Stream_ID："
    std::string length = kNoValue;      // "PES包长度："
    std::string scrambling = kNoValue;  // "PES加扰标志："
    std::string priority = kNoValue;    // "PES优先标志："
    std::string alignment = kNoValue;   // "数据对齐标志："
    PesHeaderFields fields;             // the numbers behind the texts
};

struct VideoHeaderTexts {
    bool shown = false;
    std::string format = kNoValue;        // "视频编码格式:"
    std::string horizontal = kNoValue;    // "水平大小："
    std::string vertical = kNoValue;      // "垂直大小："
    std::string frameRate = kNoValue;     // "帧频："
    std::string bitRate = kNoValue;       // "传输速率："
    std::string profileLevel = kNoValue;  // "类和级："
    std::string aspectRatio = kNoValue;   // "宽高比："
    std::string chroma = kNoValue;        // "色度格式："
    PesHeaderTexts pes;
    // The numbers behind the texts.
    int width = 0, height = 0;
    double framesPerSecond = 0.0;
    int64_t bitsPerSecond = 0;
};

struct AudioHeaderTexts {
    bool shown = false;
    std::string format = kNoValue;    // "音频编码格式:"
    std::string layer = kNoValue;     // "层："
    std::string bitRate = kNoValue;   // "比特率："
    std::string sampling = kNoValue;  // "采样率："
    std::string mode = kNoValue;      // "模式："
    std::string emphasis = kNoValue;  // "加重："
    PesHeaderTexts pes;
};

// The frame rate of a sequence header with its extension (0 for a code without a rate).
double videoFrameRate(const VideoEsFields& es);
// "类和级：" of a profile_and_level_indication.
std::string profileLevelText(uint8_t profileAndLevel);

// The texts of a parsed video stream of stream_type `streamType`.
VideoHeaderTexts videoHeaderTexts(unsigned streamType, const VideoEsFields& es,
                                  const PesHeaderFields& pes);
AudioHeaderTexts audioHeaderTexts(unsigned streamType, const AudioEsFields& es,
                                  const PesHeaderFields& pes);

// Whether a header was read during the run: the engine reads each again every 100 PES headers
// and clears its seen flag meanwhile, but the fields of the last reading stay valid.
bool videoHeaderRead(const VideoEsFields& es);
bool audioHeaderRead(const AudioEsFields& es);

// The I, P and B tally "%d : %d :%d" of the last 100 PES headers, or of those since the start
// while fewer than 100 have arrived.
std::string pictureTallyText(const VideoEsFields& es);

}  // namespace orv
