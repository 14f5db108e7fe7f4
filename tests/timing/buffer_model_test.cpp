// The decoder buffer model stepped directly: set-up from the profile/level table, the restart
// values after an overflow, the switch rule, and the system buffers' Bsys leak.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "engine/buffer_model.h"
#include "engine/es_header_scan.h"
#include "tests/timing/timing_packets.h"

namespace orv {
namespace {

using namespace timing_test;

struct Step {
    uint32_t packets = 10;
    uint32_t bytes = 1840;
    uint32_t headerLength = 5;  // PES_header_data_length of the one PES packet of the step
    double dtMs = 40.0;
};

void prepare(PesTiming& pes, const Step& s) {
    pes.packetsSincePesStart = s.packets;
    pes.bytesSincePesStart = s.bytes;
    pes.header.headerDataLength = s.headerLength;
    pes.headerBytesSincePesStart = 9 + s.headerLength;
    pes.ringIndex = 1;
    pes.dtsDistanceMs[0] = s.dtMs;
}

void stepVideo(AnalysisContext& ctx, const Step& s = {}) {
    prepare(ctx.programs[0].timing.video.pes, s);
    UpdateBufferModel(ctx, kBufferVideo, 0, 0);
}

void stepAudio(AnalysisContext& ctx, const Step& s) {
    prepare(ctx.programs[0].timing.audio[0].pes, s);
    UpdateBufferModel(ctx, kBufferAudio, 0, 0);
}

void seeVideoHeaders(AnalysisContext& ctx, uint8_t profileLevel, bool extension = true) {
    VideoEsFields& es = ctx.programs[0].timing.video.es;
    es.sequenceHeaderSeen = true;
    es.bitRateValue = 15'000;  // 6 Mbit/s
    es.sequenceExtensionSeen = extension;
    es.profileAndLevel = profileLevel;
}

TEST(BufferModel, VideoSizesFromProfileAndLevel) {
    // MBn = Rmax x 4 ms / 8, EBn = (Rmax / 750 + the largest VBV buffer) / 8, Rxn = 1.2 x Rmax,
    // with the peak rate and VBV buffer of the profile and level.
    struct Case {
        uint8_t profileLevel;
        int32_t mb, eb;
        int64_t rxn;
    };
    const Case cases[] = {
        {0x48, 7'500, 231'876, 18'000'000},       // Main @ Main: 15 Mbit/s, 1 835 008 bits
        {0x58, 7'500, 231'876, 18'000'000},       // Simple @ Main
        {0x44, 40'000, 1'235'989, 96'000'000},    // Main @ High: 80 Mbit/s, 9 781 248 bits
        {0x4A, 2'000, 60'058, 4'800'000},         // Main @ Low: 4 Mbit/s, 475 136 bits
        {0x14, 50'000, 1'544'474, 120'000'000},   // High @ High: 100 Mbit/s, 12 222 464 bits
        {0x16, 40'000, 1'235'989, 96'000'000},    // High @ High-1440: 80 Mbit/s, 9 781 248
        {0x18, 10'000, 308'485, 24'000'000},      // High @ Main: 20 Mbit/s, 2 441 216 bits
        {0x26, 30'000, 927'504, 72'000'000},      // Spatial @ High-1440: 60 Mbit/s, 7 340 032
        {0x38, 7'500, 231'876, 18'000'000},       // SNR @ Main: 15 Mbit/s, 1 835 008 bits
        {0x3A, 2'000, 60'058, 4'800'000},         // SNR @ Low: 4 Mbit/s, 475 136 bits
        {0x85, 25'000, 1'187'981, 60'000'000},    // 4:2:2 @ Main: 50 Mbit/s, 9 437 184 bits
        {0x82, 150'000, 5'948'240, 360'000'000},  // 4:2:2 @ High: 300 Mbit/s, 47 185 920 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.profileLevel));
        auto ctx = makeContext({ProgramSpec{}});
        seeVideoHeaders(*ctx, c.profileLevel);
        stepVideo(*ctx);
        const VideoBufferState& b = ctx->programs[0].timing.video.buffer;
        EXPECT_EQ(b.tbSize, 512);
        EXPECT_EQ(b.mbSize, c.mb);
        EXPECT_EQ(b.ebSize, c.eb);
        EXPECT_EQ(b.rxn, c.rxn);
        EXPECT_EQ(b.rn, 6'000'000);
    }
}

TEST(BufferModel, VideoFirstStepsAndRestartAfterOverflow) {
    auto ctx = makeContext({ProgramSpec{}});
    seeVideoHeaders(*ctx, 0x48);
    const VideoBufferState& b = ctx->programs[0].timing.video.buffer;
    stepVideo(*ctx);  // every fill starts from the bytes of this step alone
    EXPECT_EQ(b.tbFill, 188);
    EXPECT_EQ(b.mbFill, 18);
    EXPECT_EQ(b.ebFill, (1840 - 9 - 5) / 10);  // the whole PES header stays out of EBn
    // 1 ms later 40 packets more: TBn leaks 18e6 x 1 ms / 8 = 2250 bytes, gets 7520.
    stepVideo(*ctx, {40, 7360, 5, 1.0});
    EXPECT_EQ(b.tbFill, 512);
    EXPECT_EQ(b.tbOverflows, 1u);
    EXPECT_EQ(countCode(*ctx, 1140), 1);
    // A TB at its size restarts from 51: 51 + 188 - 2250 < 0 clamps to 0.
    stepVideo(*ctx, {1, 184, 5, 1.0});
    EXPECT_EQ(b.tbFill, 0);
    EXPECT_EQ(b.tbOverflows, 1u);
}

TEST(BufferModel, HighProfileVideoLeaksAtItsPeakRate) {
    // Three packets per 40 ms step: TBn leaks 120 Mbit/s x 40 ms = 600 000 bytes, far more than
    // arrives, so a valid High @ High video never fills it.
    auto ctx = makeContext({ProgramSpec{}});
    seeVideoHeaders(*ctx, 0x14);
    for (int i = 0; i < 4; ++i)
        stepVideo(*ctx, {3, 552, 5, 40.0});
    const VideoBufferState& b = ctx->programs[0].timing.video.buffer;
    EXPECT_EQ(b.rmax, 100'000'000);
    EXPECT_EQ(b.tbFill, 0);
    EXPECT_EQ(b.mbFill, 0);
    EXPECT_EQ(b.tbOverflows + b.mbOverflows + b.ebOverflows, 0u);
    EXPECT_TRUE(errorEvents(*ctx).empty());
}

TEST(BufferModel, VideoWithoutSequenceExtensionOrKnownBoundsIsNotModelled) {
    struct Case {
        uint8_t profileLevel;
        bool extension;
    };
    // 0x33: no such profile/level; 0xC8: an escaped value the standard leaves reserved (not Main
    // @ Main with a stray top bit); 0x8A: multiview at High level, whose bounds the model lacks;
    // 0x48 without a sequence extension: MPEG-1.
    for (const Case c : {Case{0x33, true}, Case{0xC8, true}, Case{0x8A, true}, Case{0x48, false}}) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.profileLevel) << " " << c.extension);
        auto ctx = makeContext({ProgramSpec{}});
        seeVideoHeaders(*ctx, c.profileLevel, c.extension);
        for (int i = 0; i < 5; ++i)
            stepVideo(*ctx, {100, 18'400, 5, 1.0});
        const VideoBufferState& b = ctx->programs[0].timing.video.buffer;
        EXPECT_EQ(b.ebSize, 0);
        EXPECT_EQ(b.tbFill + b.mbFill + b.ebFill, 0);
        EXPECT_EQ(b.tbOverflows + b.mbOverflows + b.ebOverflows, 0u);
        EXPECT_TRUE(errorEvents(*ctx).empty());
    }
}

TEST(BufferModel, VideoEbUnderflowCountsOnlyWithLeakValid) {
    for (const bool leakValid : {false, true}) {
        auto ctx = makeContext({ProgramSpec{}});
        seeVideoHeaders(*ctx, 0x48);
        ctx->programs[0].timing.video.buffer.leakValid = leakValid;
        stepVideo(*ctx);
        stepVideo(*ctx, {1, 184, 5, 400.0});  // 6 Mbit/s for 400 ms drains far more than 184 bytes
        const VideoBufferState& b = ctx->programs[0].timing.video.buffer;
        EXPECT_EQ(b.ebFill, 0);
        EXPECT_EQ(b.ebUnderflows, leakValid ? 1u : 0u);
        EXPECT_EQ(countCode(*ctx, 1146), leakValid ? 1 : 0);
    }
}

void seeAudioHeader(AnalysisContext& ctx, uint8_t bitrateIndex, uint8_t layer = 2) {
    AudioEsFields& es = ctx.programs[0].timing.audio[0].es;
    es.audioHeaderSeen = true;
    es.bitrateIndex = bitrateIndex;
    es.layer = layer;
}

TEST(BufferModel, AudioEbOverflowRestartsAt358) {
    auto ctx = makeContext({ProgramSpec{}});
    seeAudioHeader(*ctx, 10);
    stepAudio(*ctx, {1, 4000 + 9 + 5, 5, 24.0});  // EBn would hold 4000 bytes
    const AudioBufferState& b = ctx->programs[0].timing.audio[0].buffer;
    EXPECT_EQ(b.rate, 192'000);
    EXPECT_EQ(b.ebFill, 358);
    EXPECT_EQ(b.ebOverflows, 1u);
    EXPECT_EQ(countCode(*ctx, 1147), 1);
    // Next step: 358 + (600 - 9 - 5) - 24 ms x 192 kbit/s / 8 = 368.
    stepAudio(*ctx, {4, 600, 5, 24.0});
    EXPECT_EQ(b.ebFill, 368);
    EXPECT_EQ(b.tbFill, 188 + 4 * 188 - 24 * 250 < 0 ? 0 : 188 + 4 * 188 - 24 * 250);
}

TEST(BufferModel, AudioWithoutKnownRateIsNotModelled) {
    struct Case {
        uint8_t bitrateIndex;
        uint8_t layer;
    };
    // Free format and the forbidden index have no rate; a header with the reserved layer 00 is
    // not an MPEG audio frame, whatever its third byte says.
    for (const Case c : {Case{0, 2}, Case{15, 2}, Case{10, 0}}) {
        auto ctx = makeContext({ProgramSpec{}});
        seeAudioHeader(*ctx, c.bitrateIndex, c.layer);
        stepAudio(*ctx, {1, 5000, 5, 24.0});
        const AudioBufferState& b = ctx->programs[0].timing.audio[0].buffer;
        EXPECT_EQ(b.rate, 0) << int(c.bitrateIndex) << "/" << int(c.layer);
        EXPECT_EQ(b.ebFill, 0);
        EXPECT_EQ(countCode(*ctx, 1147) + countCode(*ctx, 1148), 0);
    }
}

TEST(BufferModel, AdtsAudioUnderAnMpegAudioStreamTypeIsNotModelled) {
    // An AAC frame header as muxers send it under stream_type 4: FF F1 4C 80 (layer bits 00).
    // Its third byte would read as bitrate_index 4 (64 kbit/s) and overflow EBn at every frame.
    Packet p = payloadPacket(0x64);
    const uint8_t adts[] = {0xFF, 0xF1, 0x4C, 0x80, 0x24, 0xFF, 0xFC};
    std::copy(std::begin(adts), std::end(adts), p.begin() + 20);
    auto ctx = makeContext({ProgramSpec{}});
    AudioEsFields& es = ctx->programs[0].timing.audio[0].es;
    scanAudioPayload(es, p.data(), 4, false);
    ASSERT_TRUE(es.audioHeaderSeen);
    EXPECT_EQ(es.layer, 0);
    EXPECT_EQ(es.bitrateIndex, 4);
    for (int i = 0; i < 20; ++i)
        stepAudio(*ctx, {2, 372, 5, 21.3});
    EXPECT_EQ(ctx->programs[0].timing.audio[0].buffer.rate, 0);
    EXPECT_EQ(countCode(*ctx, 1147) + countCode(*ctx, 1148), 0);
}

TEST(BufferModel, SwitchOffMovesFillsButCountsNothing) {
    auto ctx = makeContext({ProgramSpec{}});
    ctx->monitorEnabled[kindIndex(Tr290ErrorKind::Buffer)] = 0;
    seeVideoHeaders(*ctx, 0x48);
    seeAudioHeader(*ctx, 10);
    for (int i = 0; i < 3; ++i) {
        stepVideo(*ctx, {40, 7360, 5, 1.0});  // TBn gets 7520 bytes and leaks 2250
        stepAudio(*ctx, {1, 5000, 5, 24.0});
    }
    const VideoBufferState& v = ctx->programs[0].timing.video.buffer;
    const AudioBufferState& a = ctx->programs[0].timing.audio[0].buffer;
    EXPECT_EQ(v.tbFill, 512);
    EXPECT_GT(v.ebFill, 0);
    EXPECT_EQ(a.ebFill, 358);
    EXPECT_EQ(v.tbOverflows + v.mbOverflows + v.ebOverflows + a.tbOverflows + a.ebOverflows, 0u);
    EXPECT_TRUE(errorEvents(*ctx).empty());
    EXPECT_EQ(ctx->log.kindCount.total(Tr290ErrorKind::Buffer), 0);
}

TEST(BufferModel, SystemBuffersFromPatRepetitions) {
    struct Case {
        double mbps;
        int32_t rbsys;
    };
    for (const Case c :
         {Case{38.0, 80'000}, Case{40.0, 80'000}, Case{50.0, 100'000}, Case{2.0, 80'000}}) {
        auto ctx = makeContext({ProgramSpec{}}, c.mbps);
        const SystemBufferState& s = ctx->timing.systemBuffer;
        countPsiPacket(*ctx);
        addPsiSectionBytes(*ctx, 30);
        onPatRepeated(*ctx, 16);  // the first repetition: no interval yet
        EXPECT_EQ(s.rbsys, c.rbsys) << c.mbps;
        EXPECT_EQ(s.tbFill, 188);
        EXPECT_EQ(s.bFill, 30);
        EXPECT_EQ(s.psiPackets, 0u);
        EXPECT_EQ(s.psiBytes, 16u);
    }
    // Bsys overflows when sections arrive faster than Rbsys drains them, and restarts from 153.
    auto ctx = makeContext({ProgramSpec{}}, 38.0);
    const SystemBufferState& s = ctx->timing.systemBuffer;
    ctx->pat.interval.last = 0.001;  // 1 ms: TBsys leaks 125 bytes, Bsys 10 bytes
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 4; ++k)
            countPsiPacket(*ctx);
        addPsiSectionBytes(*ctx, 1000);
        onPatRepeated(*ctx, 16);
    }
    EXPECT_EQ(s.tbFill, 512);
    EXPECT_EQ(s.tbOverflows, 2u);
    EXPECT_EQ(s.bFill, 153 + 1016 - 10);  // the overflow at the second PAT restarted from 153
    EXPECT_EQ(s.bOverflows, 1u);
    EXPECT_EQ(countCode(*ctx, 1142), 2);
    EXPECT_EQ(countCode(*ctx, 1150), 1);
}

TEST(BufferModel, UnknownKindsAndIndexesDoNothing) {
    auto ctx = makeContext({ProgramSpec{}});
    seeVideoHeaders(*ctx, 0x48);
    UpdateBufferModel(*ctx, 3, 0, 0);
    UpdateBufferModel(*ctx, kBufferVideo, 1, 0);
    UpdateBufferModel(*ctx, kBufferAudio, 0, kMaxAudioComponents);
    UpdateBufferModel(*ctx, kBufferVideo, -1, 0);
    EXPECT_EQ(ctx->programs[0].timing.video.buffer.ebSize, 0);
}

}  // namespace
}  // namespace orv
