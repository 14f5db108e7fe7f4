#include "engine/buffer_model.h"

#include <cmath>
#include <limits>

#include "engine/analysis_context.h"

namespace orv {
namespace {

constexpr int32_t kTbRestartFill = 51;     // a TB at its size restarts from here
constexpr int32_t kBsysRestartFill = 153;  // Bsys likewise
constexpr int32_t kAudioEbRestartFill = 358;
constexpr int64_t kAudioTbLeakBytesPerMs = 250;  // 2 Mbit/s
constexpr double kTbsysLeakBytesPerSecond = 125'000.0;
constexpr int32_t kRbsysLowRate = 80'000;

// trunc() of a product that may be far out of range after a long gap between stamps.
int64_t truncSaturated(double v) {
    if (std::isnan(v)) return 0;
    constexpr double kLimit = 9.0e15;  // well inside int64_t, far above any buffer size
    if (v >= kLimit) return static_cast<int64_t>(kLimit);
    if (v <= -kLimit) return -static_cast<int64_t>(kLimit);
    return static_cast<int64_t>(std::trunc(v));
}

// The leak of `exactBytes` in whole bytes. The fraction cut off is carried into the next step
// instead of being lost (or gained) at every step: a rate whose frame time is not a whole number
// of milliseconds (44.1 kHz audio, 29.97 Hz video) would otherwise drift the fill by up to a byte
// per access unit, far enough in a few minutes to report a buffer error on a valid stream.
int64_t leakWithCarry(double exactBytes, double& carry) {
    const double total = exactBytes + carry;
    const int64_t whole = truncSaturated(total);
    carry = total - static_cast<double>(whole);
    if (!(std::fabs(carry) < 1.0)) carry = 0.0;  // saturated or not a number
    return whole;
}

// Events and the buffer counters rise only with the switch on and at most 1000 buffer events.
bool mayCount(const AnalysisContext& ctx) {
    return ctx.enabled(Tr290ErrorKind::Buffer) &&
           ctx.log.kindCount.total(Tr290ErrorKind::Buffer) <= kEventCap;
}

void overflow(AnalysisContext& ctx, uint32_t& counter, int code, unsigned pid, int programIndex) {
    if (!mayCount(ctx)) return;
    ++counter;
    logEvent(ctx, code, pid, programIndex);
}

int32_t clampedFill(int64_t v) {
    return static_cast<int32_t>(v < 0 ? 0 : v);  // callers only pass values at most a buffer size
}

void setUpVideo(VideoBufferState& b, const VideoEsFields& es) {
    const ProfileLevelLimits lim = profileLevelLimits(es.profileAndLevel);
    if (lim.rmax <= 0 || lim.ebBits <= 0) return;  // sizes stay 0: the video is not modelled
    b.rmax = lim.rmax;
    b.rxn = truncSaturated(1.2 * static_cast<double>(lim.rmax));
    b.tbSize = kTransportBufferSize;
    b.mbSize = static_cast<int32_t>(truncSaturated(static_cast<double>(lim.rmax) * 0.004 * 0.125));
    b.ebSize = static_cast<int32_t>((lim.rmax / 750 + lim.ebBits) / 8);
    b.rn = (int64_t{es.bitRateExtension} * (int64_t{1} << 18) + es.bitRateValue) * 400;
}

void stepVideo(AnalysisContext& ctx, int programIndex) {
    ProgramEntry& prog = ctx.programs[static_cast<std::size_t>(programIndex)];
    VideoTiming& v = prog.timing.video;
    VideoBufferState& b = v.buffer;
    if (v.es.sequenceHeaderSeen && v.es.sequenceExtensionSeen && b.ebSize <= 0) setUpVideo(b, v.es);
    // No sequence extension (MPEG-1) or a profile/level without known bounds: not modelled.
    if (b.rn <= 0 || b.ebSize <= 0 || b.rmax <= 0) return;

    const double dt = v.pes.dtsDistanceMs[v.pes.newestSlot()];
    const int64_t packets = v.pes.packetsSincePesStart;
    const int64_t bytes = v.pes.bytesSincePesStart;
    // Only the elementary stream data of the PES packets reaches EBn, not their headers.
    const int64_t esBytes = bytes - int64_t{v.pes.headerBytesSincePesStart};
    const int64_t len = ctx.packetLength;

    int64_t old = b.tbFill == kTransportBufferSize ? kTbRestartFill : b.tbFill;
    const int64_t tb = old <= 0 ? len : old + packets * len - truncSaturated(b.rxn * dt * 0.000125);

    old = b.mbFill == b.mbSize ? b.mbSize / 2 : b.mbFill;
    const int64_t mb = old <= 0 ? bytes / 100 : old + bytes - truncSaturated(b.rmax * dt) / 8000;

    old = b.ebFill == b.ebSize ? b.ebSize / 2 : b.ebFill;
    if (old <= 0) b.ebLeakCarry = 0.0;
    const int64_t eb =
        old <= 0
            ? esBytes / 10
            : old + esBytes - leakWithCarry(static_cast<double>(b.rn) * dt / 8000.0, b.ebLeakCarry);

    const unsigned pid = prog.video.pid;
    if (tb > kTransportBufferSize) {
        b.tbFill = kTransportBufferSize;
        overflow(ctx, b.tbOverflows, 1140, pid, programIndex);
    } else {
        b.tbFill = clampedFill(tb);
    }

    if (mb > b.mbSize) {
        b.mbFill = b.mbSize;
        overflow(ctx, b.mbOverflows, 1143, pid, programIndex);
    } else {
        b.mbFill = mb < 1 ? 0 : static_cast<int32_t>(mb);
    }

    if (eb > b.ebSize) {
        b.ebFill = b.ebSize;
        overflow(ctx, b.ebOverflows, 1145, pid, programIndex);
    } else if (eb >= 0) {
        b.ebFill = static_cast<int32_t>(eb);
    } else {
        b.ebFill = 0;
        if (b.leakValid) overflow(ctx, b.ebUnderflows, 1146, pid, programIndex);
    }
}

void stepAudio(AnalysisContext& ctx, int programIndex, int component) {
    ProgramEntry& prog = ctx.programs[static_cast<std::size_t>(programIndex)];
    AudioTiming& a = prog.timing.audio[static_cast<std::size_t>(component)];
    AudioBufferState& b = a.buffer;
    // The layer bits 00 are reserved: such a header (an AAC ADTS header, for one) is no MPEG
    // audio frame, and its third byte gives no rate, so the buffers are not modelled.
    if (a.es.audioHeaderSeen && b.rate == 0 && a.es.layer != 0)
        b.rate = audioBitrateOfIndex(a.es.bitrateIndex);
    if (b.rate == 0) return;

    const double dt = a.pes.dtsDistanceMs[a.pes.newestSlot()];
    const int64_t packets = a.pes.packetsSincePesStart;
    const int64_t bytes = a.pes.bytesSincePesStart;
    // Only the elementary stream data of the PES packets reaches EBn, not their headers.
    const int64_t esBytes = bytes - int64_t{a.pes.headerBytesSincePesStart};
    const int64_t len = ctx.packetLength;

    const int64_t tb = b.tbFill == 0
                           ? len
                           : b.tbFill + packets * len - truncSaturated(dt * kAudioTbLeakBytesPerMs);
    // EBn drains at the audio rate for exactly the time between the two headers: the bytes of
    // one access unit arrive per step, and a leak of a longer time would empty a valid stream.
    if (b.ebFill <= 0) b.ebLeakCarry = 0.0;
    const int64_t eb =
        b.ebFill <= 0 ? esBytes
                      : b.ebFill + esBytes - leakWithCarry(dt * b.rate * 0.000125, b.ebLeakCarry);

    const unsigned pid = prog.audio[static_cast<std::size_t>(component)].pid;
    if (tb > kTransportBufferSize) {
        b.tbFill = kTransportBufferSize;
        overflow(ctx, b.tbOverflows, 1141, pid, programIndex);
    } else {
        b.tbFill = clampedFill(tb);
    }

    if (eb > kAudioEsBufferSize) {
        // Restarts well below the size, not at it.
        b.ebFill = kAudioEbRestartFill;
        overflow(ctx, b.ebOverflows, 1147, pid, programIndex);
    } else if (eb >= 0) {
        b.ebFill = static_cast<int32_t>(eb);
    } else {
        b.ebFill = 0;
        overflow(ctx, b.ebUnderflows, 1148, pid, programIndex);
    }
}

void stepSystem(AnalysisContext& ctx) {
    SystemBufferState& s = ctx.timing.systemBuffer;
    const double mbps = ctx.streamBitrate.current;
    if (s.rbsys <= 0)
        s.rbsys = mbps * 0.002 <= 0.08 ? kRbsysLowRate
                                       : static_cast<int32_t>(truncSaturated(mbps * 2000.0));
    const double ds = ctx.pat.interval.last;
    const int64_t len = ctx.packetLength;

    int64_t old = s.tbFill == kTransportBufferSize ? kTbRestartFill : s.tbFill;
    const int64_t tb = old == 0 ? len
                                : old + len * int64_t{s.psiPackets} -
                                      truncSaturated(ds * kTbsysLeakBytesPerSecond);
    old = s.bFill == kSystemBufferSize ? kBsysRestartFill : s.bFill;
    const int64_t bs =
        old == 0 ? int64_t{s.psiBytes} : old + s.psiBytes - truncSaturated(s.rbsys * ds * 0.125);

    if (tb > kTransportBufferSize) {
        s.tbFill = kTransportBufferSize;
        overflow(ctx, s.tbOverflows, 1142, 0, -1);
    } else {
        s.tbFill = clampedFill(tb);
    }
    if (bs > kSystemBufferSize) {
        s.bFill = kSystemBufferSize;
        overflow(ctx, s.bOverflows, 1150, 0, -1);
    } else {
        s.bFill = clampedFill(bs);
    }
}

}  // namespace

void UpdateBufferModel(AnalysisContext& ctx, int kind, int programIndex, int component) {
    const bool programOk = programIndex >= 0 && programIndex < ctx.programCount();
    switch (kind) {
        case kBufferSystem:
            stepSystem(ctx);
            break;
        case kBufferVideo:
            if (programOk) stepVideo(ctx, programIndex);
            break;
        case kBufferAudio:
            if (programOk && component >= 0 && component < kMaxAudioComponents)
                stepAudio(ctx, programIndex, component);
            break;
        default:
            break;
    }
}

void countPsiPacket(AnalysisContext& ctx) {
    ++ctx.timing.systemBuffer.psiPackets;
}

void addPsiSectionBytes(AnalysisContext& ctx, uint32_t sectionBytes) {
    ctx.timing.systemBuffer.psiBytes += sectionBytes;
}

void onPatRepeated(AnalysisContext& ctx, uint32_t patSectionBytes) {
    UpdateBufferModel(ctx, kBufferSystem, -1, 0);
    ctx.timing.systemBuffer.psiPackets = 0;
    ctx.timing.systemBuffer.psiBytes = patSectionBytes;
}

}  // namespace orv
