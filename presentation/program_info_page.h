// The program and elementary stream page without its window: for the program chosen in its
// selector, its identity, service data, scrambling and running state, the component list, and
// the decoded headers of its video and of one chosen audio stream. Also the multiplex text that
// lists every program.
//
// Operations that take the AnalysisContext only read it; the caller holds ctx.mutex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "presentation/es_header_texts.h"

namespace orv {

struct ComponentRow {
    std::string index, type, pid, rate, ccErrors;  // the five cells
    unsigned streamType = 0;
    unsigned pidValue = 0;
    double mbps = 0.0;
    int ccErrorCount = 0;
};

// Everything the page shows for one program.
struct ProgramView {
    bool valid = false;  // the index named a program
    unsigned programNumber = 0, pmtPid = 0, pcrPid = 0;
    int componentCount = 0;
    unsigned serviceType = 0, freeCaMode = 0, runningStatus = 0;
    bool serviceListed = false;  // the SDT lists the program's service
    bool scrambled = false;      // the last packet of its video or chosen audio was scrambled

    std::string programNumberText;   // "节目号："
    std::string componentCountText;  // "业务组件数："
    std::string pcrPidText;          // "PCR_PID："
    std::string serviceTypeText;     // "业务类型："
    std::string scrambledText;       // "加扰："
    std::string runningText;         // "运行状态："
    std::string provider;            // "业务提供者名称："
    std::string serviceName;         // "业务名称："
    std::vector<ComponentRow> components;

    bool hasVideo = false;
    unsigned videoPid = 0;
    VideoHeaderTexts video;
    std::string pictureTally;  // "%d : %d :%d", I : P : B

    std::vector<unsigned> audioPids;
    int audioIndex = 0;  // the audio stream the audio fields describe
    AudioHeaderTexts audio;
};

ProgramView programView(const AnalysisContext& ctx, int programIndex, int audioIndex = 0);

// "共复用了%d路节目", then per program its identity, PCR_PID and components.
std::vector<std::string> multiplexText(const AnalysisContext& ctx);

const char* serviceTypeText(unsigned serviceType);
const char* runningStatusText(unsigned runningStatus);

inline constexpr int kProgramInfoRefreshMs = 1000;

class ProgramInfoPage {
  public:
    // Refreshes the selector, the program fields and the headers of the chosen streams; returns
    // the delay in ms after which it wants to run again.
    int refresh(const AnalysisContext& ctx);
    // "选择节目:"; an index out of range is ignored. The audio choice returns to the first.
    void selectProgram(const AnalysisContext& ctx, int index);
    // The audio stream selector of the chosen program.
    void selectAudio(const AnalysisContext& ctx, int audioIndex);
    // At the stop of a run: the selector empties, the fields keep their texts.
    void reset();

    const std::vector<std::string>& programChoices() const { return choices_; }
    int selectedProgram() const { return program_; }
    const ProgramView& view() const { return view_; }

  private:
    std::vector<std::string> choices_;
    int program_ = 0;
    int audio_ = 0;
    ProgramView view_;
};

}  // namespace orv
