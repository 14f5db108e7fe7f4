#include "presentation/page_texts.h"

#include <array>
#include <cstdarg>
#include <cstdio>

namespace orv {

std::string printfText(const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string out;
    if (n < 0) {
        va_end(again);
        return out;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
    } else {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    return out;
}

namespace {

// Indexed by ComponentKind. The reserved types have no name of their own on the structure list
// and the program page; they take the one of the component list.
constexpr std::array<ComponentNames, 16> kNames{{
    {"MPEG-2视频", "MPEG-2视频", "MPEG-2 视频", "MPEG-2视频"},
    {"MPEG-1视频", "MPEG-1视频", "MPEG-1 视频", "MPEG-1视频"},
    {"MPEG-2音频", "MPEG-2音频", "MPEG-2 音频", "MPEG-2音频"},
    {"MPEG-1音频", "MPEG-1音频", "MPEG-1 音频", "MPEG-1音频"},
    {"13818-1私有数据段", "13818-1私有段", "13818-1私有段", "13818-1私有段"},
    {"pes包私有数据", "PES私有数据", "13818-1PES私有数据", "PES包私有数据"},
    {"13522MHEG", "13522MHEG", "13522 MHEG", "13522MHEG"},
    {"DSM CC", "DSM CC", "DSM CC", "DSM-CC"},
    {"H.222.1", "Rec H.222.1", "H.222.1", "h.222.1"},
    {"13818-6 type A", "13818-6类型A", "13818-6 类型A", "13818-6 type-A"},
    {"13818-6 type B", "13818-6类型B", "13818-6 类型B", "13818-6 type-B"},
    {"13818-6 type C", "13818-6类型C", "13818-6 类型C", "13818-6 type-C"},
    {"13818-6 type D", "13818-6类型D", "13818-6 类型D", "13818-6 type-D"},
    {"13818-1 辅助", "辅助数据", "13818-1辅助", "13818-1辅助"},
    {"用户私有", "用户私有", "用户定义", "用户私有"},
    {"13818-1保留", "13818-1保留", "13818-1保留", "13818-1保留"},
}};

// The program's other lists in page order: stream_type 5 to 14, user private, reserved.
constexpr std::array<int, kOtherListCount> kListOrder{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 10};

ComponentKind kindOfList(int list) {
    if (list == 10) return ComponentKind::Reserved;
    if (list == 11) return ComponentKind::UserPrivate;
    return static_cast<ComponentKind>(static_cast<int>(ComponentKind::PrivateSections) + list);
}

// Names as broadcast may open with a character table selector or hold control codes.
std::string printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text)
        if (c >= 0x20 && c != 0x7F) out.push_back(static_cast<char>(c));
    return out;
}

}  // namespace

const ComponentNames& componentNames(ComponentKind kind) {
    return kNames[static_cast<std::size_t>(kind)];
}

std::vector<ComponentRef> programComponents(const ProgramEntry& p) {
    std::vector<ComponentRef> out;
    if (p.video.present) {
        ComponentRef c;
        c.kind = p.video.streamType == 0x02 ? ComponentKind::Mpeg2Video : ComponentKind::Mpeg1Video;
        c.streamType = p.video.streamType;
        c.pid = p.video.pid;
        c.cc = &p.video.cc;
        c.ccErrors = p.video.ccErrors;
        c.video = true;
        out.push_back(c);
    }
    for (int a = 0; a < p.audioCount && a < kMaxAudioComponents; ++a) {
        const AudioComponent& au = p.audio[static_cast<std::size_t>(a)];
        ComponentRef c;
        c.kind = au.streamType == 0x04 ? ComponentKind::Mpeg2Audio : ComponentKind::Mpeg1Audio;
        c.streamType = au.streamType;
        c.pid = au.pid;
        c.cc = &au.cc;
        c.ccErrors = static_cast<int>(au.cc.errors);
        c.audioIndex = a;
        out.push_back(c);
    }
    for (int list : kListOrder) {
        const ComponentList& l = p.other[static_cast<std::size_t>(list)];
        for (int k = 0; k < l.count && k < kMaxOtherListPids; ++k) {
            ComponentRef c;
            c.kind = kindOfList(list);
            c.streamType = l.streamTypes[static_cast<std::size_t>(k)];
            c.pid = l.pids[static_cast<std::size_t>(k)].pid;
            c.cc = &l.pids[static_cast<std::size_t>(k)].cc;
            c.ccErrors = static_cast<int>(c.cc->errors);
            out.push_back(c);
        }
    }
    return out;
}

std::string componentListText(const ComponentRef& c) {
    return printfText("%s PID:0x%04x", componentNames(c.kind).list, c.pid);
}

ServiceFacts serviceOf(const AnalysisContext& ctx, unsigned programNumber) {
    ServiceFacts f;
    for (const GuideService& s : ctx.guide.actual.services) {
        if (s.serviceId != programNumber) continue;
        f.listed = true;
        f.provider = printable(s.providerName);
        f.name = printable(s.serviceName);
        f.serviceType = s.serviceType;
        f.runningStatus = s.runningStatus;
        f.freeCaMode = s.freeCaMode;
        break;
    }
    return f;
}

double packetShare(const AnalysisContext& ctx, uint64_t packets) {
    if (ctx.packetCounter == 0) return 0.0;
    return static_cast<double>(packets) / static_cast<double>(ctx.packetCounter);
}

}  // namespace orv
