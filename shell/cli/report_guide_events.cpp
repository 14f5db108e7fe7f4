#include "shell/cli/report_guide_events.h"

#include "engine/analysis_context.h"
#include "presentation/guide_page.h"

namespace orv::cli {

void addGuideEvents(AnalysisReport& report, const AnalysisContext& ctx) {
    for (const GuideList* list : {&ctx.guide.actual, &ctx.guide.other}) {
        for (const GuideService& s : list->services) {
            report.guideEvents.push_back({list == &ctx.guide.actual, s.serviceId,
                                          s.transportStreamId, s.originalNetworkId, s.complete,
                                          s.events});
        }
    }
}

nlohmann::json guideEventsJson(const AnalysisReport& report) {
    nlohmann::json out = nlohmann::json::array();
    for (const GuideEventsLine& line : report.guideEvents) {
        const std::vector<GuideEventRow> rows = guideEventRows(line.events);
        nlohmann::json events = nlohmann::json::array();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            events.push_back({{"row", rows[i].number},
                              {"eventId", line.events[i].eventId},
                              {"name", rows[i].name},
                              {"start", rows[i].start},
                              {"duration", rows[i].duration},
                              {"runningStatus", line.events[i].runningStatus}});
        }
        out.push_back({{"list", line.actual ? "actual" : "other"},
                       {"serviceId", line.serviceId},
                       {"transportStreamId", line.transportStreamId},
                       {"originalNetworkId", line.originalNetworkId},
                       {"complete", line.complete},
                       {"events", events}});
    }
    return out;
}

}  // namespace orv::cli
