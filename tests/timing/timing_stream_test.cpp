// Whole streams through the timing steps: a tsgen stream, an ffmpeg-made MPEG-2 stream and a
// real capture, walked packet by packet with the PCR and PES steps in the block driver's order
// (video PIDs, then the PCR PIDs, then the audio PIDs).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "engine/packet_header.h"
#include "engine/pcr_analysis.h"
#include "engine/pes_timing.h"
#include "engine/program_discovery.h"
#include "tests/timing/timing_packets.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// Rate in Mbit/s between the first and the last PCR of the first PCR PID, as the offline source
// measures it before the main pass.
double measureRate(const Bytes& ts) {
    int64_t firstPcr = -1, lastPcr = -1;
    std::size_t firstAt = 0, lastAt = 0;
    unsigned pcrPid = 0x2000;
    for (std::size_t i = 0; i + 188 <= ts.size(); i += 188) {
        const uint8_t* p = ts.data() + i;
        const int64_t pcr = packetPcr(p);
        if (p[0] != 0x47 || pcr < 0) continue;
        if (pcrPid == 0x2000) pcrPid = packetPid(p);
        if (packetPid(p) != pcrPid) continue;
        if (firstPcr < 0) firstPcr = pcr, firstAt = i;
        lastPcr = pcr, lastAt = i;
    }
    if (lastPcr <= firstPcr) return 0.0;
    return static_cast<double>(lastAt - firstAt) * 8.0 * 27.0 /
           static_cast<double>(lastPcr - firstPcr);
}

std::unique_ptr<AnalysisContext> runTiming(const Bytes& ts, double mbps) {
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    ctx->analysisMode = AnalysisMode::Offline;
    initBlock(*ctx, ts.data(), std::min<std::size_t>(ts.size(), 40000 * 188));
    finishInit(*ctx);
    createPcrTracks(*ctx);
    ctx->analysisMode = AnalysisMode::Offline;
    ctx->streamBitrate.current = mbps;
    beginRun(*ctx, kEventOfflineStart);
    for (std::size_t off = 0; off + 188 <= ts.size(); off += 188) {
        const uint8_t* p = ts.data() + off;
        if (p[0] != 0x47) continue;
        ++ctx->packetCounter;
        const unsigned pid = packetPid(p);
        for (int i = 0; i < ctx->programCount(); ++i)
            if (ctx->programs[i].video.present && ctx->programs[i].video.pid == pid)
                AnalysePesPacket(*ctx, i, PesClass::Video, 0, p);
        AnalysePcrPacket(*ctx, p, pid, off % (400 * 188), {});
        for (int i = 0; i < ctx->programCount(); ++i)
            for (int a = 0; a < ctx->programs[i].audioCount; ++a)
                if (ctx->programs[i].audio[a].pid == pid)
                    AnalysePesPacket(*ctx, i, PesClass::Audio, a, p);
    }
    return ctx;
}

std::vector<double> storedDistances(const PesTiming& t) {
    const int n = std::min(t.ringIndex, kPesRingSize);
    // Slot 0 of the first pass belongs to the first header, which measures nothing.
    return std::vector<double>(t.dtsDistanceMs.begin() + 1, t.dtsDistanceMs.begin() + n);
}

uint64_t histogramTotal(const PcrTrack& t) {
    return std::accumulate(t.jitterHistogram.begin(), t.jitterHistogram.end(), uint64_t{0});
}

TEST(TimingStream, TsgenStreamIsCleanAndDecoded) {
    const tsgen::Preset preset = tsgen::cleanPreset();
    const Bytes ts = tsgen::generateStream(preset.config, {});
    auto ctx = runTiming(ts, preset.config.bitrate / 1e6);
    ASSERT_GE(ctx->programCount(), 1);
    for (int i = 0; i < ctx->programCount(); ++i) {
        const PcrTrack& t = ctx->timing.pcrTracks[static_cast<std::size_t>(i)];
        ASSERT_GT(t.jitterSamples, 10u);
        // Offline the rate comes from the PCR spacing itself: every jitter is within 1 ns.
        EXPECT_EQ(t.jitterHistogram[11], t.jitterSamples);
        EXPECT_LE(std::abs(t.largestJitterNs), 1);
        const ProgramEntry& prog = ctx->programs[static_cast<std::size_t>(i)];
        if (!prog.video.present) continue;
        const VideoEsFields& es = prog.timing.video.es;
        EXPECT_EQ(es.horizontalSize, 720);
        EXPECT_EQ(es.profileAndLevel, 0x48);
        for (double d : storedDistances(prog.timing.video.pes))
            EXPECT_DOUBLE_EQ(d, 40.0);
    }
    // No PCR, PTS or data delay event. (The buffer model is left out: its simplified accounting
    // lets the audio EBn of even a clean stream drift to an overflow now and then.)
    for (const auto& e : timing_test::errorEvents(*ctx))
        if (e.code < 1140 || e.code > 1150) ADD_FAILURE() << e.code << " " << e.detail;
}

// Writes a short MPEG-2 video + MP2 audio transport stream with ffmpeg; empty when ffmpeg is
// missing or fails.
Bytes ffmpegStream(const fs::path& dir) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) return {};
    const fs::path out = dir / "mpeg2-mp2.ts";
    const std::string cmd =
        "ffmpeg -nostdin -hide_banner -loglevel error -y"
        " -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i "
        "sine=frequency=1000:sample_rate=48000"
        " -t 4 -c:v mpeg2video -profile:v 4 -level:v 8 -b:v 3M -maxrate 3M -bufsize 1835k"
        " -c:a mp2 -b:a 192k -ac 2 -f mpegts -muxrate 6M -pcr_period 30 '" +
        out.string() + "' 2>&1";
    if (std::system(cmd.c_str()) != 0) return {};
    std::ifstream in(out, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct TempDir {
    fs::path path;
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "orv-timing-XXXXXX").string();
        if (mkdtemp(tmpl.data()) != nullptr) path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

TEST(TimingStream, FfmpegMpeg2Mp2Stream) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const Bytes ts = ffmpegStream(dir.path);
    if (ts.empty()) GTEST_SKIP() << "ffmpeg is not installed (scripts/install-deps.sh installs it)";
    const double mbps = measureRate(ts);
    EXPECT_NEAR(mbps, 6.0, 0.1);
    auto ctx = runTiming(ts, mbps);
    ASSERT_EQ(ctx->programCount(), 1);
    const ProgramEntry& prog = ctx->programs[0];
    ASSERT_TRUE(prog.video.present);
    ASSERT_EQ(prog.audioCount, 1);

    const VideoEsFields& v = prog.timing.video.es;
    EXPECT_EQ(v.horizontalSize, 720);
    EXPECT_EQ(v.verticalSize, 576);
    EXPECT_EQ(v.frameRateCode, 3);  // 25 Hz
    EXPECT_EQ(v.profileAndLevel, 0x48);
    EXPECT_TRUE(v.pictureCodingExtensionSeen);
    const AudioEsFields& a = prog.timing.audio[0].es;
    EXPECT_TRUE(a.audioHeaderSeen);
    EXPECT_EQ(a.layer, 2);              // Layer II
    EXPECT_EQ(a.bitrateIndex, 10);      // 192 kbit/s
    EXPECT_EQ(a.samplingFrequency, 1);  // 48 kHz

    const PcrTrack& t = ctx->timing.pcrTracks[0];
    int pcrs = 0;
    for (std::size_t off = 0; off + 188 <= ts.size(); off += 188)
        pcrs += packetPid(ts.data() + off) == prog.pcrPid && packetPcr(ts.data() + off) >= 0;
    EXPECT_GT(pcrs, 100);
    EXPECT_EQ(t.jitterSamples, static_cast<uint64_t>(pcrs - 1));  // every PCR after the first
    EXPECT_EQ(histogramTotal(t), t.jitterSamples);
    EXPECT_LE(t.longestIntervalMs, 40.1);
    EXPECT_EQ(timing_test::countCode(*ctx, 1090), 0);

    for (double d : storedDistances(prog.timing.video.pes))
        EXPECT_NEAR(d, 40.0, 0.05);
    EXPECT_EQ(prog.timing.video.buffer.ebSize, 231'876);
    EXPECT_EQ(prog.timing.audio[0].buffer.rate, 192'000);
}

TEST(TimingStream, RealMpeg2Capture) {
    const fs::path file = fs::path(ORV_STREAMS_DIR) / "cap-mpeg2-mp2-sdt.ts";
    if (!fs::exists(file)) GTEST_SKIP() << "real captures not found at " << ORV_STREAMS_DIR;
    std::ifstream in(file, std::ios::binary);
    const Bytes ts{std::istreambuf_iterator<char>(in), {}};
    const double mbps = measureRate(ts);
    ASSERT_GT(mbps, 1.0);
    auto ctx = runTiming(ts, mbps);
    ASSERT_EQ(ctx->programCount(), 1);
    const ProgramEntry& prog = ctx->programs[0];
    ASSERT_TRUE(prog.video.present);
    const VideoEsFields& v = prog.timing.video.es;
    ASSERT_TRUE(v.sequenceHeaderSeen);
    EXPECT_GT(v.horizontalSize, 0);
    EXPECT_GT(v.verticalSize, 0);
    const double periods[] = {0, 1001.0 / 24, 1000.0 / 24, 40.0, 1001.0 / 30, 1000.0 / 30, 20.0};
    ASSERT_TRUE(v.frameRateCode >= 1 && v.frameRateCode <= 6);
    const double frame = periods[v.frameRateCode];

    std::vector<double> d = storedDistances(prog.timing.video.pes);
    ASSERT_GT(d.size(), 10u);
    for (double x : d) {
        EXPECT_GT(x, 0.0);
        // A PES packet holds one picture (or a field pair): whole frame periods.
        EXPECT_NEAR(x / frame, std::round(x / frame), 0.01) << x;
    }
    std::nth_element(d.begin(), d.begin() + d.size() / 2, d.end());
    EXPECT_NEAR(d[d.size() / 2], frame, 0.05);
}

}  // namespace
}  // namespace orv
