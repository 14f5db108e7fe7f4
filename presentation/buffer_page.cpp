#include "presentation/buffer_page.h"

#include <algorithm>

#include "engine/buffer_model.h"
#include "presentation/page_texts.h"

namespace orv {
namespace {

// A bar of range 0 .. size: a fill below 1 shows 1, a fill at or above the size shows size - 1,
// so the bar never runs past its range. A buffer of no known size shows the empty bar.
FillBar bar(int32_t fill, int32_t size) {
    if (size <= 1) return {};
    FillBar b;
    b.range = size;
    b.position = std::clamp(fill, int32_t{1}, size - 1);
    return b;
}

// The video bars show the empty bar, not an empty range, while the fill is below 1.
FillBar videoBar(int32_t fill, int32_t size) {
    if (fill < 1) return {};
    return bar(fill, size);
}

}  // namespace

BufferCounts bufferCounts(const AnalysisContext& ctx) {
    BufferCounts c;
    for (const ProgramEntry& p : ctx.programs) {
        if (p.video.present) {
            const VideoBufferState& v = p.timing.video.buffer;
            c.videoTbOverflows += v.tbOverflows;
            c.videoMbOverflows += v.mbOverflows;
            c.videoMbUnderflows += v.mbUnderflows;
            c.videoEbOverflows += v.ebOverflows;
            c.videoEbUnderflows += v.ebUnderflows;
        }
        for (int a = 0; a < p.audioCount && a < kMaxAudioComponents; ++a) {
            const AudioBufferState& b = p.timing.audio[static_cast<std::size_t>(a)].buffer;
            c.audioTbOverflows += b.tbOverflows;
            c.audioEbOverflows += b.ebOverflows;
            c.audioEbUnderflows += b.ebUnderflows;
        }
    }
    c.systemTbOverflows = ctx.timing.systemBuffer.tbOverflows;
    c.systemBOverflows = ctx.timing.systemBuffer.bOverflows;
    return c;
}

std::array<BufferSummaryRow, 6> bufferSummary(const BufferCounts& c) {
    auto over = [](uint64_t n) {
        return printfText("上溢错误:%llu", static_cast<unsigned long long>(n));
    };
    auto overUnder = [](uint64_t o, uint64_t u) {
        return printfText("上溢错误:%llu  下溢错误:%llu", static_cast<unsigned long long>(o),
                          static_cast<unsigned long long>(u));
    };
    auto notEmptied = [](uint64_t n) {
        return printfText("清空错误:%llu", static_cast<unsigned long long>(n));
    };
    const std::string none = " - ";
    return {{
        {" 1 ", "视频缓冲器", over(c.videoTbOverflows), none,
         overUnder(c.videoMbOverflows, c.videoMbUnderflows),
         overUnder(c.videoEbOverflows, c.videoEbUnderflows)},
        {" ", " ", notEmptied(c.videoTbNotEmptied), none, notEmptied(c.videoMbNotEmptied), none},
        {" 2 ", "音频缓冲器", over(c.audioTbOverflows),
         overUnder(c.audioEbOverflows, c.audioEbUnderflows), none, none},
        {" ", " ", notEmptied(c.audioNotEmptied), none, none, none},
        {" 3 ", "系统缓冲器", over(c.systemTbOverflows), over(c.systemBOverflows), none, none},
        {" ", "  ", notEmptied(c.systemTbNotEmptied), none, none, none},
    }};
}

ProgramBars programBars(const AnalysisContext& ctx, int programIndex, int audioIndex) {
    ProgramBars b;
    if (programIndex < 0 || programIndex >= ctx.programCount()) return b;
    const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(programIndex)];
    b.videoScrambled = p.video.present && p.video.scrambled;
    if (p.video.present && !p.video.scrambled) {
        const VideoBufferState& v = p.timing.video.buffer;
        b.videoTb = videoBar(v.tbFill, v.tbSize);
        b.videoMb = videoBar(v.mbFill, v.mbSize);
        b.videoEb = videoBar(v.ebFill, v.ebSize);
    }
    if (p.audioCount > 0) {
        const int a = audioIndex >= 0 && audioIndex < p.audioCount ? audioIndex : 0;
        const AudioBufferState& s = p.timing.audio[static_cast<std::size_t>(a)].buffer;
        b.audioTb = bar(s.tbFill, kTransportBufferSize);
        b.audioB = bar(s.ebFill, kAudioEsBufferSize);
    }
    return b;
}

FillBar systemTbBar(const SystemBufferState& s) {
    return bar(s.tbFill, kTransportBufferSize);
}

FillBar systemBBar(const SystemBufferState& s) {
    return bar(s.bFill, kSystemBufferSize);
}

int BufferPage::refresh(const AnalysisContext& ctx) {
    if (programs_.empty()) {
        for (const ProgramEntry& p : ctx.programs)
            programs_.push_back(printfText("节目号:0x%04x PMT_PID:0x%04x",
                                           unsigned{p.programNumber}, unsigned{p.pmtPid}));
        program_ = 0;
    }
    const bool chosen = program_ >= 0 && program_ < ctx.programCount();
    const ProgramEntry* p = chosen ? &ctx.programs[static_cast<std::size_t>(program_)] : nullptr;
    scrambling_ =
        p != nullptr && p->video.present && p->video.scrambled ? "业务被加扰" : "业务未加扰";
    if (p != nullptr && videoPids_.empty() && p->video.present)
        videoPids_.push_back(printfText("0x%04x", unsigned{p->video.pid}));
    if (p != nullptr && audioPids_.empty()) {
        for (int a = 0; a < p->audioCount && a < kMaxAudioComponents; ++a)
            audioPids_.push_back(
                printfText("0x%04x", unsigned{p->audio[static_cast<std::size_t>(a)].pid}));
        audio_ = 0;
    }
    bars_ = programBars(ctx, program_, audio_);
    systemTb_ = systemTbBar(ctx.timing.systemBuffer);
    systemB_ = systemBBar(ctx.timing.systemBuffer);
    counts_ = bufferCounts(ctx);
    const auto rows = bufferSummary(counts_);
    summary_.assign(rows.begin(), rows.end());
    return kBufferRefreshMs;
}

void BufferPage::reset() {
    programs_.clear();
    videoPids_.clear();
    audioPids_.clear();
    program_ = 0;
    audio_ = 0;
    scrambling_.clear();
    bars_ = {};
    systemTb_ = {};
    systemB_ = {};
    counts_ = {};
    summary_.clear();
}

void BufferPage::selectProgram(int index) {
    if (index < 0 || index >= static_cast<int>(programs_.size()) || index == program_) return;
    program_ = index;
    videoPids_.clear();
    audioPids_.clear();
    audio_ = 0;
}

void BufferPage::selectAudio(int index) {
    if (index < 0 || index >= static_cast<int>(audioPids_.size())) return;
    audio_ = index;
}

}  // namespace orv
