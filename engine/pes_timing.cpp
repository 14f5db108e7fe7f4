#include "engine/pes_timing.h"

#include <cmath>

#include "engine/analysis_context.h"
#include "engine/buffer_model.h"
#include "engine/packet_checks.h"
#include "engine/packet_header.h"
#include "engine/pes_packet.h"

namespace orv {
namespace {

constexpr unsigned kPacket = static_cast<unsigned>(kTsPacketSize);
constexpr double kPtsRepetitionLimitMs = 700.0;
constexpr double kDataDelayLimitMs = 1000.0;
// Fixed part of a PES header up to and including PES_header_data_length.
constexpr unsigned kPesFixedHeader = 9;
constexpr uint32_t kPtsOnly = 2;
constexpr uint32_t kPtsAndDts = 3;

int64_t readTimestamp(const uint8_t* f) {
    return (int64_t{f[0]} >> 1 & 7) << 30 | int64_t{f[1]} << 22 | (int64_t{f[2]} >> 1) << 15 |
           int64_t{f[3]} << 7 | (f[4] >> 1);
}

// The difference a - b of two stamps that run modulo `modulus`, taken in (-modulus/2, modulus/2]:
// a wrap of either stamp between them does not turn a step of milliseconds into one of hours.
int64_t wrappedDifference(int64_t a, int64_t b, int64_t modulus) {
    int64_t d = (a - b) % modulus;
    if (d > modulus / 2) d -= modulus;
    if (d <= -modulus / 2) d += modulus;
    return d;
}

bool startsPesOfClass(const uint8_t* p, unsigned off, PesClass cls) {
    if (!payloadUnitStart(p) || off + 4 > kPacket) return false;
    if (p[off] != 0 || p[off + 1] != 0 || p[off + 2] != 1) return false;
    const uint8_t streamId = p[off + 3];
    return cls == PesClass::Video ? (streamId & 0xF0) == 0xE0 : (streamId & 0xE0) == 0xC0;
}

// Reads what of the PES header lies in this packet; fields beyond the packet stay 0.
void readPesHeader(PesHeaderFields& h, const uint8_t* p, unsigned off) {
    h = {};
    h.streamId = p[off + 3];
    if (off + kPesFixedHeader > kPacket) return;
    h.pesPacketLength = uint32_t{p[off + 4]} << 8 | p[off + 5];
    h.scramblingControl = (p[off + 6] >> 4) & 3;
    h.priority = (p[off + 6] >> 3) & 1;
    h.dataAlignment = (p[off + 6] >> 2) & 1;
    h.ptsDtsFlags = p[off + 7] >> 6;
    h.headerDataLength = p[off + 8];
}

void offerToCapture(AnalysisContext& ctx, PesClass cls, const uint8_t* p, unsigned off) {
    const int trigger = cls == PesClass::Video ? kCaptureVideoPes : kCaptureAudioPes;
    if (ctx.captureSink == nullptr || ctx.capture.pid != packetPid(p) ||
        !ctx.capture.wants(trigger))
        return;
    ctx.captureSink->copyBytes(trigger, p + off, kPacket - off);
    ++ctx.capture.made;
}

// The program's system time at this packet, from its latest PCR; false before its first PCR.
bool estimatePcr(const AnalysisContext& ctx, int programIndex, int64_t& estimate) {
    const auto& tracks = ctx.timing.pcrTracks;
    if (programIndex >= static_cast<int>(tracks.size())) return false;
    const PcrTrack& t = tracks[static_cast<std::size_t>(programIndex)];
    const int slot = t.latestSlot();
    const double mbps = ctx.streamBitrate.current;
    if (t.pcr[slot] <= 0 || !(mbps > 0.0) || ctx.packetCounter < t.position[slot]) return false;
    const uint64_t bits =
        (ctx.packetCounter - t.position[slot]) * static_cast<uint64_t>(ctx.packetLength) * 27u * 8u;
    estimate = t.pcr[slot] + static_cast<int64_t>(std::trunc(static_cast<double>(bits) / mbps));
    return true;
}

struct Component {
    PesTiming& pes;
    uint16_t pid;
};

// Step 4 of a PTS-bearing header: repetition check, distances, delays, data delay, buffer model.
// False when the stamps do not lie inside this packet (nothing measured).
bool timeStamps(AnalysisContext& ctx, int programIndex, PesClass cls, int component, Component c,
                const uint8_t* p, unsigned off) {
    PesTiming& t = c.pes;
    const bool video = cls == PesClass::Video;
    const uint32_t flags = t.header.ptsDtsFlags;
    const unsigned stampsEnd = off + kPesFixedHeader + (flags == kPtsAndDts ? 10u : 5u);
    if (stampsEnd > kPacket) return false;  // the stamps are not inside this packet

    if (t.hasLast && ctx.streamBitrate.current > 0.0 && ctx.packetCounter >= t.lastPtsPosition) {
        const uint64_t bits =
            (ctx.packetCounter - t.lastPtsPosition) * static_cast<uint64_t>(ctx.packetLength) * 8u;
        const double ms = static_cast<double>(bits) / (ctx.streamBitrate.current * 1000.0);
        if (ms > kPtsRepetitionLimitMs && mayLog(ctx, Tr290ErrorKind::Pts))
            logEvent(ctx, video ? 1100 : 1101, c.pid, programIndex, 0, ms);
    }

    int64_t pcrEstimate = 0;
    const bool havePcr = estimatePcr(ctx, programIndex, pcrEstimate);
    if (havePcr) t.pcrEstimate = pcrEstimate;

    const int64_t pts = readTimestamp(p + off + kPesFixedHeader);
    const int64_t dts = flags == kPtsAndDts ? readTimestamp(p + off + kPesFixedHeader + 5) : pts;

    if (t.ringIndex < 0 || t.ringIndex >= kPesRingSize) t.ringIndex = 0;
    if (t.hasLast) {
        const int slot = t.ringIndex;
        t.ptsDistanceMs[slot] = wrappedDifference(pts, t.lastPts, kPtsModulus) / 90.0;
        t.dtsDistanceMs[slot] = wrappedDifference(dts, t.lastDts, kPtsModulus) / 90.0;
        // Before the program's first PCR there is no time base: the delays stay 0 and unchecked.
        const double ptsDelay =
            havePcr ? wrappedDifference(pts * 300, pcrEstimate, kPcrModulus) / 27'000.0 : 0.0;
        const double dtsDelay =
            havePcr ? wrappedDifference(dts * 300, pcrEstimate, kPcrModulus) / 27'000.0 : 0.0;
        t.ptsPcrMs[slot] = ptsDelay;
        t.dtsPcrMs[slot] = dtsDelay;
        if (havePcr && ctx.measurementObserver != nullptr)
            ctx.measurementObserver->pesMeasured(programIndex, video ? -1 : component,
                                                 ctx.packetCounter, ptsDelay, dtsDelay);
        ++t.measured;
        const bool delayChecked = havePcr && (video || flags == kPtsAndDts);
        if (delayChecked && dtsDelay > kDataDelayLimitMs &&
            mayLog(ctx, Tr290ErrorKind::DataDelay, sub::kDelayTotal))
            logEvent(ctx, video ? 1220 : 1221, c.pid, programIndex);
    }
    t.ringIndex += 1;
    t.hasData = 1;
    t.lastPts = pts;
    t.lastDts = dts;

    if (t.hasLast)
        UpdateBufferModel(ctx, video ? kBufferVideo : kBufferAudio, programIndex,
                          video ? 0 : component);
    t.hasLast = true;
    t.lastPtsPosition = ctx.packetCounter;
    return true;
}

// A packet that starts a PES packet of the component: its header, time stamps and the first
// elementary stream bytes. Kept out of line, so the many packets that continue a PES packet do
// not pay for its registers.
[[gnu::noinline]] void pesHeaderPacket(AnalysisContext& ctx, int programIndex, PesClass cls,
                                       int component, Component c, const uint8_t* p, unsigned off) {
    ProgramEntry& prog = ctx.programs[static_cast<std::size_t>(programIndex)];
    const bool video = cls == PesClass::Video;
    PesTiming& t = c.pes;
    const unsigned payload = kPacket - off;
    offerToCapture(ctx, cls, p, off);
    readPesHeader(t.header, p, off);
    const uint32_t flags = t.header.ptsDtsFlags;
    const bool measured = (flags == kPtsOnly || flags == kPtsAndDts) &&
                          timeStamps(ctx, programIndex, cls, component, c, p, off);
    // The counts restart at each header with a PTS, where the buffer model steps; a PES packet
    // without one adds to them, so its bytes are not lost to the next step, whose time spans it.
    const uint32_t headerBytes = kPesFixedHeader + t.header.headerDataLength;
    if (measured) {
        t.packetsSincePesStart = 1;
        t.bytesSincePesStart = payload;
        t.headerBytesSincePesStart = headerBytes;
    } else {
        t.packetsSincePesStart += 1;
        t.bytesSincePesStart += payload;
        t.headerBytesSincePesStart += headerBytes;
    }

    const unsigned esStart = off + kPesFixedHeader + t.header.headerDataLength;
    if (video) {
        noteVideoPesHeader(prog.timing.video.es);
        if (esStart < kPacket) scanVideoPayload(prog.timing.video.es, p, esStart);
    } else {
        AudioEsFields& es = prog.timing.audio[component].es;
        noteAudioPesHeader(es);
        if (esStart < kPacket) scanAudioPayload(es, p, esStart, true);
    }
}

}  // namespace

void AnalysePesPacket(AnalysisContext& ctx, int programIndex, PesClass cls, int component,
                      const uint8_t* p) {
    if (programIndex < 0 || programIndex >= ctx.programCount()) return;
    ProgramEntry& prog = ctx.programs[static_cast<std::size_t>(programIndex)];
    const bool video = cls == PesClass::Video;
    if (!video && (component < 0 || component >= kMaxAudioComponents)) return;
    Component c = video ? Component{prog.timing.video.pes, prog.video.pid}
                        : Component{prog.timing.audio[component].pes, prog.audio[component].pid};
    PesTiming& t = c.pes;

    t.scrambled = scramblingControl(p) != 0;
    if (t.scrambled) return;

    const unsigned off = payloadOffset(p);
    // The packet that starts a PES header belongs to the new PES packet: it is counted there,
    // after the buffer model has taken what arrived before it, so no byte reaches the model twice.
    if (startsPesOfClass(p, off, cls)) {
        pesHeaderPacket(ctx, programIndex, cls, component, c, p, off);
        return;
    }
    addPesPayload(prog, t, cls, component, p, off);
}

}  // namespace orv
