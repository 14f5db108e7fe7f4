// The basic information page without its window: the shares of the packet classes, the transport
// rate, packet length and first-level error counts, the PAT and NIT identity, the programs with
// their components and CA data, the table repetition intervals, and the multiplex structure list
// that the bandwidth page shows. A GUI draws the snapshot; the reports and the CLI read it.
//
// Operations that take the AnalysisContext only read it; the caller holds ctx.mutex (or is the
// only thread using the context).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "presentation/page_texts.h"
#include "presentation/structure_list.h"

namespace orv {

// The packet classes of the group "传送流数据结构", in this order.
enum class PacketClass : int { Video = 0, Audio, PsiSi, Null, Other };
inline constexpr int kPacketClassCount = 5;

struct ClassShare {
    uint64_t packets = 0;
    double percent = 0.0;  // of all packets analysed
    std::string text;      // "%2.2f%"
    int bar = 0;           // 0 .. 10000
};

// One row of the repetition table ("PSI/SI传送间隔"): seconds, 0 while not measured.
struct IntervalRow {
    std::string name;  // "PAT", "PMT", "CAT", "NIT", "SDT", "BAT", "EIT", "TDT", "TOT"
    unsigned tableId = 0;
    int programNumber = -1;  // PMT rows
    bool received = true;    // false: a PMT that never arrived
    double current = 0.0, max = 0.0, min = 0.0;
};

// A program of the PAT as the page and its report list it.
struct ProgramSummary {
    unsigned programNumber = 0;
    unsigned pmtPid = 0;
    unsigned pcrPid = 0;
    bool pmtReceived = false;
    ServiceFacts service;
    std::vector<ComponentRef> components;  // kinds and PIDs (cc stays unset)
    std::vector<CaEntry> ca;               // CA_system_ID and ECM PID
};

// The fields of the program chosen in "节目号-PMT_PID：".
struct SelectedProgramTexts {
    std::string provider;                 // "业务提供者名称："
    std::string name;                     // "业务名称："
    std::string freeCa;                   // "业务自由条件接收模式描述："
    std::string pcrPid;                   // "PCR_PID："
    std::vector<std::string> components;  // "业务组件描述："
    std::vector<std::string> caList;      // header, then one row per CA descriptor
};

struct BasicInfo {
    bool filled = false;  // the initialisation phase has ended and packets were analysed
    std::array<ClassShare, kPacketClassCount> classes{};
    uint64_t packets = 0;

    // "传送流速率（Mbps）": "%3.6f"
    double rateMin = 0.0, rateMax = 0.0, rateMean = 0.0, rateCurrent = 0.0;
    std::string rateMinText, rateMaxText, rateMeanText, rateCurrentText;

    // "传送流信息"
    int packetLength = 0;
    int syncLosses = 0, syncByteErrors = 0, transportErrors = 0;
    std::string packetLengthText, syncLossText, syncByteText, transportErrorText;

    // "PAT信息"
    unsigned transportStreamId = 0;
    int programCount = 0;
    int pcrPidCount = 0;
    std::string transportStreamIdText, programCountText, pcrPidCountText;

    // "NIT信息": "<None>" for a value that is absent
    std::optional<unsigned> networkId, nitTransportStreamId, nitOriginalNetworkId;
    std::optional<std::string> networkName;
    std::string nitPidText, networkIdText, networkNameText, nitTransportStreamIdText,
        nitOriginalNetworkIdText;

    // "PMT信息"
    std::vector<std::string> programChoices;  // "节目号:0x%04x  PMT_PID:0x%04x"
    int selected = 0;
    SelectedProgramTexts selectedProgram;
    std::vector<ProgramSummary> programs;

    std::vector<IntervalRow> intervals;
    std::vector<StructureRow> structure;
};

inline constexpr int kBasicInfoRefreshMs = 2000;

class BasicInfoPage {
  public:
    // The page timer: recomputes every field and the structure list. Returns the delay in ms
    // after which it wants to run again (also when it returns early, before the first packet).
    int refresh(const AnalysisContext& ctx);
    // The structure list page's own timer: the structure list alone.
    int refreshStructure(const AnalysisContext& ctx);
    // At the stop of the analysis: the refresh cycle ends, the texts stay.
    void reset() { active_ = false; }
    // "节目号-PMT_PID：": shows another program; an index out of range is ignored.
    void selectProgram(const AnalysisContext& ctx, int index);

    const BasicInfo& info() const { return info_; }
    bool refreshCycleActive() const { return active_; }

  private:
    BasicInfo info_;
    bool active_ = false;
};

// The pieces of the page, for the report writers and tests.
std::array<ClassShare, kPacketClassCount> packetClasses(const AnalysisContext& ctx);
std::vector<IntervalRow> intervalRows(const AnalysisContext& ctx);
SelectedProgramTexts selectedProgramTexts(const AnalysisContext& ctx, int index);

}  // namespace orv
