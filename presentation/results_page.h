// The TR 101 290 results page without its window: the 32 kind buttons with lamps and counter
// boxes, the detail text of the selected kind, the error rate, and the event list that every
// monitoring event of a run becomes a row of. A GUI only draws this model and forwards clicks;
// the command line reads it after the run.
//
// Operations that take the AnalysisContext read and change its counters and event log, so the
// caller holds ctx.mutex (the thread that feeds a block already does).
#pragma once

#include <array>
#include <ctime>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/analysis_context.h"
#include "presentation/error_log_writer.h"
#include "presentation/results_page_kinds.h"
#include "presentation/results_page_rows.h"

namespace orv {

enum class LampColour { Green, Red };

struct Lamp {
    LampColour colour = LampColour::Green;
    bool brightOnly = false;  // the selected kind shows only the bright icon of its colour
};

enum class DisplayMode { AllEvents = 1, SingleKind = 2 };

// What a drain of the pending batch found.
enum class DrainResult {
    Nothing,  // no event was pending
    Dropped,  // the batch did not start with a typed event and was discarded
    Drained,  // the batch was taken into the event list
};

// The error rate ("误码率"): sync losses, sync byte errors, continuity errors of every cause and
// transport errors over the packets analysed (0 before the first packet).
double packetErrorRate(const AnalysisContext& ctx);
// The rate as its box shows it: printf "%e".
std::string formatErrorRate(double rate);

inline constexpr int kMaxEventRows = 2000;
inline constexpr int kRefreshPeriodMs = 1000;
inline constexpr int kRefreshRetryMs = 500;

class ResultsPage {
  public:
    ResultsPage();

    // --- What the page shows ---
    Lamp lamp(Tr290ErrorKind k) const;
    const std::string& counterText(Tr290ErrorKind k) const { return counterText_[kindIndex(k)]; }
    Tr290ErrorKind selectedKind() const { return selected_; }
    DisplayMode mode() const { return mode_; }
    const std::vector<std::string>& detailLines() const { return detail_; }
    const std::string& errorRateText() const { return errorRate_; }
    // The list as displayed: every event row, or in single-kind mode the selected kind's rows.
    std::span<const EventRow> rows() const;
    // Every event row since the last save, whatever the display mode: what the error log keeps.
    std::span<const EventRow> eventRows() const { return allRows_; }
    const std::vector<StoredEvent>& storedEvents() const { return stored_; }
    int rowCount() const { return static_cast<int>(allRows_.size()); }
    int shownCount() const { return static_cast<int>(kindRows_.size()); }
    // The refresh cycle runs from the first refresh until the reset.
    bool refreshCycleActive() const { return refreshActive_; }

    // --- Timer and run hooks ---
    // The periodic refresh: drains the pending batch, then the error rate. Returns the delay in
    // ms after which it wants to run again.
    int refresh(AnalysisContext& ctx);
    // The batch part of the refresh alone, for a pass that feeds faster than the timer runs: call
    // it between blocks before the batch can fill, and no event is dropped. It costs one atomic
    // load when nothing is pending. When the list reaches 2000 rows it goes to the error log;
    // events of the same batch beyond the 2000th row follow the writer's two entries in the
    // restarted list instead of being lost.
    DrainResult drainPending(AnalysisContext& ctx);
    // When the analysis stops: lamps green, boxes "0", rows deleted (stored events kept), mode 1,
    // refresh cycle ended. The context's counters stay as they are.
    void reset(const AnalysisContext& ctx);

    // --- Controls ---
    void selectKind(const AnalysisContext& ctx, Tr290ErrorKind k);
    void clearSelectedKind(AnalysisContext& ctx);  // "清 除"
    void clearAll(AnalysisContext& ctx);           // "全部清除"
    // "保存事件": the event list, with the events pending since the last refresh, goes to the
    // error log and starts empty again; when the file cannot be written the list is kept, so a
    // second try after fixing the path loses nothing.
    ErrorLogResult saveEvents(AnalysisContext& ctx);
    void showAllEvents();   // "显示全部事件"
    void showSingleKind();  // "显示单个事件"

    // Empties the event list and the stored events (after the list was written to the error log).
    void clearEventList();
    // Saves of the list that could not write the error log (each showed its message), counted
    // for a front end that must report them after the run.
    int failedSaves() const { return failedSaves_; }
    void countFailedSave() { ++failedSaves_; }

    // Source of the arrival times; tests replace it.
    void setClock(std::time_t (*clock)()) { clock_ = clock; }
    // Called with every event as it becomes a row, before any save can empty the list again: a
    // live front end streams the events from here (the caller of the drain holds ctx.mutex).
    using RowObserver = std::function<void(const StoredEvent&, const EventRow&)>;
    void setRowObserver(RowObserver observer) { rowObserver_ = std::move(observer); }

  private:
    void recolourLamps(const KindCounters& counters);
    void rebuildDetail(const AnalysisContext& ctx);
    void rebuildKindRows();
    void rebuildAllRows();
    // Appends events as rows until the list is full; returns how many it took.
    std::size_t appendRecords(const AnalysisContext& ctx, std::span<const EventRecord> records);
    const std::string& arrivalTime();

    std::array<std::string, kKindCount> counterText_;
    std::array<LampColour, kKindCount> lampColour_{};
    Tr290ErrorKind selected_ = Tr290ErrorKind::SyncLoss;
    DisplayMode mode_ = DisplayMode::AllEvents;
    std::vector<std::string> detail_;
    std::string errorRate_;
    std::vector<EventRow> allRows_;
    std::vector<EventRow> kindRows_;
    std::vector<StoredEvent> stored_;
    bool refreshActive_ = false;
    int failedSaves_ = 0;
    std::time_t (*clock_)() = nullptr;
    RowObserver rowObserver_;
    std::time_t lastArrival_ = -1;
    std::string lastArrivalText_;
};

}  // namespace orv
