// The request of the data capture: what the user chose (a table section, the packets of a PID,
// the PES packets of a component, the packets around an error), how many copies, and the
// request the analysis compares every packet, section and error against. The lines of the
// capture page's type list carry the choice they stand for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/analysis_context.h"

namespace orv {

// The four tabs of the capture page.
enum class CapturePage { Section = 1, Pid = 2, Pes = 3, Error = 4 };

// One choice. `trigger` is a trigger value of the request: a table (0x100..0xB00), 0x505 or 0xA0A
// for packets, 0xE0 or 0xC0 for PES starts (0: whichever the PID carries), an error 0x10..0x70.
struct CaptureTarget {
    CapturePage page = CapturePage::Section;
    int trigger = 0;
    int tableId = -1;                         // SI tables: the chosen table_id, -1 every one
    std::optional<unsigned> pid{};            // packets, PES, and a PMT by its PID
    std::optional<unsigned> programNumber{};  // a PMT by its program
};

struct CaptureChoice {
    std::string text{};  // the line of the type list
    CaptureTarget target{};
};

inline constexpr int kDefaultCaptures = 50;
inline constexpr int kMaxCaptures = 100;
inline constexpr int kMaxErrorCaptures = 10;
inline constexpr int kCaptureTriggerSit = 0xB00;

// The lines of a page's type list, from what the analysis knows.
std::vector<CaptureChoice> captureChoices(const AnalysisContext& ctx, CapturePage page);

// The number of copies to take for the count field: 50 when empty or 0, at most 100, and at most
// 10 on the error page. A negative count is taken as empty.
int capturesWanted(std::optional<long long> count, CapturePage page);

// The error capture an event code stands for (1070 → 0x40), 0 for codes without one.
int errorTriggerOfEvent(int code);
// The table trigger of a table_id (0x00 → 0x100, 0x4E → 0x700), 0 for none.
int tableTriggerOfTableId(unsigned tableId);
// A short name of a trigger for listings ("PAT", "transport error", "PID packet").
std::string_view captureTriggerName(int trigger);

// The request for a target, checked against the analysis.
struct CapturePlan {
    std::optional<CaptureRequest> request;  // nullopt: the trigger stays off (see `error`)
    std::string error;
    // Set when the analysis has not seen the table yet: the question the page asks before it
    // goes on ("传送流中可能不存在CAT。继续?").
    std::string unseenQuestion;
};
CapturePlan planCapture(const AnalysisContext& ctx, const CaptureTarget& target, int wanted);

// Sets the request (every other trigger off, nothing made yet) and the sink that takes the copies.
// The caller holds ctx.mutex while the context is being fed.
void armCapture(AnalysisContext& ctx, const CaptureRequest& request, CaptureSink* sink);
// Every trigger off; the sink is released.
void disarmCapture(AnalysisContext& ctx);
// True while some trigger of the request is set.
bool captureArmed(const CaptureRequest& request);

}  // namespace orv
