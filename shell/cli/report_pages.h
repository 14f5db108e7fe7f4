// The page models' data in the analysis report: the basic information page with the multiplex
// structure, every program as the program page shows it (each audio stream too), and the decoder
// buffer page's counts and fills.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

#include "presentation/basic_info_page.h"
#include "presentation/buffer_page.h"
#include "presentation/program_info_page.h"

namespace orv::cli {

struct BufferFill {
    int32_t fill = 0;
    FillBar bar;
};

struct ProgramBufferLine {
    unsigned programNumber = 0;
    bool hasVideo = false;
    unsigned videoPid = 0;
    bool videoScrambled = false;
    BufferFill videoTb, videoMb, videoEb;
    struct Audio {
        unsigned pid = 0;
        BufferFill tb, b;
    };
    std::vector<Audio> audio;
};

struct PagesReport {
    BasicInfo basicInfo;
    // Per program: one view per audio stream (the first when it has none).
    std::vector<std::vector<ProgramView>> programs;
    BufferCounts bufferCounts;
    std::vector<ProgramBufferLine> buffers;
    BufferFill systemTb, systemB;
};

// The caller holds ctx.mutex or is the only thread using the context.
PagesReport buildPagesReport(const AnalysisContext& ctx);

nlohmann::json basicInfoJson(const BasicInfo& info);
nlohmann::json multiplexJson(const std::vector<StructureRow>& rows);
nlohmann::json programInfoJson(const std::vector<std::vector<ProgramView>>& programs);
nlohmann::json buffersJson(const PagesReport& pages);

}  // namespace orv::cli
