// The elementary stream headers the PES analysis reads from the payload of a component: MPEG
// video sequence header, sequence extension, picture coding extension and picture header, and the
// MPEG audio frame header. Each structure is read once and then again after every 100 PES headers.
#pragma once

#include <array>
#include <cstdint>

namespace orv {

inline constexpr int kVbvDelayRingSize = 150;
// The seen flags are cleared (and the picture tallies closed) every this many PES headers.
inline constexpr uint32_t kEsRefreshHeaders = 100;

struct VideoEsFields {
    // sequence header (start code 0xB3)
    uint16_t horizontalSize = 0;
    uint16_t verticalSize = 0;
    uint8_t aspectRatio = 0;
    uint8_t frameRateCode = 0;
    uint32_t bitRateValue = 0;  // 18 bits, units of 400 bit/s
    uint16_t vbvBufferSizeValue = 0;
    bool sequenceHeaderSeen = false;

    // sequence extension (0xB5, extension id 1)
    uint8_t profileAndLevel = 0;
    uint8_t chromaFormat = 0;
    uint8_t horizontalSizeExtension = 0;
    uint8_t verticalSizeExtension = 0;
    uint16_t bitRateExtension = 0;  // 12 bits
    uint8_t vbvBufferSizeExtension = 0;
    uint8_t lowDelay = 0;
    uint8_t frameRateExtensionN = 0;
    uint8_t frameRateExtensionD = 0;
    bool sequenceExtensionSeen = false;

    // picture coding extension (0xB5, extension id 8)
    bool pictureCodingExtensionSeen = false;

    // picture header (0x00): read once per PES packet
    bool pictureHeaderRead = false;
    std::array<uint32_t, 3> pictureTally{};      // I, P, B since the last refresh
    std::array<uint32_t, 3> lastPictureTally{};  // the tallies closed at the last refresh
    bool lastPictureTallyValid = false;
    std::array<float, kVbvDelayRingSize> vbvDelayMs{};
    int vbvIndex = 0;
    uint64_t vbvCount = 0;  // vbv_delay values stored so far (how many of the slots are filled)

    uint32_t pesHeaders = 0;  // since the last refresh
};

struct AudioEsFields {
    uint8_t layer = 0;  // the two layer bits as coded: 3 = Layer I, 2 = II, 1 = III
    uint8_t bitrateIndex = 0;
    uint8_t samplingFrequency = 0;
    uint8_t mode = 0;
    uint8_t emphasis = 0;
    bool audioHeaderSeen = false;
    uint32_t pesHeaders = 0;  // since the last refresh
};

// At each PES header start of the component: counts the header and, every 100 headers, clears
// the seen flags so the structures are read again; the video one also closes the picture tallies.
void noteVideoPesHeader(VideoEsFields& es);
void noteAudioPesHeader(AudioEsFields& es);

// Scans bytes [from, 188) of a 188-byte packet for the video start codes, whatever was read.
void scanVideoStartCodes(VideoEsFields& es, const uint8_t* packet, unsigned from);

// Scans bytes [from, 188) of a 188-byte packet for the video start codes not yet read.
// Inline: once every structure has been read (the picture header once per PES packet), the rest
// of the payload cannot change anything, and most video packets end at this test.
inline void scanVideoPayload(VideoEsFields& es, const uint8_t* packet, unsigned from) {
    if (es.sequenceHeaderSeen && es.sequenceExtensionSeen && es.pictureCodingExtensionSeen &&
        es.pictureHeaderRead)
        return;
    scanVideoStartCodes(es, packet, from);
}

// Looks for an audio frame header from `from` up to byte 185. afterPesHeader: `from` is the first
// byte after a PES header; otherwise a sync byte must not follow another 0xFF.
void scanAudioPayload(AudioEsFields& es, const uint8_t* packet, unsigned from, bool afterPesHeader);

}  // namespace orv
