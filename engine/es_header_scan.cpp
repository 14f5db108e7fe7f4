#include "engine/es_header_scan.h"

#include <cstring>

#include "engine/limits.h"

namespace orv {
namespace {

constexpr unsigned kPacket = static_cast<unsigned>(kTsPacketSize);
constexpr uint8_t kSequenceHeader = 0xB3;
constexpr uint8_t kExtension = 0xB5;
constexpr uint8_t kPicture = 0x00;
constexpr uint8_t kSequenceExtensionId = 1;
constexpr uint8_t kPictureCodingExtensionId = 8;
// Bytes after the start code each structure needs to be read.
constexpr unsigned kSequenceHeaderBytes = 8;
constexpr unsigned kSequenceExtensionBytes = 6;
constexpr unsigned kPictureHeaderBytes = 4;
// An audio frame header is read only when its sync byte lies before this byte of the packet.
constexpr unsigned kAudioScanEnd = 185;

void readSequenceHeader(VideoEsFields& es, const uint8_t* b) {
    es.horizontalSize = static_cast<uint16_t>(b[0] << 4 | b[1] >> 4);
    es.verticalSize = static_cast<uint16_t>((b[1] & 0x0F) << 8 | b[2]);
    es.aspectRatio = b[3] >> 4;
    es.frameRateCode = b[3] & 0x0F;
    es.bitRateValue = uint32_t{b[4]} << 10 | uint32_t{b[5]} << 2 | b[6] >> 6;
    es.vbvBufferSizeValue = static_cast<uint16_t>((b[6] & 0x1F) << 5 | b[7] >> 3);
    es.sequenceHeaderSeen = true;
}

void readSequenceExtension(VideoEsFields& es, const uint8_t* b) {
    es.profileAndLevel = static_cast<uint8_t>((b[0] & 0x0F) << 4 | b[1] >> 4);
    es.chromaFormat = (b[1] >> 1) & 3;
    es.horizontalSizeExtension = static_cast<uint8_t>((b[1] & 1) << 1 | b[2] >> 7);
    es.verticalSizeExtension = (b[2] >> 5) & 3;
    es.bitRateExtension = static_cast<uint16_t>((b[2] & 0x1F) << 7 | b[3] >> 1);
    es.vbvBufferSizeExtension = b[4];
    es.lowDelay = b[5] >> 7;
    es.frameRateExtensionN = (b[5] >> 5) & 3;
    es.frameRateExtensionD = b[5] & 0x1F;
    es.sequenceExtensionSeen = true;
}

void readPictureHeader(VideoEsFields& es, const uint8_t* b) {
    const unsigned type = (b[1] >> 3) & 7;
    if (type >= 1 && type <= 3) ++es.pictureTally[type - 1];
    const unsigned vbvDelay = (b[1] & 7u) << 13 | unsigned{b[2]} << 5 | b[3] >> 3;
    if (es.vbvIndex < 0 || es.vbvIndex >= kVbvDelayRingSize) es.vbvIndex = 0;
    es.vbvDelayMs[es.vbvIndex++] = static_cast<float>(vbvDelay) / 90.0f;
    ++es.vbvCount;
    es.pictureHeaderRead = true;
}

}  // namespace

void noteVideoPesHeader(VideoEsFields& es) {
    es.pictureHeaderRead = false;
    if (++es.pesHeaders < kEsRefreshHeaders) return;
    es.pesHeaders = 0;
    es.sequenceHeaderSeen = false;
    es.sequenceExtensionSeen = false;
    es.pictureCodingExtensionSeen = false;
    es.lastPictureTally = es.pictureTally;
    es.lastPictureTallyValid = true;
    es.pictureTally = {};
}

void noteAudioPesHeader(AudioEsFields& es) {
    if (++es.pesHeaders < kEsRefreshHeaders) return;
    es.pesHeaders = 0;
    es.audioHeaderSeen = false;
}

void scanVideoStartCodes(VideoEsFields& es, const uint8_t* p, unsigned from) {
    // Start codes are found by their 0x01 byte (memchr runs over the payload many bytes at a
    // time), then confirmed by the two zero bytes before it. A start code begins at i = j - 2 and
    // its value byte is j + 1; everything read lies before byte 188.
    unsigned j = from + 2;
    while (j + 1 < kPacket) {
        const void* hit = std::memchr(p + j, 0x01, kPacket - 1 - j);
        if (hit == nullptr) return;
        j = static_cast<unsigned>(static_cast<const uint8_t*>(hit) - p);
        if (p[j - 1] != 0 || p[j - 2] != 0) {
            ++j;
            continue;
        }
        const unsigned body = j + 2;
        const unsigned room = kPacket - body;  // may be 0
        switch (p[j + 1]) {
            case kSequenceHeader:
                if (!es.sequenceHeaderSeen && room >= kSequenceHeaderBytes)
                    readSequenceHeader(es, p + body);
                break;
            case kExtension:
                if (room == 0) break;
                if ((p[body] >> 4) == kSequenceExtensionId) {
                    if (!es.sequenceExtensionSeen && room >= kSequenceExtensionBytes)
                        readSequenceExtension(es, p + body);
                } else if ((p[body] >> 4) == kPictureCodingExtensionId) {
                    es.pictureCodingExtensionSeen = true;
                }
                break;
            case kPicture:
                if (!es.pictureHeaderRead && room >= kPictureHeaderBytes)
                    readPictureHeader(es, p + body);
                break;
            default:
                break;
        }
        j += 3;  // the next start code begins after this one's 00 00 01
    }
}

void scanAudioPayload(AudioEsFields& es, const uint8_t* p, unsigned from, bool afterPesHeader) {
    if (es.audioHeaderSeen) return;
    for (unsigned i = from; i < kAudioScanEnd; ++i) {
        if (p[i] != 0xFF || (p[i + 1] & 0xF0) != 0xF0) continue;
        const unsigned bitrateIndex = p[i + 2] >> 4;
        if (bitrateIndex == 0 || bitrateIndex == 15 || (p[i + 3] & 3) == 2) continue;
        if (!afterPesHeader && i > 0 && p[i - 1] == 0xFF) continue;
        es.layer = (p[i + 1] >> 1) & 3;
        es.bitrateIndex = static_cast<uint8_t>(bitrateIndex);
        es.samplingFrequency = (p[i + 2] >> 2) & 3;
        es.mode = p[i + 3] >> 6;
        es.emphasis = p[i + 3] & 3;
        es.audioHeaderSeen = true;
        return;
    }
}

}  // namespace orv
