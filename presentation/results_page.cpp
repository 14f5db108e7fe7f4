#include "presentation/results_page.h"

#include <charconv>
#include <cstdio>

namespace orv {
namespace {

std::string codeText(int code) {
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%2d", code);
    return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

int parseCode(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    int code = 0;
    std::from_chars(text.data(), text.data() + text.size(), code);
    return code;
}

}  // namespace

double packetErrorRate(const AnalysisContext& ctx) {
    using K = Tr290ErrorKind;
    const KindCounters& c = ctx.log.kindCount;
    const long long errors = static_cast<long long>(c.at(K::SyncLoss, 0)) + c.at(K::SyncByte, 0) +
                             c.at(K::Continuity, sub::kCcOrder) +
                             c.at(K::Continuity, sub::kCcDuplicate) +
                             c.at(K::Continuity, sub::kCcLoss) + c.at(K::TransportError, 0);
    // Before the first packet there is no rate: 0 rather than a division by zero.
    return ctx.packetCounter == 0
               ? 0.0
               : static_cast<double>(errors) / static_cast<double>(ctx.packetCounter);
}

std::string formatErrorRate(double rate) {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%e", rate);
    return std::string(text, n > 0 && n < static_cast<int>(sizeof text) ? n : 0);
}

ResultsPage::ResultsPage() {
    counterText_.fill(counterBoxText(0));
    lampColour_.fill(LampColour::Green);
    detail_ = detailText(selected_, KindCounters{}, false);
}

Lamp ResultsPage::lamp(Tr290ErrorKind k) const {
    return {lampColour_[kindIndex(k)], k == selected_};
}

std::span<const EventRow> ResultsPage::rows() const {
    return mode_ == DisplayMode::AllEvents ? std::span<const EventRow>(allRows_)
                                           : std::span<const EventRow>(kindRows_);
}

int ResultsPage::refresh(AnalysisContext& ctx) {
    refreshActive_ = true;
    if (drainPending(ctx) == DrainResult::Dropped) return kRefreshRetryMs;
    errorRate_ = formatErrorRate(packetErrorRate(ctx));
    return kRefreshPeriodMs;
}

DrainResult ResultsPage::drainPending(AnalysisContext& ctx) {
    if (ctx.log.pendingCount.load(std::memory_order_acquire) <= 0) return DrainResult::Nothing;
    const int count = closeForDrain(ctx.log);
    if (count == 0) {
        reopenAfterDrain(ctx.log);
        return DrainResult::Nothing;
    }
    if (ctx.log.records[0].type().empty()) {
        reopenAfterDrain(ctx.log);
        return DrainResult::Dropped;
    }
    for (int k = 0; k < kKindCount; ++k) {
        counterText_[k] =
            counterBoxText(counterShown(ctx.log.kindCount, static_cast<Tr290ErrorKind>(k)));
    }
    selectKind(ctx, selected_);
    const std::span<const EventRecord> batch(ctx.log.records.data(),
                                             static_cast<std::size_t>(count));
    const std::size_t taken = appendRecords(ctx, batch);
    if (rowCount() < kMaxEventRows) {
        reopenAfterDrain(ctx.log);
        return DrainResult::Drained;
    }
    // The list is full: it goes to the error log file. Events of the batch that no longer fitted
    // are kept aside while the writer reseeds the batch.
    const std::vector<EventRecord> rest(batch.begin() + static_cast<std::ptrdiff_t>(taken),
                                        batch.end());
    writeErrorLog(ctx, *this, BatchHold::HeldByPage);
    // When the writer could not write, it reopened the log; the full list is dropped all the
    // same, so that it can grow again.
    clearEventList();
    if (!rest.empty()) {
        // The restarted list takes the writer's entries at once and then the events kept aside,
        // so that no event of the batch is lost.
        const int seeded = closeForDrain(ctx.log);
        if (seeded > 0 && !ctx.log.records[0].type().empty()) {
            appendRecords(ctx, std::span<const EventRecord>(ctx.log.records.data(),
                                                            static_cast<std::size_t>(seeded)));
        }
        appendRecords(ctx, rest);
        reopenAfterDrain(ctx.log);
    }
    return DrainResult::Drained;
}

std::size_t ResultsPage::appendRecords(const AnalysisContext& ctx,
                                       std::span<const EventRecord> records) {
    std::size_t taken = 0;
    for (const EventRecord& rec : records) {
        if (rowCount() >= kMaxEventRows) break;
        const std::string& time = arrivalTime();
        const std::string number = rowNumberText(rowCount());
        stored_.push_back({codeText(rec.code), number, time, std::string(rec.type()),
                           std::string(rec.detail()), rec.packet, rec.pid});
        // The event list keeps every event whatever the display mode, so that a save in the
        // single-kind mode still writes them all.
        if (iconForCode(rec.code) == EventIcon::Run) {
            allRows_.push_back({EventIcon::Run, number,
                                std::string(ctx.log.lastRunEvent.timeText.data()),
                                std::string(rec.type()), std::string()});
        } else {
            allRows_.push_back({iconForCode(rec.code), number, time, std::string(rec.type()),
                                std::string(rec.detail())});
        }
        if (rowObserver_) rowObserver_(stored_.back(), allRows_.back());
        ++taken;
    }
    return taken;
}

const std::string& ResultsPage::arrivalTime() {
    const std::time_t now = clock_ != nullptr ? clock_() : std::time(nullptr);
    if (now != lastArrival_) {
        lastArrival_ = now;
        lastArrivalText_ = formatEventTime(now);
    }
    return lastArrivalText_;
}

void ResultsPage::reset(const AnalysisContext& ctx) {
    lampColour_.fill(LampColour::Green);
    errorRate_.clear();
    mode_ = DisplayMode::AllEvents;
    counterText_.fill(counterBoxText(0));
    rebuildDetail(ctx);
    allRows_.clear();
    kindRows_.clear();
    refreshActive_ = false;
}

void ResultsPage::recolourLamps(const KindCounters& counters) {
    for (int k = 0; k < kKindCount; ++k) {
        lampColour_[k] = counterShown(counters, static_cast<Tr290ErrorKind>(k)) >= 1
                             ? LampColour::Red
                             : LampColour::Green;
    }
}

void ResultsPage::selectKind(const AnalysisContext& ctx, Tr290ErrorKind k) {
    recolourLamps(ctx.log.kindCount);
    selected_ = k;
    rebuildDetail(ctx);
}

void ResultsPage::rebuildDetail(const AnalysisContext& ctx) {
    detail_ = detailText(selected_, ctx.log.kindCount, ctx.initDone);
    if (mode_ == DisplayMode::SingleKind) rebuildKindRows();
}

void ResultsPage::rebuildKindRows() {
    kindRows_.clear();
    const std::string_view filter = filterName(selected_);
    const EventIcon icon = iconForKind(selected_);
    for (const StoredEvent& e : stored_) {
        if (e.type != filter) continue;
        kindRows_.push_back(
            {icon, rowNumberText(static_cast<int>(kindRows_.size())), e.time, e.type, e.detail});
    }
}

void ResultsPage::rebuildAllRows() {
    allRows_.clear();
    for (const StoredEvent& e : stored_) {
        allRows_.push_back({iconForCode(parseCode(e.code)),
                            rowNumberText(static_cast<int>(allRows_.size())), e.time, e.type,
                            e.detail});
    }
}

void ResultsPage::clearSelectedKind(AnalysisContext& ctx) {
    KindCounters& counters = ctx.log.kindCount;
    counters.counters[kindIndex(selected_)].fill(0);
    if (selected_ == Tr290ErrorKind::Crc) counters.crcByTable.fill(0);
    counterText_[kindIndex(selected_)] = counterBoxText(0);
    selectKind(ctx, selected_);
}

void ResultsPage::clearAll(AnalysisContext& ctx) {
    ctx.log.kindCount = {};
    clearEventList();
    counterText_.fill(counterBoxText(0));
    reopenAfterDrain(ctx.log);  // the pending batch is discarded
    logEvent(ctx, kEventRestart);
    selectKind(ctx, selected_);
}

ErrorLogResult ResultsPage::saveEvents(AnalysisContext& ctx) {
    return writeErrorLog(ctx, *this);
}

void ResultsPage::showAllEvents() {
    if (mode_ == DisplayMode::AllEvents) return;
    mode_ = DisplayMode::AllEvents;
    rebuildAllRows();
}

void ResultsPage::showSingleKind() {
    mode_ = DisplayMode::SingleKind;
    rebuildKindRows();
}

void ResultsPage::clearEventList() {
    allRows_.clear();
    kindRows_.clear();
    stored_.clear();
}

}  // namespace orv
