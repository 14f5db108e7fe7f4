#include "presentation/es_header_texts.h"

#include <array>

#include "presentation/page_texts.h"

namespace orv {
namespace {

constexpr std::array<double, 9> kFrameRates{0.0,  23.976, 24.0,  25.0, 29.97,
                                            30.0, 50.0,   59.94, 60.0};

const char* profileName(unsigned profile) {
    switch (profile) {
        case 5:
            return "简单";
        case 4:
            return "主";
        case 3:
            return "SNR分级";
        case 2:
            return "空域";
        case 1:
            return "高";
        default:
            return nullptr;
    }
}

const char* levelName(unsigned level) {
    switch (level) {
        case 10:
            return "低";
        case 8:
            return "主";
        case 6:
            return "高1440";
        case 4:
            return "高";
        default:
            return "保留";
    }
}

// Multiview and 4:2:2 profiles are named by the whole level nibble under profile 0.
const char* escapedProfileLevel(unsigned level) {
    switch (level) {
        case 0xE:
            return "MVP@LL";
        case 0xD:
            return "MVP@ML";
        case 0xB:
            return "MVP@H-1440L";
        case 0xA:
            return "MVP@HL";
        case 5:
            return "4:2:2P@ML";
        default:
            return "保留 : 保留";
    }
}

constexpr std::array<const char*, 16> kAudioBitrates{
    "自由",     "32 kbps",  "48 kbps",  "56 kbps",  "64 kbps",  "80 kbps",  "96 kbps",  "112 kbps",
    "128 kbps", "160 kbps", "192 kbps", "224 kbps", "256 kbps", "320 kbps", "384 kbps", "禁止"};
constexpr std::array<const char*, 4> kLayers{" 保留 ", " III ", " II ", " I "};
constexpr std::array<const char*, 4> kSampling{"44.1 kHz", "48 kHz", "32 kHz", "保留"};
constexpr std::array<const char*, 4> kModes{"立体声", "联合立体声", "双声道", "单声道"};
constexpr std::array<const char*, 4> kEmphasis{"<None>", "50/51 microseconds", "保留",
                                               "CCITT J.17"};

}  // namespace

double videoFrameRate(const VideoEsFields& es) {
    const double base = es.frameRateCode < kFrameRates.size() ? kFrameRates[es.frameRateCode] : 0.0;
    if (es.frameRateExtensionN == 0 && es.frameRateExtensionD == 0) return base;
    return base * (es.frameRateExtensionN + 1) / (es.frameRateExtensionD + 1);
}

std::string profileLevelText(uint8_t pl) {
    const unsigned profile = (pl >> 4) & 7;
    const unsigned level = pl & 0x0F;
    if (profile == 0) return escapedProfileLevel(level);
    const char* name = profileName(profile);
    if (name == nullptr) return "保留 : 保留";
    return printfText("%s : %s", name, levelName(level));
}

bool videoHeaderRead(const VideoEsFields& es) {
    // horizontal_size_value 0 is forbidden, so a read header leaves a width behind.
    return es.sequenceHeaderSeen || es.horizontalSize != 0;
}

bool audioHeaderRead(const AudioEsFields& es) {
    // The scan takes no header with bitrate_index 0.
    return es.audioHeaderSeen || es.bitrateIndex != 0;
}

VideoHeaderTexts videoHeaderTexts(unsigned streamType, const VideoEsFields& es,
                                  const PesHeaderFields& pes) {
    VideoHeaderTexts t;
    t.shown = true;
    t.width = es.horizontalSizeExtension * 4096 + es.horizontalSize;
    t.height = es.verticalSizeExtension * 4096 + es.verticalSize;
    t.framesPerSecond = videoFrameRate(es);
    // Up to 30 bits of 400 bit/s: more than an int holds.
    t.bitsPerSecond = (int64_t{es.bitRateExtension} * 262144 + es.bitRateValue) * 400;
    t.horizontal = printfText("%d", t.width);
    t.vertical = printfText("%d", t.height);
    t.frameRate = printfText("%2.3f 帧/s", t.framesPerSecond);
    t.bitRate = printfText("%lld bps", static_cast<long long>(t.bitsPerSecond));
    t.profileLevel = profileLevelText(es.profileAndLevel);
    switch (es.aspectRatio) {
        case 0:
            t.aspectRatio = "禁止";
            break;
        case 2:
            t.aspectRatio = "4 : 3";
            break;
        case 3:
            t.aspectRatio = "16 : 9";
            break;
        case 4:
            t.aspectRatio = "2.21 : 1";
            break;
        default:
            t.aspectRatio = "保留";
    }
    switch (es.chromaFormat) {
        case 1:
            t.chroma = "4 : 2 : 0";
            break;
        case 2:
            t.chroma = "4 : 2 : 2";
            break;
        case 3:
            t.chroma = "4 : 2 : 4";
            break;
        default:
            t.chroma = "保留";
    }
    const bool pal = t.framesPerSecond == 25.0;
    t.format = streamType == 0x02 ? (pal ? "MPEG-2 视频(PAL制)" : "MPEG-2 视频(NTSC制)")
                                  : (pal ? "MPEG-1 视频(PAL制)" : "MPEG-1 视频(NTSC制)");
    t.pes.fields = pes;
    t.pes.prefix = "0x000001";
    t.pes.streamId = printfText("0x%02x", pes.streamId);
    t.pes.length =
        pes.pesPacketLength == 0 ? "(长度不确定)" : printfText("%u字节", pes.pesPacketLength);
    t.pes.scrambling = printfText("%u", pes.scramblingControl != 0 ? 1u : 0u);
    t.pes.priority = printfText("%u ", pes.priority != 0 ? 1u : 0u);
    t.pes.alignment = printfText("%u ", pes.dataAlignment);
    return t;
}

AudioHeaderTexts audioHeaderTexts(unsigned streamType, const AudioEsFields& es,
                                  const PesHeaderFields& pes) {
    AudioHeaderTexts t;
    t.shown = true;
    t.format = streamType == 0x04 ? "MPEG-2 音频" : "MPEG-1 音频";
    t.layer = kLayers[es.layer & 3];
    t.bitRate = kAudioBitrates[es.bitrateIndex & 15];
    t.sampling = kSampling[es.samplingFrequency & 3];
    t.mode = es.mode < kModes.size() ? kModes[es.mode] : "错误";
    t.emphasis = kEmphasis[es.emphasis & 3];
    t.pes.fields = pes;
    t.pes.prefix = "0x000001";
    t.pes.streamId = printfText("0x%02x", pes.streamId);
    t.pes.length = printfText("%u字节", pes.pesPacketLength);
    t.pes.scrambling = printfText("%u ", pes.scramblingControl);
    t.pes.priority = printfText("%u ", pes.priority);
    t.pes.alignment = printfText("%u ", pes.dataAlignment);
    return t;
}

std::string pictureTallyText(const VideoEsFields& es) {
    const std::array<uint32_t, 3>& t =
        es.lastPictureTallyValid ? es.lastPictureTally : es.pictureTally;
    return printfText("%u : %u :%u", t[0], t[1], t[2]);
}

}  // namespace orv
