// The decoder buffer model: a simplified, event-driven transport stream system target decoder
// that reports overflow of TBn, MBn, EBn, TBsys and Bsys and underflow of EBn. It is stepped at
// each PTS-bearing PES header of a video or audio component and at each repeated PAT.
#pragma once

#include <cstdint>

namespace orv {

struct AnalysisContext;

inline constexpr int32_t kTransportBufferSize = 512;
inline constexpr int32_t kAudioEsBufferSize = 3584;
inline constexpr int32_t kSystemBufferSize = 1536;

struct VideoBufferState {
    int32_t tbFill = 0;
    int32_t tbSize = 0;
    int64_t rxn = 0;  // TBn leak, bit/s
    int32_t mbFill = 0;
    int32_t mbSize = 0;
    int64_t rmax = 0;  // bit/s
    int32_t ebFill = 0;
    int32_t ebSize = 0;
    int64_t rn = 0;            // the sequence header's bit rate, bit/s (up to 30 bits x 400)
    double ebLeakCarry = 0.0;  // fraction of a byte the EBn leak owes the next step, in (-1, 1)
    uint32_t tbOverflows = 0;
    uint32_t mbOverflows = 0;
    uint32_t mbUnderflows = 0;
    uint32_t ebOverflows = 0;
    uint32_t ebUnderflows = 0;
    // leak_valid_flag of the component's STD descriptor; the PMT analysis sets it.
    bool leakValid = false;
};

struct AudioBufferState {
    int32_t tbFill = 0;
    int32_t ebFill = 0;
    int32_t rate = 0;          // bit/s from the audio header; 0 until known
    double ebLeakCarry = 0.0;  // fraction of a byte the EBn leak owes the next step, in (-1, 1)
    uint32_t tbOverflows = 0;
    uint32_t ebOverflows = 0;
    uint32_t ebUnderflows = 0;
};

struct SystemBufferState {
    int32_t tbFill = 0;
    int32_t bFill = 0;
    int32_t rbsys = 0;        // Bsys leak, bit/s; 0 = not yet fixed
    uint32_t psiPackets = 0;  // PAT, CAT and PMT packets since the last PAT
    uint32_t psiBytes = 0;    // section bytes of the last PAT and every CAT/PMT section since
    uint32_t tbOverflows = 0;
    uint32_t bOverflows = 0;
};

enum BufferModelKind : int { kBufferSystem = 0, kBufferVideo = 1, kBufferAudio = 2 };

// One step of the model. kind 0: the system buffers (programIndex, component unused); 1: the
// video of programIndex; 2: audio component `component` of programIndex. Other kinds and indexes
// out of range do nothing.
void UpdateBufferModel(AnalysisContext& ctx, int kind, int programIndex, int component);

// Inputs of the system step, called from the PSI path:
// - the block driver, for every packet of PID 0x0000, PID 0x0001 and the PMT PIDs;
void countPsiPacket(AnalysisContext& ctx);
// - the CAT analysis and the later-PMT analysis, with each section's 3 + section_length, in the
//   PAT period where the section started;
void addPsiSectionBytes(AnalysisContext& ctx, uint32_t sectionBytes);
// - the later-PAT analysis, for each unchanged PAT after its interval was measured (the step
//   uses ctx.pat.interval.last as the elapsed time): steps the system buffers, then restarts the
//   counts from this PAT.
void onPatRepeated(AnalysisContext& ctx, uint32_t patSectionBytes);

// The bounds of a profile_and_level_indication (the whole byte: an escaped value names a profile
// of its own); 0, 0 for a value whose bounds are not known, and such a video is not modelled.
struct ProfileLevelLimits {
    int64_t ebBits = 0;  // the largest VBV buffer, bits
    int64_t rmax = 0;    // the largest bit rate, bit/s
};
ProfileLevelLimits profileLevelLimits(uint8_t profileAndLevel);

// Audio rate in bit/s of bitrate_index 1..14 (whatever the layer); 0 otherwise.
int32_t audioBitrateOfIndex(unsigned bitrateIndex);

}  // namespace orv
