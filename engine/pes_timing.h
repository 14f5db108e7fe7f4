// PES time stamp analysis of a program's video component and of its audio components: PTS
// repetition, PTS/DTS distances, delays against the estimated PCR, the data delay check, and the
// elementary stream header scan that feeds the buffer model.
#pragma once

#include <array>
#include <cstdint>

namespace orv {

struct AnalysisContext;

inline constexpr int kPesRingSize = 150;
// PTS and DTS run modulo 2^33 at 90 kHz.
inline constexpr int64_t kPtsModulus = int64_t{1} << 33;

struct PesHeaderFields {
    uint32_t streamId = 0;
    uint32_t pesPacketLength = 0;
    uint32_t scramblingControl = 0;
    uint32_t priority = 0;
    uint32_t dataAlignment = 0;
    uint32_t ptsDtsFlags = 0;
    uint32_t headerDataLength = 0;
};

struct PesTiming {
    bool hasLast = false;          // a PTS-bearing header has been seen
    uint64_t lastPtsPosition = 0;  // packetCounter of that header
    int64_t lastPts = 0;           // 90 kHz, as coded (33 bits)
    int64_t lastDts = 0;           // equals lastPts when the header had no DTS
    int64_t pcrEstimate = 0;       // 27 MHz, at the last PES header with a PCR base
    int ringIndex = 0;             // slot for the next header, wrapped before use
    std::array<double, kPesRingSize> ptsDistanceMs{};
    std::array<double, kPesRingSize> dtsDistanceMs{};
    std::array<double, kPesRingSize> ptsPcrMs{};  // PTS x 300 - PCR estimate
    std::array<double, kPesRingSize> dtsPcrMs{};
    uint8_t hasData = 0;
    // Ring slots written so far (the first PTS-bearing header only records its stamps and
    // writes none): tells the pages how many of the 150 slots hold measurements.
    uint64_t measured = 0;
    bool scrambled = false;  // of the last packet
    // What arrived since the start of the last PES header that carried a PTS, that start packet
    // included: the buffer model takes these at the next such header, before they restart from
    // that header's packet. Every packet is counted once, in the PES packet it belongs to.
    uint32_t packetsSincePesStart = 0;
    uint32_t bytesSincePesStart = 0;
    // The PES header bytes (start code, stream_id, PES_packet_length, the flag bytes and the
    // header data) among bytesSincePesStart: they never reach the elementary stream buffer.
    uint32_t headerBytesSincePesStart = 0;
    PesHeaderFields header;

    // Slot written by the latest PTS-bearing header.
    int newestSlot() const {
        return ringIndex <= 0 || ringIndex > kPesRingSize ? kPesRingSize - 1 : ringIndex - 1;
    }
};

enum class PesClass { Video, Audio };

// Called by the block driver for every packet of a program's video PID (PesClass::Video,
// component 0) and of each of its audio PIDs (PesClass::Audio, the audio component's index),
// after the packet's continuity step and before the continuity verdict. It also offers a PES
// header packet to the data capture (triggers 0xE0 and 0xC0) and steps the buffer model.
void AnalysePesPacket(AnalysisContext& ctx, int programIndex, PesClass cls, int component,
                      const uint8_t* packet);

}  // namespace orv
