// Appending events to the pending batch, with their counters and texts.
//
// Hand-over of the batch between the one writer (the thread that feeds the context) and the
// reader (the results page), without a lock:
// - the writer loads pendingCount n (acquire); 1000 or more means closed: it drops the event;
// - it fills record n, then publishes it with a compare-exchange n -> n + 1 (release), and only
//   then bumps the counters. If the reader closed the log in between, the exchange fails and the
//   event is neither appended nor counted;
// - the reader closes the log with an exchange to 1000 (acquire) that returns the count k, reads
//   records 0 .. k - 1 and stores 0 (release).
// The writer only ever writes the record at the count it loaded, which is never below k while
// the reader holds the batch, so the two never touch the same record; the store of 0 orders the
// reader's reads before the writer's next use of record 0.
#include "engine/event_log.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "engine/analysis_context.h"
#include "engine/event_catalogue.h"
#include "platform/text_codec.h"

namespace orv {
namespace {

// Writes into a fixed, always terminated char buffer. A piece that does not fit is cut on a
// UTF-8 character boundary, and nothing is appended after it.
class FixedText {
  public:
    template <std::size_t N>
    explicit FixedText(std::array<char, N>& buffer) : data_(buffer.data()), capacity_(N - 1) {
        data_[0] = '\0';
    }

    void append(std::string_view s) {
        if (full_) return;
        const std::string_view fit = cutUtf8(s, capacity_ - length_);
        std::memcpy(data_ + length_, fit.data(), fit.size());
        length_ += fit.size();
        data_[length_] = '\0';
        full_ = fit.size() < s.size();
    }

  private:
    char* data_;
    std::size_t capacity_;
    std::size_t length_ = 0;
    bool full_ = false;
};

// One number rendered for a placeholder: padded to the width, like printf would.
class NumberText {
  public:
    std::string_view hex(std::uint64_t v, const FormatPiece& p) {
        return finish(std::to_chars(digits_.data(), digits_.data() + digits_.size(), v, 16), p);
    }
    std::string_view decimal(std::uint64_t v, const FormatPiece& p) {
        return finish(std::to_chars(digits_.data(), digits_.data() + digits_.size(), v), p);
    }
    // Locale-independent: the decimal point is always '.'.
    std::string_view fixed(double v, const FormatPiece& p) {
        return finish(std::to_chars(digits_.data(), digits_.data() + digits_.size(), v,
                                    std::chars_format::fixed, p.precision),
                      p);
    }

  private:
    std::string_view finish(std::to_chars_result r, const FormatPiece& p) {
        if (r.ec != std::errc{}) return "?";
        std::string_view digits(digits_.data(), static_cast<std::size_t>(r.ptr - digits_.data()));
        const std::size_t width = static_cast<std::size_t>(p.width);
        if (digits.size() >= width) return digits;
        // Zero padding goes after a sign, space padding before it.
        std::size_t out = 0;
        if (p.zeroPad && digits.front() == '-') {
            padded_[out++] = '-';
            digits.remove_prefix(1);
        }
        const std::size_t fill = width - out - digits.size();
        std::memset(padded_.data() + out, p.zeroPad ? '0' : ' ', fill);
        std::memcpy(padded_.data() + out + fill, digits.data(), digits.size());
        return {padded_.data(), width};
    }

    // A double in fixed notation takes at most 309 digits, a sign, a point and the precision.
    std::array<char, 400> digits_{};
    std::array<char, kMaxFormatWidth> padded_{};
};

struct EventArgs {
    unsigned pid;
    unsigned programNumber;
    unsigned tableId;
    double value;
    std::uint64_t packet;
};

// Expands the catalogue's placeholders; the message itself is never used as a printf format.
void formatDetail(const EventDef& def, const EventArgs& a, FixedText& out) {
    std::string_view s = def.message;
    int next = 0;
    NumberText number;
    while (!s.empty()) {
        const FormatPiece p = nextFormatPiece(s);
        const std::string_view piece = s.substr(0, p.length);
        s.remove_prefix(p.length);
        switch (p.type) {
            case PieceType::Literal:
            case PieceType::Invalid:
                out.append(piece);
                break;
            case PieceType::Percent:
                out.append("%");
                break;
            case PieceType::PacketNumber:
                out.append(number.decimal(a.packet, p));
                break;
            case PieceType::Hex:
            case PieceType::Fixed: {
                if (next >= def.argCount) break;  // the catalogue is checked at compile time
                switch (def.args[next++]) {
                    case EventArg::Pid:
                        out.append(number.hex(a.pid, p));
                        break;
                    case EventArg::Program:
                        out.append(number.hex(a.programNumber, p));
                        break;
                    case EventArg::TableId:
                        out.append(number.hex(a.tableId, p));
                        break;
                    case EventArg::Value:
                        out.append(number.fixed(a.value, p));
                        break;
                }
                break;
            }
        }
    }
}

template <std::size_t N>
void appendTwoDigits(std::array<char, N>& buf, std::size_t& at, int v) {
    buf[at++] = static_cast<char>('0' + v / 10 % 10);
    buf[at++] = static_cast<char>('0' + v % 10);
}

// Local time as "%H:%M:%S %b,%d", with English month names whatever the locale.
void formatRunTime(std::time_t t, std::array<char, 32>& out) {
    static constexpr std::string_view kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    out.fill('\0');
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr || tm.tm_mon < 0 || tm.tm_mon > 11) return;
    std::size_t at = 0;
    appendTwoDigits(out, at, tm.tm_hour);
    out[at++] = ':';
    appendTwoDigits(out, at, tm.tm_min);
    out[at++] = ':';
    appendTwoDigits(out, at, tm.tm_sec);
    out[at++] = ' ';
    for (char c : kMonths[tm.tm_mon])
        out[at++] = c;
    out[at++] = ',';
    appendTwoDigits(out, at, tm.tm_mday);
}

void bumpCounters(KindCounters& counters, const EventDef& def) {
    auto& slots = counters.counters[kindIndex(def.kind)];
    if (def.slot != kNoSlot) ++slots[def.slot];
    if (def.secondSlot != kNoSlot) ++slots[def.secondSlot];
    if (def.crcTable != kNoSlot) ++counters.crcByTable[def.crcTable];
}

}  // namespace

int KindCounters::total(Tr290ErrorKind k) const {
    const Tr290KindInfo& info = kindInfo(k);
    const auto& slots = counters[kindIndex(k)];
    if (info.slotZeroIsTotal || info.subCounters <= 1) return slots[0];
    int sum = 0;
    for (int i = 0; i < info.subCounters; ++i)
        sum += slots[i];
    return sum;
}

bool logEvent(AnalysisContext& ctx, int code, unsigned pid, int programIndex, unsigned tableId,
              double value) {
    EventLog& log = ctx.log;
    int n = log.pendingCount.load(std::memory_order_acquire);
    if (n < 0 || n >= kMaxEvents) return false;
    const EventDef* def = findEvent(code);
    if (def == nullptr) return false;

    EventRecord& rec = log.records[n];
    rec.code = code;
    rec.packet = ctx.packetCounter;
    rec.pid = eventPid(*def, pid);
    FixedText type(rec.typeText);
    FixedText detail(rec.detailText);
    LastRunEvent run;  // kept only once the event is in the batch
    switch (def->eventClass) {
        case EventClass::Run: {
            type.append(def->message);
            run.code = code;
            run.packet = ctx.packetCounter;
            FixedText(run.text).append(def->message);
            formatRunTime(log.wallClock != nullptr ? log.wallClock() : std::time(nullptr),
                          run.timeText);
            break;
        }
        case EventClass::Save:
            type.append(def->message);
            break;
        case EventClass::Error: {
            type.append(kindInfo(def->kind).name);
            const bool validProgram = programIndex >= 0 && programIndex < ctx.programCount();
            const EventArgs args{
                pid & 0xFFFFu,
                validProgram ? ctx.programs[static_cast<std::size_t>(programIndex)].programNumber
                             : 0u,
                tableId & 0xFFu, value, ctx.packetCounter};
            formatDetail(*def, args, detail);
            break;
        }
    }

    if (!log.pendingCount.compare_exchange_strong(n, n + 1, std::memory_order_release,
                                                  std::memory_order_relaxed)) {
        return false;  // the reader closed the log meanwhile
    }
    if (def->eventClass == EventClass::Error) bumpCounters(log.kindCount, *def);
    if (def->eventClass == EventClass::Run) log.lastRunEvent = run;
    if (n + 1 == kMaxEvents && log.onFull != nullptr) log.onFull(log.onFullArg);
    return true;
}

void beginRun(AnalysisContext& ctx, int runCode) {
    ctx.log.pendingCount.store(0, std::memory_order_release);
    logEvent(ctx, runCode);
}

void reseedAfterSave(AnalysisContext& ctx) {
    EventLog& log = ctx.log;
    EventRecord& head = log.records[0];
    head.code = log.lastRunEvent.code;
    head.packet = log.lastRunEvent.packet;
    head.pid = kNoPid;
    FixedText(head.typeText).append(log.lastRunEvent.text.data());
    head.detailText[0] = '\0';
    log.pendingCount.store(1, std::memory_order_release);
    logEvent(ctx, kEventSaved);
}

int closeForDrain(EventLog& log) {
    const int n = log.pendingCount.exchange(kMaxEvents, std::memory_order_acquire);
    return n < 0 ? 0 : (n > kMaxEvents ? kMaxEvents : n);
}

void reopenAfterDrain(EventLog& log) {
    log.pendingCount.store(0, std::memory_order_release);
}

}  // namespace orv
