// PES time stamps on hand-built PES header packets: the PTS repetition check by packet position,
// the data delay against the estimated PCR, wraps, the rings, and the elementary stream scan.
#include <gtest/gtest.h>

#include "engine/buffer_model.h"
#include "engine/pes_timing.h"
#include "tests/timing/timing_packets.h"

namespace orv {
namespace {

using namespace timing_test;

constexpr unsigned kVideoPid = 0x100;
constexpr unsigned kAudioPid = 0x101;
constexpr int64_t k90PerMs = 90;

void feedPes(AnalysisContext& ctx, PesClass cls, const Packet& p, uint64_t counter) {
    ctx.packetCounter = counter;
    AnalysePesPacket(ctx, 0, cls, 0, p.data());
}

TEST(PesTiming, PtsRepetitionIsMeasuredByPacketPosition) {
    struct Case {
        PesClass cls;
        uint64_t packetsApart;  // one packet is 1 ms at 1.504 Mbit/s
        int64_t ptsStep;        // what the stamps claim, ignored by the check
        int code;
    };
    const Case cases[] = {
        {PesClass::Video, 800, 40 * k90PerMs, 1100},
        {PesClass::Video, 800, 10'000 * k90PerMs, 1100},
        {PesClass::Video, 700, 2000 * k90PerMs, 0},
        {PesClass::Audio, 800, 24 * k90PerMs, 1101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.packetsApart);
        auto ctx = makeContext({ProgramSpec{}}, 1.504);
        const bool video = c.cls == PesClass::Video;
        const unsigned pid = video ? kVideoPid : kAudioPid;
        const uint8_t sid = video ? 0xE0 : 0xC0;
        feedPes(*ctx, c.cls, pesPacket(pid, sid, 90'000), 5);
        feedPes(*ctx, c.cls, pesPacket(pid, sid, 90'000 + c.ptsStep), 5 + c.packetsApart);
        const auto events = errorEvents(*ctx);
        ASSERT_EQ(events.size(), c.code ? 1u : 0u);
        if (c.code) {
            EXPECT_EQ(events[0].code, c.code);
            EXPECT_NE(
                events[0].detail.find("(PID=0x0" + std::to_string(pid == kVideoPid ? 100 : 101) +
                                      ",属于节目0001)PTS间隔等于800.00ms(>700ms)"),
                std::string::npos)
                << events[0].detail;
        }
    }
}

TEST(PesTiming, DataDelayAgainstTheEstimatedPcr) {
    struct Case {
        PesClass cls;
        bool withDts;
        int64_t delayMs;  // DTS (PTS when alone) after the estimated PCR
        int code;
    };
    const Case cases[] = {
        {PesClass::Video, true, 1200, 1220},  {PesClass::Video, true, 900, 0},
        {PesClass::Video, false, 1200, 1220}, {PesClass::Audio, false, 1200, 0},
        {PesClass::Audio, true, 1200, 1221},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.delayMs << " ms, DTS " << c.withDts);
        auto ctx = makeContext({ProgramSpec{}}, 1.504);
        const bool video = c.cls == PesClass::Video;
        const unsigned pid = video ? kVideoPid : kAudioPid;
        const uint8_t sid = video ? 0xE0 : 0xC0;
        // PCR at packet 10; the second PES header 100 packets (100 ms) later.
        const int64_t pcr = 27'000'000;
        ctx->packetCounter = 10;
        const Packet pcrPkt = pcrPacket(0x100, pcr);
        AnalysePcrPacket(*ctx, pcrPkt.data(), 0x100, 0, {});
        const int64_t stamp = (pcr + (100 + c.delayMs) * 27'000) / 300;
        auto pes = [&](int64_t s) {
            return c.withDts ? pesPacket(pid, sid, s + 3600, s) : pesPacket(pid, sid, s);
        };
        feedPes(*ctx, c.cls, pes(stamp - 40 * k90PerMs), 70);
        feedPes(*ctx, c.cls, pes(stamp), 110);
        const PesTiming& t =
            video ? ctx->programs[0].timing.video.pes : ctx->programs[0].timing.audio[0].pes;
        EXPECT_NEAR(t.dtsPcrMs[1], static_cast<double>(c.delayMs), 0.01);
        EXPECT_EQ(countCode(*ctx, 1220) + countCode(*ctx, 1221), c.code ? 1 : 0);
        if (c.code) {
            EXPECT_EQ(countCode(*ctx, c.code), 1);
        }
    }
}

TEST(PesTiming, StampWrapGivesTheForwardDistance) {
    for (const PesClass cls : {PesClass::Video, PesClass::Audio}) {
        auto ctx = makeContext({ProgramSpec{}});
        const bool video = cls == PesClass::Video;
        const unsigned pid = video ? kVideoPid : kAudioPid;
        const uint8_t sid = video ? 0xE0 : 0xC0;
        feedPes(*ctx, cls, pesPacket(pid, sid, kPtsModulus - 100, kPtsModulus - 100), 1);
        feedPes(*ctx, cls, pesPacket(pid, sid, 200, 200), 2);
        const PesTiming& t =
            video ? ctx->programs[0].timing.video.pes : ctx->programs[0].timing.audio[0].pes;
        EXPECT_DOUBLE_EQ(t.ptsDistanceMs[1], 300.0 / 90.0);
        EXPECT_DOUBLE_EQ(t.dtsDistanceMs[1], 300.0 / 90.0);
    }
}

TEST(PesTiming, RingOf150AndTheFirstHeaderOnlyRecords) {
    auto ctx = makeContext({ProgramSpec{}});
    const PesTiming& t = ctx->programs[0].timing.video.pes;
    feedPes(*ctx, PesClass::Video, pesPacket(kVideoPid, 0xE0, 1000), 1);
    EXPECT_TRUE(t.hasLast);
    EXPECT_EQ(t.hasData, 1);
    EXPECT_EQ(t.ptsDistanceMs[0], 0.0);  // nothing measured for the first header
    int64_t pts = 1000;
    for (int header = 2; header <= 151; ++header) {
        pts += header == 151 ? 7 * k90PerMs : 40 * k90PerMs;
        feedPes(*ctx, PesClass::Video, pesPacket(kVideoPid, 0xE0, pts), header * 10u);
        if (header == 150) {
            EXPECT_EQ(t.ptsDistanceMs[0], 0.0);
            EXPECT_DOUBLE_EQ(t.ptsDistanceMs[149], 40.0);
        }
    }
    EXPECT_DOUBLE_EQ(t.ptsDistanceMs[0], 7.0);  // the 151st header
    EXPECT_EQ(t.ringIndex, 1);
    EXPECT_EQ(t.newestSlot(), 0);
}

TEST(PesTiming, ScrambledAndForeignPacketsCarryNoHeader) {
    auto ctx = makeContext({ProgramSpec{}});
    const PesTiming& t = ctx->programs[0].timing.video.pes;
    Packet scrambled = pesPacket(kVideoPid, 0xE0, 1000);
    scrambled[3] |= 0x80;
    feedPes(*ctx, PesClass::Video, scrambled, 1);
    EXPECT_TRUE(t.scrambled);
    EXPECT_FALSE(t.hasLast);
    // An audio stream_id on the video PID is not a video PES header.
    feedPes(*ctx, PesClass::Video, pesPacket(kVideoPid, 0xC0, 1000), 2);
    EXPECT_FALSE(t.scrambled);
    EXPECT_FALSE(t.hasLast);
    EXPECT_EQ(t.packetsSincePesStart, 1u);
    // A PES header start counts its packet as the first of the new PES packet.
    feedPes(*ctx, PesClass::Video, pesPacket(kVideoPid, 0xE0, 1000), 3);
    feedPes(*ctx, PesClass::Video, payloadPacket(kVideoPid), 4);
    EXPECT_EQ(t.packetsSincePesStart, 2u);
    EXPECT_EQ(t.bytesSincePesStart, 184u * 2);
    EXPECT_EQ(t.header.ptsDtsFlags, 2u);
    EXPECT_EQ(t.header.headerDataLength, 5u);
}

// Sequence header 720x576, 4:3, 25 Hz, 15 Mbit/s (37500 x 400), vbv 112; sequence extension of
// Main profile at Main level, 4:2:0; picture coding extension; a P picture with vbv_delay 9000.
std::vector<uint8_t> videoHeaders() {
    return {0x00, 0x00, 0x01, 0xB3, 0x2D, 0x02, 0x40, 0x23, 0x24, 0x9F, 0x23, 0x80,  //
            0x00, 0x00, 0x01, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00,              //
            0x00, 0x00, 0x01, 0xB5, 0x8F, 0xFF, 0xF3, 0x41, 0x80,                    //
            0x00, 0x00, 0x01, 0x00, 0x00, 0x11, 0x19, 0x40};
}

TEST(EsHeaderScan, VideoHeadersAfterThePesHeader) {
    auto ctx = makeContext({ProgramSpec{}});
    feedPes(*ctx, PesClass::Video, pesPacket(kVideoPid, 0xE0, 1000, std::nullopt, videoHeaders()),
            1);
    const VideoEsFields& es = ctx->programs[0].timing.video.es;
    ASSERT_TRUE(es.sequenceHeaderSeen);
    EXPECT_EQ(es.horizontalSize, 720);
    EXPECT_EQ(es.verticalSize, 576);
    EXPECT_EQ(es.aspectRatio, 2);
    EXPECT_EQ(es.frameRateCode, 3);
    EXPECT_EQ(es.bitRateValue, 37500u);
    EXPECT_EQ(es.vbvBufferSizeValue, 112);
    ASSERT_TRUE(es.sequenceExtensionSeen);
    EXPECT_EQ(es.profileAndLevel, 0x48);
    EXPECT_EQ(es.chromaFormat, 1);
    EXPECT_TRUE(es.pictureCodingExtensionSeen);
    EXPECT_EQ(es.pictureTally[1], 1u);  // one P picture
    EXPECT_FLOAT_EQ(es.vbvDelayMs[0], 100.0f);
}

TEST(EsHeaderScan, VideoRefreshEvery100PesHeaders) {
    auto ctx = makeContext({ProgramSpec{}});
    const VideoEsFields& es = ctx->programs[0].timing.video.es;
    for (int n = 1; n <= 100; ++n) {
        const auto body = n == 1 ? videoHeaders() : std::vector<uint8_t>{0, 0, 1, 0, 0, 0x0C, 0, 0};
        feedPes(*ctx, PesClass::Video,
                pesPacket(kVideoPid, 0xE0, 1000 + n * 3600, std::nullopt, body), n * 10u);
        if (n == 99) {
            EXPECT_TRUE(es.sequenceHeaderSeen);
            EXPECT_EQ(es.pictureTally[0] + es.pictureTally[1], 99u);
        }
    }
    // The 100th header cleared the flags and closed the tallies before its own scan.
    EXPECT_FALSE(es.sequenceHeaderSeen);
    EXPECT_FALSE(es.sequenceExtensionSeen);
    ASSERT_TRUE(es.lastPictureTallyValid);
    EXPECT_EQ(es.lastPictureTally[0], 98u);  // I pictures (type 1)
    EXPECT_EQ(es.lastPictureTally[1], 1u);
    EXPECT_EQ(es.pictureTally[0], 1u);
}

TEST(EsHeaderScan, AudioFrameHeaderRules) {
    struct Case {
        std::vector<uint8_t> bytes;  // placed at byte 100 of a continuation packet
        bool found;
    };
    const Case cases[] = {
        {{0xFF, 0xFD, 0xA4, 0x00}, true},         // Layer II, 192 kbit/s, 48 kHz, stereo
        {{0xFF, 0xFD, 0x04, 0x00}, false},        // free format bitrate_index 0
        {{0xFF, 0xFD, 0xF4, 0x00}, false},        // bitrate_index 15
        {{0xFF, 0xFD, 0xA4, 0x02}, false},        // reserved emphasis
        {{0xFF, 0xED, 0xA4, 0x00}, false},        // not a sync word
        {{0xFF, 0xFF, 0xFD, 0xA4, 0x00}, false},  // a sync byte that follows 0xFF
    };
    for (const Case& c : cases) {
        auto ctx = makeContext({ProgramSpec{}});
        Packet p = payloadPacket(kAudioPid, 0x11);
        std::copy(c.bytes.begin(), c.bytes.end(), p.begin() + 100);
        feedPes(*ctx, PesClass::Audio, p, 1);
        const AudioEsFields& es = ctx->programs[0].timing.audio[0].es;
        EXPECT_EQ(es.audioHeaderSeen, c.found) << testing::PrintToString(c.bytes);
        if (c.found) {
            EXPECT_EQ(es.layer, 2);
            EXPECT_EQ(es.bitrateIndex, 10);
            EXPECT_EQ(es.samplingFrequency, 1);
        }
    }
    // Right after a PES header, and never at or beyond byte 185.
    auto ctx = makeContext({ProgramSpec{}});
    feedPes(*ctx, PesClass::Audio,
            pesPacket(kAudioPid, 0xC0, 1000, std::nullopt, {0xFF, 0xFD, 0xA4, 0x00}), 1);
    EXPECT_TRUE(ctx->programs[0].timing.audio[0].es.audioHeaderSeen);
    ctx = makeContext({ProgramSpec{}});
    Packet late = payloadPacket(kAudioPid, 0x11);
    std::copy_n(std::array<uint8_t, 3>{0xFF, 0xFD, 0xA4}.begin(), 3, late.begin() + 185);
    feedPes(*ctx, PesClass::Audio, late, 1);
    EXPECT_FALSE(ctx->programs[0].timing.audio[0].es.audioHeaderSeen);
}

TEST(EsHeaderScan, StructuresCutByThePacketEndAreNotRead) {
    auto ctx = makeContext({ProgramSpec{}});
    Packet p = payloadPacket(kVideoPid, 0x11);
    const uint8_t seq[] = {0x00, 0x00, 0x01, 0xB3, 0x2D, 0x02, 0x40, 0x23, 0x24};
    std::copy(std::begin(seq), std::end(seq), p.end() - sizeof seq);
    feedPes(*ctx, PesClass::Video, p, 1);
    EXPECT_FALSE(ctx->programs[0].timing.video.es.sequenceHeaderSeen);
}

// What the buffer model receives at a PES header with a PTS: every packet since the previous
// such header exactly once (not this header's packet, which starts the next count), a PES packet
// without a PTS in between included, and all their PES header bytes apart.
TEST(PesTiming, BufferModelGetsEachPacketOnceWithoutPesHeaders) {
    auto ctx = makeContext({ProgramSpec{}});
    const PesTiming& t = ctx->programs[0].timing.audio[0].pes;
    const AudioBufferState& b = ctx->programs[0].timing.audio[0].buffer;
    const std::vector<uint8_t> frameHeader = {0xFF, 0xFD, 0xA4, 0x04};  // 192 kbit/s, 48 kHz
    uint64_t n = 0;
    const auto header = [&](int64_t ptsMs) {
        feedPes(*ctx, PesClass::Audio,
                pesPacket(kAudioPid, 0xC0, 90'000 + ptsMs * k90PerMs, std::nullopt, frameHeader),
                ++n);
    };
    const auto payloads = [&](int count) {
        for (int i = 0; i < count; ++i)
            feedPes(*ctx, PesClass::Audio, payloadPacket(kAudioPid), ++n);
    };
    header(0);
    payloads(2);
    Packet noPts = pesPacket(kAudioPid, 0xC0, 0);
    noPts[4 + 7] = 0;  // PTS_DTS_flags 0
    noPts[4 + 8] = 0;  // no header data
    feedPes(*ctx, PesClass::Audio, noPts, ++n);
    payloads(1);
    EXPECT_EQ(t.packetsSincePesStart, 5u);
    EXPECT_EQ(t.headerBytesSincePesStart, 14u + 9u);
    header(24);  // first step: EBn starts from what arrived
    EXPECT_EQ(b.ebFill, 5 * 184 - 14 - 9);
    EXPECT_EQ(t.packetsSincePesStart, 1u);
    EXPECT_EQ(t.bytesSincePesStart, 184u);
    payloads(3);
    header(48);  // 24 ms at 192 kbit/s drain exactly 576 bytes
    EXPECT_EQ(b.ebFill, 5 * 184 - 14 - 9 + 4 * 184 - 14 - 576);
    EXPECT_TRUE(errorEvents(*ctx).empty());
}

}  // namespace
}  // namespace orv
