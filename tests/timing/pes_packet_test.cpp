// The block driver's PES step (pesComponentPacket, whose packets without
// payload_unit_start_indicator never leave the packet loop) against AnalysePesPacket, packet for
// packet on the same sequence of video and audio packets: every count, flag and header field the
// pages read must come out the same, and the byte counts as counted by hand.
#include <gtest/gtest.h>

#include <vector>

#include "engine/pes_packet.h"
#include "tests/timing/timing_packets.h"

namespace orv {
namespace {

using namespace timing_test;

constexpr unsigned kVideoPid = 0x100;
constexpr unsigned kAudioPid = 0x101;

// A continuation packet with adaptation_field_control `afc` and, when it has an adaptation field,
// one of `afLength` bytes; `es` is written at the first payload byte.
Packet continuation(unsigned pid, unsigned afc, unsigned afLength,
                    const std::vector<uint8_t>& es = {}, bool scrambled = false) {
    Packet p = payloadPacket(pid);
    p[3] = static_cast<uint8_t>((scrambled ? 0x80 : 0) | afc << 4);
    std::size_t at = 4;
    if (afc & 2) {
        p[4] = static_cast<uint8_t>(afLength);
        if (afLength > 0) p[5] = 0;
        at = 5 + afLength;
    }
    for (uint8_t b : es)
        if (at < p.size()) p[at++] = b;
    return p;
}

const std::vector<uint8_t> kSequenceHeader = {0,    0,    1,    0xB3, 0x2D, 0x02, 0x40,
                                              0x33, 0xFF, 0xFF, 0xE0, 0x18};  // 720 x 576, 25 Hz
const std::vector<uint8_t> kMp2Header = {0xFF, 0xFD, 0xA4, 0x04};  // Layer II, 192 kbit/s

struct Step {
    PesClass cls;
    Packet packet;
    uint32_t bytesSinceStart;  // of the component after this packet, counted by hand
};

TEST(PesPacket, TheLoopStepEqualsTheFullStepOnEveryKindOfPacket) {
    // A PES header packet with a PTS restarts the counts with its whole payload (184 bytes).
    const std::vector<Step> steps = {
        {PesClass::Video, continuation(kVideoPid, 1, 0), 184},  // before any header: counted
        {PesClass::Video, pesPacket(kVideoPid, 0xE0, 9000), 184},
        {PesClass::Video, continuation(kVideoPid, 3, 10), 184 + 173},
        {PesClass::Video, continuation(kVideoPid, 3, 183), 357},          // no payload byte
        {PesClass::Video, continuation(kVideoPid, 2, 183), 357},          // adaptation field only
        {PesClass::Video, continuation(kVideoPid, 1, 0, {}, true), 357},  // scrambled: skipped
        {PesClass::Video, continuation(kVideoPid, 1, 0, kSequenceHeader), 357 + 184},
        {PesClass::Audio, pesPacket(kAudioPid, 0xC0, 9000), 184},
        {PesClass::Audio, continuation(kAudioPid, 3, 20, kMp2Header), 184 + 163},
        {PesClass::Video, pesPacket(kVideoPid, 0xE0, 12600), 184},
    };
    auto full = makeContext({ProgramSpec{}}, 8.0);
    auto loop = makeContext({ProgramSpec{}}, 8.0);
    uint64_t counter = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(counter);
        full->packetCounter = loop->packetCounter = ++counter;
        AnalysePesPacket(*full, 0, s.cls, 0, s.packet.data());
        pesComponentPacket(*loop, loop->programs[0], 0, s.cls, 0, s.packet.data());

        const ProgramTiming& a = full->programs[0].timing;
        const ProgramTiming& b = loop->programs[0].timing;
        for (const auto& [x, y] :
             {std::pair{&a.video.pes, &b.video.pes}, std::pair{&a.audio[0].pes, &b.audio[0].pes}}) {
            EXPECT_EQ(x->packetsSincePesStart, y->packetsSincePesStart);
            EXPECT_EQ(x->bytesSincePesStart, y->bytesSincePesStart);
            EXPECT_EQ(x->headerBytesSincePesStart, y->headerBytesSincePesStart);
            EXPECT_EQ(x->scrambled, y->scrambled);
            EXPECT_EQ(x->measured, y->measured);
        }
        const PesTiming& mine = s.cls == PesClass::Video ? b.video.pes : b.audio[0].pes;
        EXPECT_EQ(mine.bytesSincePesStart, s.bytesSinceStart);
        EXPECT_EQ(a.video.es.sequenceHeaderSeen, b.video.es.sequenceHeaderSeen);
        EXPECT_EQ(a.video.es.horizontalSize, b.video.es.horizontalSize);
        EXPECT_EQ(a.video.es.verticalSize, b.video.es.verticalSize);
        EXPECT_EQ(a.audio[0].es.audioHeaderSeen, b.audio[0].es.audioHeaderSeen);
        EXPECT_EQ(a.audio[0].es.bitrateIndex, b.audio[0].es.bitrateIndex);
    }
    // The scan found both headers in continuation packets, on both paths.
    EXPECT_EQ(loop->programs[0].timing.video.es.horizontalSize, 720);
    EXPECT_EQ(loop->programs[0].timing.video.es.verticalSize, 576);
    EXPECT_TRUE(loop->programs[0].timing.audio[0].es.audioHeaderSeen);
    EXPECT_EQ(loop->programs[0].timing.audio[0].es.bitrateIndex, 0xA);
}

}  // namespace
}  // namespace orv
