// The decoder buffer page without its window: the overflow, underflow and not-emptied counts of
// the buffer model summed over all programs, and the fill bars of one chosen program's video
// buffers, one of its audio buffers and the system buffers.
//
// Operations that take the AnalysisContext only read it; the caller holds ctx.mutex.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/analysis_context.h"

namespace orv {

// A progress bar: its range 0 .. range and its position.
struct FillBar {
    int32_t range = 1000;
    int32_t position = 1;
    bool operator==(const FillBar&) const = default;
};

struct BufferCounts {
    // Video: sums over every program with a video component.
    uint64_t videoTbOverflows = 0, videoMbOverflows = 0, videoMbUnderflows = 0,
             videoEbOverflows = 0, videoEbUnderflows = 0;
    // Audio: sums over every audio component of every program.
    uint64_t audioTbOverflows = 0, audioEbOverflows = 0, audioEbUnderflows = 0;
    uint64_t systemTbOverflows = 0, systemBOverflows = 0;
    // The model never finds a buffer that was not emptied; the rows show these zeros.
    uint64_t videoTbNotEmptied = 0, videoMbNotEmptied = 0, audioNotEmptied = 0,
             systemTbNotEmptied = 0;
};

BufferCounts bufferCounts(const AnalysisContext& ctx);

// The six rows of the summary list, six cells each: "序号", "类型", "传送缓冲器", "主缓冲器",
// "复用缓冲器", "ES缓冲器".
using BufferSummaryRow = std::array<std::string, 6>;
std::array<BufferSummaryRow, 6> bufferSummary(const BufferCounts& counts);

// The bars of one program: video TB, MB, EB; audio TB, B (of one audio component).
struct ProgramBars {
    FillBar videoTb, videoMb, videoEb, audioTb, audioB;
    bool videoScrambled = false;
};
ProgramBars programBars(const AnalysisContext& ctx, int programIndex, int audioIndex);

inline constexpr int kBufferRefreshMs = 600;

class BufferPage {
  public:
    // Fills the selectors when empty, then the scrambling text, the bars and the summary.
    // Returns the delay in ms after which it wants to run again.
    int refresh(const AnalysisContext& ctx);
    // At the stop of a run: selectors and list empty, every bar at 0 .. 1000 position 1.
    void reset();
    // "节目："; the PID selectors refill for the new program at the next refresh.
    void selectProgram(int index);
    // "音频PID："
    void selectAudio(int index);

    const std::vector<std::string>& programChoices() const { return programs_; }
    const std::vector<std::string>& videoPids() const { return videoPids_; }
    const std::vector<std::string>& audioPids() const { return audioPids_; }
    int selectedProgram() const { return program_; }
    int selectedAudio() const { return audio_; }
    const std::string& scramblingText() const { return scrambling_; }
    const ProgramBars& bars() const { return bars_; }
    const FillBar& systemTb() const { return systemTb_; }
    const FillBar& systemB() const { return systemB_; }
    const BufferCounts& counts() const { return counts_; }
    // Empty until the first refresh of a run.
    const std::vector<BufferSummaryRow>& summary() const { return summary_; }

  private:
    std::vector<std::string> programs_, videoPids_, audioPids_;
    int program_ = 0;
    int audio_ = 0;
    std::string scrambling_;
    ProgramBars bars_;
    FillBar systemTb_, systemB_;
    BufferCounts counts_;
    std::vector<BufferSummaryRow> summary_;
};

// The system bars: TBsys of 512 bytes, Bsys of 1536, each position within 1 .. range - 1.
FillBar systemTbBar(const SystemBufferState& s);
FillBar systemBBar(const SystemBufferState& s);

}  // namespace orv
