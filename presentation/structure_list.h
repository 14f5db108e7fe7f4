// The multiplex structure list ("TS PID浏览"): one row per part of the multiplex with its
// identifiers, rate and share of the bandwidth, grouped as the stream summary, PSI/SI, the
// program components, conditional access and the rest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/analysis_context.h"

namespace orv {

enum class StructureGroup : int { Summary = 0, PsiSi, Components, Ca, Other };

struct StructureRow {
    StructureGroup group = StructureGroup::Summary;
    // The eight columns: "分组" (on the group's first row only), "类型描述", "ID", "CA_SYS_ID",
    // "PID", "PCR_PID", "码率(Mbps)", "%带宽".
    std::string groupText, type, id, caSystemIdText, pidText, pcrPidText, rate, bandwidth;
    // The same as numbers: -1 where the row has none.
    int pid = -1;
    int caSystemId = -1;
    int pcrPid = -1;
    uint64_t packets = 0;
    double share = 0.0;  // of all packets analysed
    double mbps = 0.0;
};

// The rows in list order; empty before the first packet of the main pass.
std::vector<StructureRow> structureRows(const AnalysisContext& ctx);

// PAT, every distinct PMT PID, the CAT when there is one, the SI PIDs and the DIT and SIT PIDs.
uint64_t psiSiPackets(const AnalysisContext& ctx);

// "%2.2f" of share x 100 ("%2.3f" with threeDecimals), "< 0.001" below 0.001.
std::string bandwidthText(double share, bool threeDecimals = false);

}  // namespace orv
