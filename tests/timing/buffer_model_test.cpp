// The decoder buffer model stepped directly: set-up from the profile/level table, the restart
// values after an overflow, the switch rule, and the system buffers' Bsys leak.
#include <gtest/gtest.h>

#include "engine/buffer_model.h"
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
    struct Case {
        uint8_t profileLevel;
        int32_t mb, eb;
        int64_t rxn;
    };
    const Case cases[] = {
        {0x48, 7'500, 231'876, 18'000'000}, {0xC8, 7'500, 231'876, 18'000'000},  // top bit masked
        {0x58, 7'500, 231'876, 18'000'000}, {0x44, 40'000, 1'235'989, 96'000'000},
        {0x4A, 2'000, 60'058, 4'800'000},   {0x14, 0, 380'928, 0},
    };
    for (const Case& c : cases) {
        auto ctx = makeContext({ProgramSpec{}});
        seeVideoHeaders(*ctx, c.profileLevel);
        stepVideo(*ctx);
        const VideoBufferState& b = ctx->programs[0].timing.video.buffer;
        EXPECT_EQ(b.tbSize, 512) << int(c.profileLevel);
        EXPECT_EQ(b.mbSize, c.mb) << int(c.profileLevel);
        EXPECT_EQ(b.ebSize, c.eb) << int(c.profileLevel);
        EXPECT_EQ(b.rxn, c.rxn) << int(c.profileLevel);
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

TEST(BufferModel, ProfileWithoutRmaxNeverLeaksAndOverflows) {
    auto ctx = makeContext({ProgramSpec{}});
    seeVideoHeaders(*ctx, 0x14);
    for (int i = 0; i < 4; ++i)
        stepVideo(*ctx, {3, 552, 5, 40.0});
    const VideoBufferState& b = ctx->programs[0].timing.video.buffer;
    EXPECT_EQ(b.rxn, 0);
    EXPECT_EQ(b.tbOverflows, 3u);  // 188, then 188 + 564 and 51 + 564 every time
    EXPECT_EQ(countCode(*ctx, 1140), 3);
}

TEST(BufferModel, VideoWithoutSequenceExtensionOrKnownProfileIsNotModelled) {
    for (const bool extension : {false, true}) {
        auto ctx = makeContext({ProgramSpec{}});
        seeVideoHeaders(*ctx, 0x33, extension);  // 0x33 is not in the table
        for (int i = 0; i < 5; ++i)
            stepVideo(*ctx, {100, 18'400, 5, 1.0});
        const VideoBufferState& b = ctx->programs[0].timing.video.buffer;
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

void seeAudioHeader(AnalysisContext& ctx, uint8_t bitrateIndex) {
    AudioEsFields& es = ctx.programs[0].timing.audio[0].es;
    es.audioHeaderSeen = true;
    es.bitrateIndex = bitrateIndex;
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
    for (const uint8_t index : {0, 15}) {
        auto ctx = makeContext({ProgramSpec{}});
        seeAudioHeader(*ctx, index);
        stepAudio(*ctx, {1, 5000, 5, 24.0});
        EXPECT_EQ(ctx->programs[0].timing.audio[0].buffer.ebFill, 0);
    }
}

TEST(BufferModel, SwitchOffMovesFillsButCountsNothing) {
    auto ctx = makeContext({ProgramSpec{}});
    ctx->monitorEnabled[kindIndex(Tr290ErrorKind::Buffer)] = 0;
    seeVideoHeaders(*ctx, 0x14);
    seeAudioHeader(*ctx, 10);
    for (int i = 0; i < 3; ++i) {
        stepVideo(*ctx, {3, 552, 5, 40.0});
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
