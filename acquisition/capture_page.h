// The data capture page without its window: the state of its buttons, the elapsed time, the list of
// received copies and the commands trigger, stop, clear and save. Its two timers (the elapsed
// time every second, the poll of new copies every 100 ms) run on the page's timer service.
//
// Online the running analysis takes the copies, across restarts of the run; offline the page
// re-reads the analysed file on a thread of its own. A stop ends the taking of copies in both
// cases: the copies made are kept.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/capture_request.h"
#include "acquisition/capture_rereader.h"
#include "acquisition/capture_store.h"
#include "acquisition/live_capture.h"
#include "platform/timer_service.h"

namespace orv {

// Timer ids of the page (clear of the run's 1100..1199).
inline constexpr TimerService::TimerId kCaptureElapsedTimer = 1220;
inline constexpr TimerService::TimerId kCapturePollTimer = 1221;

struct CaptureControls {
    bool trigger = true;  // "触 发"
    bool stop = false;    // "停 止"
    bool save = false;    // "保 存"
    bool clear = false;   // "清 除"
    bool typeList = true;
    bool countField = true;
    bool tabs = true;
};

enum class CaptureTriggerResult {
    Started,
    Ignored,    // the analysis is not past its initialisation phase, or no line is chosen
    Off,        // the choice gives no request (see lastError())
    AskUnseen,  // the table has not been seen: ask pendingQuestion(), then trigger confirmed
    Busy,       // a capture is running or its copies have not been cleared
};

class CapturePageModel {
  public:
    CapturePageModel(TimerService& timers, CaptureStore& store);
    ~CapturePageModel();  // stops a capture still running
    CapturePageModel(const CapturePageModel&) = delete;
    CapturePageModel& operator=(const CapturePageModel&) = delete;

    // "触 发" on the chosen line with the count field's text. `ctx` is the run's context (its
    // mutex is taken); an offline run is re-read from `file` with the options it was analysed
    // with. `confirmed`: the user answered OK to the unseen-table question.
    CaptureTriggerResult trigger(AnalysisContext& ctx, const CaptureChoice* chosen,
                                 std::string_view countText, bool confirmed,
                                 const std::string& file = {}, const OfflineOptions& options = {});
    void stop();   // "停 止"
    void clear();  // "清 除"
    // "保 存": every copy taken, whole and in order.
    CaptureSaveResult save(const std::string& path);

    CaptureControls controls() const;
    std::string elapsedText() const;             // "%02d:%02d:%02d"
    std::string countField() const;              // the count used once triggered
    std::vector<std::string> copyLines() const;  // "收到第 %03d 个数据", one per listed copy
    // The copy the viewer shows: the first when it arrives, then the chosen line.
    std::optional<std::size_t> shownCopy() const;
    void choose(std::size_t line);
    bool running() const;
    std::string pendingQuestion() const;
    std::string lastError() const;

  private:
    void onElapsed();
    void onPoll();
    void stopLocked();

    TimerService& timers_;
    CaptureStore& store_;
    CaptureRereader reader_;
    mutable std::mutex mutex_;
    AnalysisContext* live_ = nullptr;  // the online run the request was set on
    // Sets the request again after a restart of the online run (its reset turns every trigger
    // off) for the copies still wanted.
    std::optional<LiveCapture> rearm_;
    bool offline_ = false;
    bool running_ = false;
    int wanted_ = 0;
    int elapsedSeconds_ = 0;
    std::size_t listed_ = 0;
    std::optional<std::size_t> shown_;
    CaptureControls controls_;
    std::string countField_;
    std::string question_;
    std::string error_;
};

}  // namespace orv
