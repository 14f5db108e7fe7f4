// PCR analysis: per program, the PCR interval and jitter of every PCR on its PCR PID, the events
// "PCR间隔错误", "PCR非连续标志错误" and "PCR抖动错误", and the rings, extremes and histograms of
// its PcrTrack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orv {

struct AnalysisContext;

// Creates the PcrTrack records, one per program with its PCR PID, and clears the system buffer
// model: called once per run at the end of the initialisation phase.
void createPcrTracks(AnalysisContext& ctx);

// Clears every track's PCR values, positions and ring index (after the offline bitrate
// measurement, before the main pass).
void clearPcrRings(AnalysisContext& ctx);

// Releases the tracks (teardown of the run).
void releasePcrTracks(AnalysisContext& ctx);

// Called by the block driver for every packet, in the program component step after the video
// PIDs and before the audio PIDs (the PCR position of the per-packet sequence). blockOffset is
// the packet's byte offset in the block; cardTimes the block's card time values (online only,
// one per 40-packet group; empty offline).
void AnalysePcrPacket(AnalysisContext& ctx, const uint8_t* packet, unsigned pid,
                      std::size_t blockOffset, std::span<const uint32_t> cardTimes);

// The same, for a PID known to be the PCR PID of program `onlyProgram` alone (the block driver's
// PID roles): that program is looked at first, and the full search is kept for when it does not
// match (a negative onlyProgram, or a table that no longer names this PID there).
void AnalysePcrPacket(AnalysisContext& ctx, const uint8_t* packet, unsigned pid,
                      std::size_t blockOffset, std::span<const uint32_t> cardTimes,
                      int onlyProgram);

// The 27 MHz PCR of a packet, or -1 when it carries none (adaptation field of at least 7 bytes
// with PCR_flag).
int64_t packetPcr(const uint8_t* packet);

// later - earlier in 27 MHz ticks, taken modulo the PCR range into (-range/2, range/2]: a wrap of
// the 33-bit base between the two gives the small forward step, a PCR that went back a negative
// value.
int64_t pcrDifference(int64_t later, int64_t earlier);

// Histogram bins (exposed for the pages and the tests).
int pcrIntervalBin(double intervalMs);  // -1 for an interval <= 0
int pcrJitterBin(int32_t jitterNs);
// The bin bounds behind them: the upper bound (ms) of every interval bin but the last, and the
// lower bound (ns) of every jitter bin but the first.
std::span<const double> pcrIntervalBinUpperMs();
std::span<const int32_t> pcrJitterBinLowerNs();

}  // namespace orv
