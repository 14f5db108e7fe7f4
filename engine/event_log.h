// The event log: a batch of at most 1000 pending events handed from the analysis to the results
// page, the per-kind counters, and the latest run event.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string_view>

#include "engine/limits.h"
#include "engine/tr290_kinds.h"

namespace orv {

struct AnalysisContext;

// One logged event. Texts are UTF-8, cut (on a character boundary) to the buffer size.
struct EventRecord {
    int code = 0;
    // The packet counter when the event was logged (the number an error text quotes) and the
    // PID the event is about (-1: none), as numbers for readers that must not parse the texts.
    uint64_t packet = 0;
    int32_t pid = -1;
    std::array<char, 64> typeText{};
    std::array<char, 256> detailText{};

    std::string_view type() const { return typeText.data(); }
    std::string_view detail() const { return detailText.data(); }
};

// Counters of every kind: causes and totals per kind, plus one CRC counter per table.
struct KindCounters {
    std::array<std::array<int, kMaxSubCounters>, kKindCount> counters{};
    std::array<int, kCrcTableCount> crcByTable{};

    int& at(Tr290ErrorKind k, int slot) { return counters[kindIndex(k)][slot]; }
    int at(Tr290ErrorKind k, int slot) const { return counters[kindIndex(k)][slot]; }
    // Every event of the kind: slot 0 where it is a total or the only counter, else the sum of
    // the cause counters.
    int total(Tr290ErrorKind k) const;
    int crc(CrcTable t) const { return crcByTable[static_cast<int>(t)]; }
};

struct LastRunEvent {
    int code = 0;
    uint64_t packet = 0;  // the packet counter when it was logged
    std::array<char, 64> text{};
    std::array<char, 32> timeText{};  // local time as "%H:%M:%S %b,%d"
};

struct EventLog {
    std::array<EventRecord, kMaxEvents> records{};
    // Records in the batch; 1000 or more closes the log (nothing appended, nothing counted).
    // The reader writes 1000 while it takes the batch and 0 when it is done.
    std::atomic<int> pendingCount{kMaxEvents};
    LastRunEvent lastRunEvent{};
    KindCounters kindCount{};
    // Source of the local time for run events; tests replace it.
    std::time_t (*wallClock)() = nullptr;
    // Called on the writer's thread when an append fills the batch, so that a reader on the same
    // thread (the offline pass) can take it before the next event would be dropped.
    void (*onFull)(void* arg) = nullptr;
    void* onFullArg = nullptr;
};

// Run events.
inline constexpr int kEventRunStart = 1000;
inline constexpr int kEventOfflineStart = 1001;
inline constexpr int kEventInterrupted = 1002;
inline constexpr int kEventProgramChange = 1003;
inline constexpr int kEventRestart = 1004;
inline constexpr int kEventSaved = 1005;

// Appends one event; the arguments a code's text does not print are ignored. Returns true when
// the event was recorded (false when the log is closed or full, or the code is unknown). Callers
// test the kind's switch and cap before calling. One writer at a time: the thread that feeds the
// context (or holds its mutex); the batch is handed to the reader without a lock.
bool logEvent(AnalysisContext& ctx, int code, unsigned pid = 0, int programIndex = -1,
              unsigned tableId = 0, double value = 0.0);

// Opens the log for a run: pendingCount := 0, then the run event. Like the reseed, it rewrites
// the batch, so no other writer may be logging meanwhile (hold the context's mutex).
void beginRun(AnalysisContext& ctx, int runCode);

// After the event list was appended to the error log: the batch restarts with the current run's
// cause at its head, followed by the save event.
void reseedAfterSave(AnalysisContext& ctx);

// Reader side of the hand-over (the results page): closes the log by writing 1000 and returns
// the number of records the batch held. Records [0, n) then stay unchanged until
// reopenAfterDrain. The close and the count are one atomic exchange, so an event published just
// before the close is always inside the returned count.
int closeForDrain(EventLog& log);

// Ends the hand-over: the batch is empty and the log open (pendingCount := 0).
void reopenAfterDrain(EventLog& log);

}  // namespace orv
