#include "presentation/program_info_page.h"

#include "presentation/page_texts.h"

namespace orv {

const char* serviceTypeText(unsigned t) {
    switch (t) {
        case 1:
            return "数字电视节目";
        case 2:
            return "数字音频节目";
        case 4:
            return "NVOD reference service";
        case 5:
            return "NVOD time_shifted service";
        case 7:
            return "PAL制式编码信号";
        case 8:
            return "SECAM制式编码信号";
        case 9:
            return "D/D2-MAC";
        case 10:
            return "FM音频节目";
        case 11:
            return "NTSC制式编码信号";
        case 12:
            return "数据广播节目";
        default:
            return "用户定义节目";
    }
}

const char* runningStatusText(unsigned s) {
    switch (s) {
        case 1:
            return "没有运行";
        case 2:
            return "一段时间后运行";
        case 3:
            return "暂停运行";
        case 4:
            return "正在运行";
        default:
            return "没有定义";
    }
}

ProgramView programView(const AnalysisContext& ctx, int programIndex, int audioIndex) {
    ProgramView v;
    if (programIndex < 0 || programIndex >= ctx.programCount()) return v;
    const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(programIndex)];
    v.valid = true;
    v.programNumber = p.programNumber;
    v.pmtPid = p.pmtPid;
    v.pcrPid = p.pcrPid;
    const std::vector<ComponentRef> comps = programComponents(p);
    v.componentCount = static_cast<int>(comps.size());
    const ServiceFacts s = serviceOf(ctx, p.programNumber);
    v.serviceListed = s.listed;
    v.serviceType = s.serviceType;
    v.freeCaMode = s.freeCaMode;
    v.runningStatus = s.runningStatus;
    v.programNumberText = printfText("0x%04x", v.programNumber);
    v.componentCountText = printfText("%d", v.componentCount);
    v.pcrPidText = printfText("0x%04x", v.pcrPid);
    v.serviceTypeText = serviceTypeText(s.serviceType);
    v.scrambledText = s.freeCaMode == 1 ? "业务被加扰" : "业务未被加扰";
    v.runningText = runningStatusText(s.runningStatus);
    v.provider = s.provider.empty() ? "<None>" : s.provider;
    v.serviceName = s.name.empty() ? "<None>" : s.name;

    const double mbps = ctx.streamBitrate.current;
    for (std::size_t i = 0; i < comps.size(); ++i) {
        const ComponentRef& c = comps[i];
        ComponentRow r;
        r.streamType = c.streamType;
        r.pidValue = c.pid;
        r.mbps = packetShare(ctx, c.cc != nullptr ? c.cc->packetCount : 0) * mbps;
        r.ccErrorCount = c.ccErrors;
        r.index = printfText("%d", static_cast<int>(i) + 1);
        r.type = componentNames(c.kind).program;
        r.pid = printfText("0x%04x", c.pid);
        r.rate = printfText("%2.7f", r.mbps);
        r.ccErrors = printfText("%d", r.ccErrorCount);
        v.components.push_back(std::move(r));
    }

    for (int a = 0; a < p.audioCount && a < kMaxAudioComponents; ++a)
        v.audioPids.push_back(p.audio[static_cast<std::size_t>(a)].pid);
    v.audioIndex = audioIndex >= 0 && audioIndex < p.audioCount ? audioIndex : 0;

    const VideoTiming& vt = p.timing.video;
    const bool videoScrambled = p.video.present && (p.video.scrambled || vt.pes.scrambled);
    bool audioScrambled = false;
    if (!v.audioPids.empty())
        audioScrambled = p.timing.audio[static_cast<std::size_t>(v.audioIndex)].pes.scrambled;
    v.scrambled = videoScrambled || audioScrambled;

    v.hasVideo = p.video.present;
    v.videoPid = p.video.pid;
    if (v.hasVideo && !v.scrambled && videoHeaderRead(vt.es)) {
        v.video = videoHeaderTexts(p.video.streamType, vt.es, vt.pes.header);
        v.pictureTally = pictureTallyText(vt.es);
    }
    if (!v.audioPids.empty() && !v.scrambled) {
        const AudioTiming& at = p.timing.audio[static_cast<std::size_t>(v.audioIndex)];
        if (audioHeaderRead(at.es))
            v.audio = audioHeaderTexts(p.audio[static_cast<std::size_t>(v.audioIndex)].streamType,
                                       at.es, at.pes.header);
    }
    return v;
}

std::vector<std::string> multiplexText(const AnalysisContext& ctx) {
    std::vector<std::string> lines;
    lines.push_back(printfText("共复用了%d路节目", ctx.programCount()));
    for (const ProgramEntry& p : ctx.programs) {
        lines.push_back(printfText("节目0x%04x  (PMT_PID:0x%04x)", unsigned{p.programNumber},
                                   unsigned{p.pmtPid}));
        lines.push_back(printfText("PCR_PID:0x%04x", unsigned{p.pcrPid}));
        for (const ComponentRef& c : programComponents(p))
            lines.push_back(printfText("%s PID:0x%04x", componentNames(c.kind).multiplex, c.pid));
    }
    return lines;
}

int ProgramInfoPage::refresh(const AnalysisContext& ctx) {
    std::vector<std::string> choices;
    for (const ProgramEntry& p : ctx.programs)
        choices.push_back(printfText("节目号:0x%04x  PMT_PID:0x%04x", unsigned{p.programNumber},
                                     unsigned{p.pmtPid}));
    if (choices != choices_) {
        choices_ = std::move(choices);
        if (program_ >= static_cast<int>(choices_.size())) {
            program_ = 0;
            audio_ = 0;
        }
    }
    if (!choices_.empty()) view_ = programView(ctx, program_, audio_);
    return kProgramInfoRefreshMs;
}

void ProgramInfoPage::selectProgram(const AnalysisContext& ctx, int index) {
    if (index < 0 || index >= static_cast<int>(choices_.size())) return;
    program_ = index;
    audio_ = 0;
    view_ = programView(ctx, program_, audio_);
}

void ProgramInfoPage::selectAudio(const AnalysisContext& ctx, int audioIndex) {
    if (audioIndex < 0 || audioIndex >= static_cast<int>(view_.audioPids.size())) return;
    audio_ = audioIndex;
    view_ = programView(ctx, program_, audio_);
}

void ProgramInfoPage::reset() {
    choices_.clear();
    program_ = 0;
    audio_ = 0;
}

}  // namespace orv
