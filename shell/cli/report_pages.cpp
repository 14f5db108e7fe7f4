#include "shell/cli/report_pages.h"

#include <algorithm>

#include "engine/buffer_model.h"

namespace orv::cli {
namespace {

BufferFill fill(int32_t value, FillBar bar) {
    return {value, bar};
}

}  // namespace

PagesReport buildPagesReport(const AnalysisContext& ctx) {
    PagesReport r;
    BasicInfoPage basic;
    basic.refresh(ctx);
    r.basicInfo = basic.info();
    for (int i = 0; i < ctx.programCount(); ++i) {
        const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(i)];
        std::vector<ProgramView> views;
        const int audios = std::max(1, std::min(p.audioCount, kMaxAudioComponents));
        for (int a = 0; a < audios; ++a)
            views.push_back(programView(ctx, i, a));
        r.programs.push_back(std::move(views));

        ProgramBufferLine line;
        line.programNumber = p.programNumber;
        line.hasVideo = p.video.present;
        line.videoPid = p.video.pid;
        const ProgramBars first = programBars(ctx, i, 0);
        line.videoScrambled = first.videoScrambled;
        const VideoBufferState& v = p.timing.video.buffer;
        line.videoTb = fill(v.tbFill, first.videoTb);
        line.videoMb = fill(v.mbFill, first.videoMb);
        line.videoEb = fill(v.ebFill, first.videoEb);
        for (int a = 0; a < p.audioCount && a < kMaxAudioComponents; ++a) {
            const ProgramBars bars = programBars(ctx, i, a);
            const AudioBufferState& s = p.timing.audio[static_cast<std::size_t>(a)].buffer;
            line.audio.push_back({p.audio[static_cast<std::size_t>(a)].pid,
                                  fill(s.tbFill, bars.audioTb), fill(s.ebFill, bars.audioB)});
        }
        r.buffers.push_back(std::move(line));
    }
    r.bufferCounts = bufferCounts(ctx);
    r.systemTb = fill(ctx.timing.systemBuffer.tbFill, systemTbBar(ctx.timing.systemBuffer));
    r.systemB = fill(ctx.timing.systemBuffer.bFill, systemBBar(ctx.timing.systemBuffer));
    return r;
}

}  // namespace orv::cli
