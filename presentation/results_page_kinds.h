// The 32 kind buttons of the TR 101 290 results page: button texts, priority groups, what each
// counter box shows, and the detail text of the selected kind.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/event_log.h"
#include "engine/tr290_kinds.h"

namespace orv {

// Where a number of a detail line comes from.
enum class DetailSource : std::uint8_t { None, Slot, CrcTable };

struct DetailLine {
    std::string_view text;  // "%d" marks the number
    DetailSource source = DetailSource::None;
    std::int8_t index = 0;       // counter slot of the kind, or the CrcTable
    bool afterInitOnly = false;  // shown once the initialisation phase has finished
};

struct ResultsKindInfo {
    std::string_view button;
    int priority;               // TR 101 290 priority group 1..3
    std::string_view headline;  // "%d" marks the counter shown
    std::string_view headlineAtCap;
    std::span<const DetailLine> lines;
    int headlineCap = 1000;  // the counter shown from which the headline takes its second form
};

const ResultsKindInfo& resultsKind(Tr290ErrorKind k);

// The type text that the single-kind display mode selects (the kind's event type text).
std::string_view filterName(Tr290ErrorKind k);

// The figure of the kind's counter box: its one counter, its total, or the sum of its causes.
int counterShown(const KindCounters& counters, Tr290ErrorKind k);

// "%d" below 1000, else "≥1000".
std::string counterBoxText(int shown);

// The detail list of a kind: headline, "  详细项目描述:", then the sub-lines with their counters.
std::vector<std::string> detailText(Tr290ErrorKind k, const KindCounters& counters, bool initDone);

// The pattern with its one "%d" replaced by the number (copied unchanged when it has none).
std::string withNumber(std::string_view pattern, long long number);

inline constexpr int kCounterBoxCap = 1000;

}  // namespace orv
