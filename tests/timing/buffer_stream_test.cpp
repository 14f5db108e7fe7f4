// The buffer model on whole streams: valid constant-rate streams (tsgen's presets, hand-built
// 44.1 kHz audio) keep every buffer quiet for their whole length, while audio that carries more
// than its declared rate overflows EBn and audio that stops for a while underflows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/buffer_model.h"
#include "engine/packet_header.h"
#include "engine/pes_timing.h"
#include "engine/program_discovery.h"
#include "tests/timing/stream_run.h"
#include "tests/timing/timing_packets.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"
#include "tools/tsgen/video_profiles.h"

namespace orv {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace timing_test;

constexpr unsigned kAudioPid1 = 0x0102;  // program 1's audio in the presets
constexpr std::size_t kFrameBytes192k = 576;

// Rewrites the bitrate_index of every MPEG audio frame header of `pid` that lies inside one
// packet: the stream then declares a lower rate than its frames carry.
void declareAudioRate(Bytes& ts, unsigned packetSize, unsigned pid, unsigned bitrateIndex) {
    for (std::size_t at = 0; at + packetSize <= ts.size(); at += packetSize) {
        uint8_t* p = ts.data() + at;
        if (packetPid(p) != pid) continue;
        for (unsigned i = payloadOffset(p); i + 3 < 188; ++i)
            if (p[i] == 0xFF && p[i + 1] == 0xFD)
                p[i + 2] = static_cast<uint8_t>(bitrateIndex << 4 | (p[i + 2] & 0x0F));
    }
}

TEST(BufferStream, PresetsGiveNoBufferEventOverTheirWholeLength) {
    struct Case {
        const char* name;
        tsgen::Preset (*make)(const tsgen::PresetOptions&);
        unsigned packetSize;
    };
    const Case cases[] = {{"clean", tsgen::cleanPreset, 188},
                          {"clean", tsgen::cleanPreset, 204},
                          {"sample", tsgen::samplePreset, 188},
                          {"sample", tsgen::samplePreset, 204}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.packetSize));
        tsgen::PresetOptions opt;
        opt.packetSize = c.packetSize;
        const tsgen::Preset preset = c.make(opt);
        const StreamRun run =
            runStream(tsgen::generateStream(preset.config, preset.faults), c.packetSize);
        EXPECT_EQ(run.bufferEvents(), 0) << (run.details.empty() ? "" : run.details.front());
        ASSERT_EQ(run.ctx->programCount(), 2);
        for (const ProgramEntry& prog : run.ctx->programs) {
            // The model did run, and holds about one access unit: what arrives is what drains
            // (the sample's repeated and scrambled audio packets move it by one payload).
            const AudioBufferState& a = prog.timing.audio[0].buffer;
            EXPECT_EQ(a.rate, 192'000);
            EXPECT_NEAR(a.ebFill, kFrameBytes192k, 200.0);
            const VideoBufferState& v = prog.timing.video.buffer;
            EXPECT_EQ(v.rn, 3'000'000);
            EXPECT_GT(v.ebFill, 0);
            EXPECT_EQ(a.ebOverflows + a.ebUnderflows + a.tbOverflows + v.tbOverflows +
                          v.mbOverflows + v.ebOverflows + v.ebUnderflows,
                      0u);
        }
    }
}

TEST(BufferStream, HigherProfilesAreModelledAndQuiet) {
    // The clean preset's video declaring other profiles and levels: each is modelled with its
    // bounds and, being valid, never overflows a buffer.
    struct Case {
        const char* name;
        int32_t ebSize;  // (Rmax / 750 + VBV buffer bound) / 8
    };
    for (const Case c :
         {Case{"high@high", 1'544'474}, Case{"high@main", 308'485}, Case{"422@main", 1'187'981}}) {
        SCOPED_TRACE(c.name);
        tsgen::Preset preset = tsgen::cleanPreset({});
        tsgen::setVideoProfile(preset.config, *tsgen::videoProfileByName(c.name));
        const StreamRun run = runStream(tsgen::generateStream(preset.config, {}), 188);
        EXPECT_EQ(run.bufferEvents(), 0) << (run.details.empty() ? "" : run.details.front());
        ASSERT_EQ(run.ctx->programCount(), 2);
        for (const ProgramEntry& prog : run.ctx->programs) {
            const VideoBufferState& v = prog.timing.video.buffer;
            EXPECT_EQ(v.ebSize, c.ebSize);
            EXPECT_GT(v.ebFill, 0);
        }
    }
}

TEST(BufferStream, AudioCarryingMoreThanItsDeclaredRateOverflowsEbn) {
    const tsgen::Preset preset = tsgen::cleanPreset({});
    Bytes ts = tsgen::generateStream(preset.config, {});
    // 192 kbit/s frames declared as 32 kbit/s: each 24 ms step brings 576 bytes and drains 96.
    declareAudioRate(ts, 188, kAudioPid1, 1);
    const StreamRun run = runStream(ts, 188);
    const AudioBufferState& a = run.ctx->programs[0].timing.audio[0].buffer;
    EXPECT_EQ(a.rate, 32'000);
    EXPECT_GT(run.count(1147), 10);
    EXPECT_EQ(static_cast<int>(a.ebOverflows), run.count(1147));
    EXPECT_EQ(run.count(1148), 0);
    EXPECT_EQ(run.bufferEvents(), run.count(1147));
    EXPECT_NE(run.details.front().find("PID=0x0102"), std::string::npos);
}

TEST(BufferStream, AudioStarvedForAWhileUnderflowsEbnOnce) {
    const tsgen::Preset preset = tsgen::cleanPreset({});
    // Half a second of program 1's audio left out (from one PES start to another; the counters
    // carry on): the next PES header's PTS is 500 ms on while only one access unit arrived.
    tsgen::Fault gap;
    gap.kind = tsgen::FaultKind::TableGap;
    gap.pid = kAudioPid1;
    gap.at = tsgen::slotAtMs(preset.config, 5000);
    gap.until = tsgen::slotAtMs(preset.config, 5500);
    const StreamRun run = runStream(tsgen::generateStream(preset.config, {gap}), 188);
    EXPECT_EQ(run.count(1148), 1);
    EXPECT_EQ(run.bufferEvents(), 1);
    EXPECT_EQ(run.ctx->programs[0].timing.audio[0].buffer.ebUnderflows, 1u);
    // After the underflow the fill restarts from the bytes of one step and stays there.
    EXPECT_NEAR(run.ctx->programs[0].timing.audio[0].buffer.ebFill, kFrameBytes192k, 200.0);
}

TEST(BufferStream, RealCapturesKeepAudioAndVideoBuffersQuiet) {
    struct Case {
        const char* name;
        bool videoModelled;  // MPEG-2 video with a known profile/level; H.264 is not modelled
    };
    // cap-mpeg2-dts-mp2 is 4:2:2 @ High video at 26.6 Mbit/s.
    for (const Case c : {Case{"cap-mpeg2-mp2-sdt.ts", true}, Case{"cap-h264-mp2-sdt.ts", false},
                         Case{"cap-mpeg2-dts-mp2.ts", true}}) {
        const char* name = c.name;
        SCOPED_TRACE(name);
        const std::filesystem::path file = std::filesystem::path(ORV_STREAMS_DIR) / name;
        if (!std::filesystem::exists(file)) GTEST_SKIP() << "real captures not found";
        std::ifstream in(file, std::ios::binary);
        const Bytes ts{std::istreambuf_iterator<char>(in), {}};
        const StreamRun run = runStream(ts, 188);
        ASSERT_EQ(run.ctx->programCount(), 1);
        const ProgramEntry& prog = run.ctx->programs[0];
        ASSERT_GE(prog.audioCount, 1);
        EXPECT_GT(prog.timing.audio[0].buffer.rate, 0);  // the audio model ran
        EXPECT_GT(prog.timing.audio[0].buffer.ebFill, 0);
        EXPECT_EQ(prog.timing.video.buffer.ebSize > 0, c.videoModelled);
        // The system buffers follow the PSI repetition the broadcaster chose: not checked here.
        EXPECT_EQ(run.bufferEvents(), run.count(1142) + run.count(1150))
            << (run.details.empty() ? "" : run.details.front());
    }
}

// Layer II frames at 44.1 kHz: 1152 samples (2351.02 PTS ticks) of 144 x rate / 44100 bytes,
// the fraction made up by padding slots, one frame per PES packet, fed to the PES step packet
// by packet at 8 Mbit/s.
class Audio441 {
  public:
    Audio441(AnalysisContext& ctx, unsigned bitrateIndex)
        : ctx_(ctx), index_(bitrateIndex), rate_(audioBitrateOfIndex(bitrateIndex)) {}

    void sendFrames(int frames) {
        for (int k = 0; k < frames; ++k, ++n_)
            sendPes(frameBytes());
    }

  private:
    std::vector<uint8_t> frameBytes() {
        // Bytes so far: floor(144 x rate x frames / 44100); a frame one byte longer is padded.
        const auto total = [&](int64_t frames) { return int64_t{144} * rate_ * frames / 44100; };
        const int64_t size = total(n_ + 1) - total(n_);
        const bool padded = size > int64_t{144} * rate_ / 44100;
        std::vector<uint8_t> f(static_cast<std::size_t>(size), 0x11);
        f[0] = 0xFF;
        f[1] = 0xFD;
        f[2] = static_cast<uint8_t>(index_ << 4 | (padded ? 2 : 0));  // 44.1 kHz
        f[3] = 0x04;
        return f;
    }

    void sendPes(const std::vector<uint8_t>& frame) {
        const int64_t pts = 900'000 + (n_ * 1152 * 90'000 + 22'050) / 44'100;
        Packet p = pesPacket(kPid, 0xC0, pts);
        std::size_t used = std::min<std::size_t>(188 - 4 - 14, frame.size());
        std::copy_n(frame.begin(), used, p.begin() + 18);
        if (used == frame.size()) stuffTail(p, 18 + used);
        feed(p);
        while (used < frame.size()) {
            Packet q = payloadPacket(kPid);
            const std::size_t chunk = std::min<std::size_t>(184, frame.size() - used);
            std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(used), chunk, q.begin() + 4);
            used += chunk;
            if (chunk < 184) stuffTail(q, 4 + chunk);
            feed(q);
        }
    }

    // Moves the payload [4, end) to the end of the packet behind an adaptation field of stuffing.
    static void stuffTail(Packet& p, std::size_t end) {
        const std::size_t gap = 188 - end;
        std::copy_backward(p.begin() + 4, p.begin() + static_cast<std::ptrdiff_t>(end), p.end());
        p[3] = static_cast<uint8_t>(0x30 | (p[3] & 0x0F));
        p[4] = static_cast<uint8_t>(gap - 1);
        if (gap > 1) {
            p[5] = 0;
            std::fill(p.begin() + 6, p.begin() + 4 + static_cast<std::ptrdiff_t>(gap), 0xFF);
        }
    }

    void feed(Packet& p) {
        p[3] = static_cast<uint8_t>((p[3] & 0xF0) | (cc_++ & 0x0F));
        ctx_.packetCounter += 3;  // other PIDs between the audio packets
        AnalysePesPacket(ctx_, 0, PesClass::Audio, 0, p.data());
    }

    static constexpr unsigned kPid = 0x101;
    AnalysisContext& ctx_;
    unsigned index_;
    int64_t rate_;
    int64_t n_ = 0;
    unsigned cc_ = 0;
};

TEST(BufferStream, Audio441kHzStaysQuietForTenMinutes) {
    for (const unsigned index : {1u, 8u, 10u, 14u}) {  // 32, 128, 192, 384 kbit/s
        SCOPED_TRACE(index);
        auto ctx = makeContext({ProgramSpec{}});
        Audio441 audio(*ctx, index);
        audio.sendFrames(2);
        const AudioBufferState& b = ctx->programs[0].timing.audio[0].buffer;
        const int32_t first = b.ebFill;
        EXPECT_GT(first, 0);
        audio.sendFrames(10 * 60 * 44'100 / 1152);
        EXPECT_TRUE(errorEvents(*ctx).empty());
        EXPECT_NEAR(b.ebFill, first, 3.0);
    }
}

}  // namespace
}  // namespace orv
