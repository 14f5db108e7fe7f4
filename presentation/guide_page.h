// The programme guide page without its window: the services of the analysed transport stream and
// of the others, and for the service the user chooses its description and scheduled events. A GUI
// draws this model and forwards selections and clicks; reports and the command line read it.
//
// Operations that take the AnalysisContext read its guide lists, so the caller holds ctx.mutex.
#pragma once

#include <array>
#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "engine/analysis_context.h"

namespace orv {

enum class GuideListId : int { Actual = 0, Other = 1 };

// A row of a service list: "业务序号", "业务标识符".
struct GuideServiceRow {
    std::string number;     // "%02d", from 0
    std::string serviceId;  // "0x%04x"
};

// A row of the event list: "事件序号", "事件标识符", "事件名称", "起始时间", "持续时间".
struct GuideEventRow {
    std::string number;   // "%02d", from 0
    std::string eventId;  // "0x%04x"
    std::string name;
    std::string start;
    std::string duration;
};

// The text fields of the page, one per label.
struct GuideTexts {
    std::string serviceName;        // "业务名称："
    std::string providerName;       // "业务提供者名称："
    std::string serviceType;        // "业务服务类型："
    std::string scrambling;         // "业务加扰状态："
    std::string serviceId;          // "业务标识符："
    std::string transportStreamId;  // "传送流标识符："
    std::string originalNetworkId;  // "原始网络标识符："
    std::string localTime;          // "当地时间："
    std::string gmtTime;            // "GMT时间："
};

inline constexpr int kGuideRefreshMs = 10'000;

// The description of a service_type, and of a free_CA_mode.
const char* guideServiceTypeText(uint32_t serviceType);
const char* guideScramblingText(uint32_t freeCaMode);

// The event rows of a service's events, in stored order.
std::vector<GuideEventRow> guideEventRows(std::span<const GuideEvent> events);

// "%02d-%02d-%02d %02d:%02d:%02d" of a broken-down time (full year).
std::string guideClockText(const std::tm& tm);

class GuidePage {
  public:
    // The page's timer: the lists follow the engine's, the times are renewed. Returns the delay
    // in ms after which it wants to run again.
    int refresh(const AnalysisContext& ctx);
    // The notifications of a service list: a selection change acts only while that list does not
    // hold the shown service (and only for another service); a click only while it does, and then
    // always rebuilds the events.
    void selectionChanged(const AnalysisContext& ctx, GuideListId list, int row);
    void clicked(const AnalysisContext& ctx, GuideListId list, int row);
    // When the run stops: lists and texts empty, times included; no service shown.
    void reset();

    const std::vector<GuideServiceRow>& services(GuideListId list) const {
        return services_[index(list)];
    }
    const std::vector<GuideEventRow>& events() const { return events_; }
    const GuideTexts& texts() const { return texts_; }
    // The list that holds the shown service, if any.
    bool holdsShown(GuideListId list) const { return holds_[index(list)]; }
    bool timerArmed() const { return timerArmed_; }

    // Source of the current time; tests replace it.
    void setClock(std::time_t (*clock)()) { clock_ = clock; }

  private:
    static int index(GuideListId list) { return static_cast<int>(list); }
    void choose(const AnalysisContext& ctx, GuideListId list, int row, bool click);
    void clearDescription();

    std::array<std::vector<GuideServiceRow>, 2> services_;
    std::vector<GuideEventRow> events_;
    GuideTexts texts_;
    std::array<bool, 2> holds_{};
    // service_id, transport_stream_id and original_network_id of the shown service ("0x%04x").
    std::array<std::string, 3> shownIds_;
    // The engine's created byte of each list as the page last took note of it. The page keeps
    // its own note instead of clearing the engine's byte: the engine collects the events of a
    // list only while that byte is set.
    std::array<bool, 2> createdSeen_{};
    bool timerArmed_ = false;
    std::time_t (*clock_)() = nullptr;
};

}  // namespace orv
