#include "engine/pcr_analysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/analysis_context.h"
#include "engine/packet_checks.h"
#include "engine/packet_header.h"
#include "engine/pcr_pid_packet.h"

namespace orv {
namespace {

constexpr double kIntervalLimitMs = 40.1;
constexpr int32_t kJitterLimitNs = 500;
constexpr int kOffsetSamples = 100;
constexpr std::size_t kCardTimeGroupPackets = 40;

// Upper interval bounds (ms) of the first 14 bins; the last bin takes everything above 100.
constexpr std::array<double, kPcrIntervalBins - 1> kIntervalUpper = {5,  10, 15, 20, 25, 30, 35,
                                                                     40, 50, 60, 70, 80, 90, 100};

// Lower jitter bounds (ns) of bins 1..22; bin 0 is everything below -1549.
constexpr std::array<int32_t, kPcrJitterBins - 1> kJitterLower = {
    -1549, -1349, -1149, -949, -749, -549, -449, -349, -249, -149, -49,
    51,    151,   251,   351,  451,  551,  751,  951,  1151, 1351, 1551};

// A double to a 32-bit jitter, truncated toward zero; saturated where it does not fit (a PCR
// gap of minutes) and 0 for a value that is not a number.
int32_t toJitter(double ns) {
    if (std::isnan(ns)) return 0;
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    constexpr double kMin = std::numeric_limits<int32_t>::min();
    if (ns >= kMax) return std::numeric_limits<int32_t>::max();
    if (ns <= kMin) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(ns);
}

int64_t magnitude(int32_t v) {
    return std::llabs(static_cast<long long>(v));
}

void offerToCapture(AnalysisContext& ctx, const uint8_t* packet, unsigned pid) {
    if (ctx.captureSink == nullptr || ctx.capture.pid != pid ||
        !ctx.capture.wants(kCapturePcrPacket))
        return;
    ctx.captureSink->copyBytes(kCapturePcrPacket, packet, kTsPacketSize);
    ++ctx.capture.made;
}

// Transport rate in Mbit/s over the span ending at this PCR. Offline it is the rate between the
// two PCRs, whatever its value; only a PCR that did not move forward cannot give one, and the
// stream bitrate times that span instead. Online the card's clock times it.
// The card's time stamp of the 40-packet group that holds the packet, online; 0 when there is
// none (offline, or a missing or zero stamp).
uint32_t cardTime(const AnalysisContext& ctx, std::size_t blockOffset,
                  std::span<const uint32_t> cardTimes) {
    if (ctx.analysisMode != AnalysisMode::Online) return 0;
    const std::size_t group =
        blockOffset / (static_cast<std::size_t>(ctx.packetLength) * kCardTimeGroupPackets);
    return group < cardTimes.size() ? cardTimes[group] : 0;
}

double transportRate(const AnalysisContext& ctx, uint64_t bits, int64_t deltaPcr, uint32_t card) {
    double rate = deltaPcr > 0 ? static_cast<double>(bits) * 27.0 / static_cast<double>(deltaPcr)
                               : ctx.streamBitrate.current;
    // The card stamps each 40-packet group with its duration; a missing or zero stamp keeps the
    // rate from the PCR spacing.
    if (card != 0) {
        const double t = static_cast<double>(card);
        rate = ctx.packetLength * 3200.0 / (t * (1.0 / 27'000'000.0)) * 1e-6;
    }
    return rate;
}

void fixOnlineOffset(PcrTrack& t, int previous) {
    if (previous != kOffsetSamples) return;
    int64_t sum = 0;
    for (int i = 0; i < kOffsetSamples; ++i) {
        sum += t.jitterNs[i];
        t.jitterNs[i] = 0;
    }
    t.jitterOffsetNs = static_cast<int32_t>(sum / kOffsetSamples);
    t.offsetReady = 1;
}

void updateJitterExtremes(PcrTrack& t, int32_t jitter) {
    if (t.largestJitterNs == 0) {
        t.largestJitterNs = t.smallestJitterNs = jitter;
        return;
    }
    if (magnitude(jitter) > magnitude(t.largestJitterNs)) t.largestJitterNs = jitter;
    if (magnitude(jitter) < magnitude(t.smallestJitterNs)) t.smallestJitterNs = jitter;
}

void measurePcr(AnalysisContext& ctx, PcrTrack& t, const uint8_t* packet, int64_t pcr,
                std::size_t blockOffset, std::span<const uint32_t> cardTimes) {
    if (t.ringIndex < 0 || t.ringIndex >= kPcrRingSize) t.ringIndex = 0;
    const int index = t.ringIndex;
    const int previous = index == 0 ? kPcrRingSize - 1 : index - 1;
    const bool online = ctx.analysisMode == AnalysisMode::Online;
    // A PCR of a new time base (announced in its own packet or an earlier one of the PID) is
    // not compared with the old one: it only starts the new baseline.
    const bool newTimeBase = t.newTimeBasePending != 0 || discontinuityIndicator(packet);
    t.newTimeBasePending = 0;
    const bool hasPrevious = t.pcr[previous] > 0 && !newTimeBase;

    int64_t deltaPcr = 0;
    uint64_t bits = 0;
    double rate = ctx.streamBitrate.current;
    bool timedByPcrs = false;
    if (hasPrevious) {
        deltaPcr = pcrDifference(pcr, t.pcr[previous]);
        const uint64_t span = ctx.packetCounter - t.position[previous];
        bits = span * static_cast<uint64_t>(ctx.packetLength) * 8u;
        const uint32_t card = cardTime(ctx, blockOffset, cardTimes);
        rate = transportRate(ctx, bits, deltaPcr, card);
        timedByPcrs = deltaPcr > 0 && card == 0;
        if (!t.offsetReady) {
            if (online) {
                fixOnlineOffset(t, previous);
            } else {
                t.jitterOffsetNs = 0;
                t.offsetReady = 1;
            }
        }
    }

    t.pcr[index] = pcr;
    t.position[index] = ctx.packetCounter;
    t.discontinuity[index] = newTimeBase ? 1u : 0u;

    if (!hasPrevious) {
        // Nothing is measured; the slot must not show what it held 300 PCRs ago.
        t.intervalMs[index] = 0.0;
        t.jitterNs[index] = 0;
    } else {
        // Timed by the PCR pair itself, the interval is their difference: taken through the rate
        // it would round, and an interval of exactly 100 ms would count as longer. Without a
        // usable rate the interval stays 0 rather than becoming infinite.
        const double interval = timedByPcrs  ? static_cast<double>(deltaPcr) / 27'000.0
                                : rate > 0.0 ? static_cast<double>(bits) / (rate * 1000.0)
                                             : 0.0;
        t.currentIntervalMs = interval;
        t.intervalMs[index] = interval;
        const double ticksNs = std::trunc(static_cast<double>(deltaPcr) * 1000.0 / 27.0);
        const int32_t jitter = toJitter(ticksNs - interval * 1'000'000.0 - t.jitterOffsetNs);
        t.currentJitterNs = jitter;
        t.jitterNs[index] = jitter;

        if (interval > kIntervalLimitMs && mayLog(ctx, Tr290ErrorKind::PcrInterval))
            logEvent(ctx, 1090, t.pcrPid, -1, 0, interval);
        if ((deltaPcr < 0 || deltaPcr > kPcrDiscontinuityTicks) &&
            mayLog(ctx, Tr290ErrorKind::PcrDiscontinuity))
            logEvent(ctx, 1091, t.pcrPid, -1, 0, static_cast<double>(deltaPcr) / 27'000.0);
        if (t.longestIntervalMs == 0.0 || interval > t.longestIntervalMs)
            t.longestIntervalMs = interval;
        if (t.shortestIntervalMs == 0.0 || interval < t.shortestIntervalMs)
            t.shortestIntervalMs = interval;
        const int ibin = pcrIntervalBin(interval);
        if (ibin >= 0) ++t.intervalHistogram[ibin];

        if (t.offsetReady) {
            if (magnitude(jitter) > kJitterLimitNs && mayLog(ctx, Tr290ErrorKind::PcrJitter))
                logEvent(ctx, 1092, t.pcrPid, -1, 0, static_cast<double>(jitter));
            updateJitterExtremes(t, jitter);
        }
        ++t.jitterHistogram[pcrJitterBin(jitter)];
        ++t.jitterSamples;
        if (ctx.measurementObserver != nullptr) {
            const std::ptrdiff_t track = &t - ctx.timing.pcrTracks.data();
            if (track >= 0 && track < static_cast<std::ptrdiff_t>(ctx.timing.pcrTracks.size()))
                ctx.measurementObserver->pcrMeasured(static_cast<int>(track), ctx.packetCounter,
                                                     interval, jitter);
        }
    }

    t.ringIndex = index + 1;
    t.hasData = 1;
}

}  // namespace

int64_t packetPcr(const uint8_t* p) {
    if (!hasAdaptationField(p) || adaptationFieldLength(p) < 7 || (p[5] & 0x10) == 0) return -1;
    const int64_t base = (int64_t{p[6]} << 25) | (int64_t{p[7]} << 17) | (int64_t{p[8]} << 9) |
                         (int64_t{p[9]} << 1) | (p[10] >> 7);
    const int64_t extension = (int64_t{p[10]} & 1) << 8 | p[11];
    return base * 300 + extension;
}

int64_t pcrDifference(int64_t later, int64_t earlier) {
    int64_t d = (later - earlier) % kPcrModulus;
    if (d < 0) d += kPcrModulus;
    return d > kPcrModulus / 2 ? d - kPcrModulus : d;
}

int pcrIntervalBin(double intervalMs) {
    if (!(intervalMs > 0.0)) return -1;
    for (int i = 0; i < kPcrIntervalBins - 1; ++i)
        if (intervalMs <= kIntervalUpper[i]) return i;
    return kPcrIntervalBins - 1;
}

int pcrJitterBin(int32_t jitterNs) {
    return static_cast<int>(std::upper_bound(kJitterLower.begin(), kJitterLower.end(), jitterNs) -
                            kJitterLower.begin());
}

std::span<const double> pcrIntervalBinUpperMs() {
    return kIntervalUpper;
}

std::span<const int32_t> pcrJitterBinLowerNs() {
    return kJitterLower;
}

void createPcrTracks(AnalysisContext& ctx) {
    ctx.timing = {};
    ctx.timing.pcrTracks.resize(ctx.programs.size());
    for (std::size_t i = 0; i < ctx.programs.size(); ++i)
        ctx.timing.pcrTracks[i].pcrPid = ctx.programs[i].pcrPid;
}

void clearPcrRings(AnalysisContext& ctx) {
    for (PcrTrack& t : ctx.timing.pcrTracks) {
        t.pcr.fill(0);
        t.position.fill(0);
        t.ringIndex = 0;
        t.newTimeBasePending = 0;
    }
}

void releasePcrTracks(AnalysisContext& ctx) {
    ctx.timing.pcrTracks.clear();
    ctx.timing.pcrTracks.shrink_to_fit();
}

namespace {

// A PCR, or a discontinuity_indicator, on the PID of program `first` and maybe later ones. Kept
// out of line, so the common packet does not pay for its registers.
[[gnu::noinline]] void pcrBearingPacket(AnalysisContext& ctx, const uint8_t* packet, unsigned pid,
                                        std::size_t first, std::size_t n, int64_t pcr,
                                        std::size_t blockOffset,
                                        std::span<const uint32_t> cardTimes) {
    bool counted = false;
    bool offered = false;
    for (std::size_t i = first; i < n; ++i) {
        const ProgramEntry& prog = ctx.programs[i];
        if (prog.pcrPid != pid || !measuresPcr(prog)) continue;
        PcrTrack& t = ctx.timing.pcrTracks[i];
        // A PMT found in the main pass may have brought the PCR PID after the track was made.
        t.pcrPid = static_cast<uint16_t>(pid);
        if (!counted) {
            counted = true;
            countPcrPidPacket(t, packet, pid);
        }
        if (pcr < 0) {
            // A new time base may be announced before the packet that carries its first PCR: it
            // concerns every program of the PID.
            t.newTimeBasePending = 1;
            continue;
        }
        if (!offered) {
            offered = true;
            offerToCapture(ctx, packet, pid);
        }
        measurePcr(ctx, t, packet, pcr, blockOffset, cardTimes);
    }
}

// The packet on the PID of program `first`, the first program measured there.
void pcrPidPacket(AnalysisContext& ctx, const uint8_t* packet, unsigned pid, std::size_t first,
                  std::size_t n, std::size_t blockOffset, std::span<const uint32_t> cardTimes) {
    // Most packets carry neither a PCR nor a discontinuity_indicator and end here, before the
    // other programs are looked at.
    const int64_t pcr = packetPcr(packet);
    if (pcr >= 0 || discontinuityIndicator(packet)) {
        pcrBearingPacket(ctx, packet, pid, first, n, pcr, blockOffset, cardTimes);
        return;
    }
    countPcrPidPacket(ctx.timing.pcrTracks[first], packet, pid);
}

}  // namespace

void AnalysePcrPacket(AnalysisContext& ctx, const uint8_t* packet, unsigned pid,
                      std::size_t blockOffset, std::span<const uint32_t> cardTimes) {
    AnalysePcrPacket(ctx, packet, pid, blockOffset, cardTimes, -1);
}

void AnalysePcrPacket(AnalysisContext& ctx, const uint8_t* packet, unsigned pid,
                      std::size_t blockOffset, std::span<const uint32_t> cardTimes,
                      int onlyProgram) {
    if (pid == 0) return;
    const std::size_t n = std::min(ctx.programs.size(), ctx.timing.pcrTracks.size());
    if (onlyProgram >= 0 && static_cast<std::size_t>(onlyProgram) < n) {
        const auto only = static_cast<std::size_t>(onlyProgram);
        const ProgramEntry& prog = ctx.programs[only];
        if (prog.pcrPid == pid) {
            // The one program of this PID: measured there, or nowhere.
            if (measuresPcr(prog))
                pcrPidPacket(ctx, packet, pid, only, only + 1, blockOffset, cardTimes);
            return;
        }
    }
    // The first program measured on this PID counts the packet.
    std::size_t first = 0;
    while (first < n && (ctx.programs[first].pcrPid != pid || !measuresPcr(ctx.programs[first])))
        ++first;
    if (first == n) return;
    pcrPidPacket(ctx, packet, pid, first, n, blockOffset, cardTimes);
}

}  // namespace orv
