// The timing records of a run: per program the PES, elementary stream and buffer records of its
// video and audio components, and per run the PCR tracks and the system buffers.
#pragma once

#include <array>
#include <vector>

#include "engine/buffer_model.h"
#include "engine/es_header_scan.h"
#include "engine/limits.h"
#include "engine/pcr_track.h"
#include "engine/pes_timing.h"

namespace orv {

struct VideoTiming {
    PesTiming pes;
    VideoEsFields es;
    VideoBufferState buffer;
};

struct AudioTiming {
    PesTiming pes;
    AudioEsFields es;
    AudioBufferState buffer;
};

// Inside each ProgramEntry.
struct ProgramTiming {
    VideoTiming video;
    std::array<AudioTiming, kMaxAudioComponents> audio{};
};

// Inside the AnalysisContext.
struct RunTiming {
    // One per program, same index as the ProgramEntry; allocated once per run.
    std::vector<PcrTrack> pcrTracks;
    SystemBufferState systemBuffer;
};

}  // namespace orv
