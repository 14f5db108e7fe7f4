// What the basic information, program and buffer pages share: a printf helper for their fixed
// formats, the component kinds of a program in the order the pages list them with the names each
// page gives them, and the SDT data of a program's service.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/analysis_context.h"

namespace orv {

// printf into a std::string; the format is always a literal of the caller.
std::string printfText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Every kind of component a PMT can list, in the order the pages list them: video, audio, the
// lists of stream_type 5 to 14, user private, then the reserved types.
enum class ComponentKind : int {
    Mpeg2Video,
    Mpeg1Video,
    Mpeg2Audio,
    Mpeg1Audio,
    PrivateSections,
    PesPrivateData,
    Mheg,
    DsmCc,
    H2221,
    TypeA,
    TypeB,
    TypeC,
    TypeD,
    Auxiliary,
    UserPrivate,
    Reserved,
};

struct ComponentNames {
    const char* list;       // the PMT component list and the basic information report
    const char* structure;  // the multiplex structure list
    const char* program;    // the component list of the program page
    const char* multiplex;  // the multiplex text
};
const ComponentNames& componentNames(ComponentKind kind);

struct ComponentRef {
    ComponentKind kind = ComponentKind::Reserved;
    unsigned streamType = 0;
    unsigned pid = 0;
    const CcRecord* cc = nullptr;  // its continuity record and packet count
    int ccErrors = 0;              // continuity errors of the PID
    bool video = false;
    int audioIndex = -1;  // index into the program's audio list
};

// The components of a program in page order.
std::vector<ComponentRef> programComponents(const ProgramEntry& program);

// "MPEG-2视频 PID:0x0101", the entry of the PMT component list.
std::string componentListText(const ComponentRef& c);

// The service of the actual SDT whose service_id is the program number, as the guide collected
// it; nullptr when the SDT did not list it. Names are UTF-8 without control codes.
struct ServiceFacts {
    bool listed = false;
    std::string provider;
    std::string name;
    unsigned serviceType = 0;
    unsigned runningStatus = 0;
    unsigned freeCaMode = 0;
};
ServiceFacts serviceOf(const AnalysisContext& ctx, unsigned programNumber);

// Share of all packets analysed, 0 before the first packet.
double packetShare(const AnalysisContext& ctx, uint64_t packets);

}  // namespace orv
