#include "shell/cli/capture_command.h"
#include "shell/cli/live_source_choice.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>

#include "acquisition/capture_rereader.h"
#include "acquisition/capture_store.h"
#include "acquisition/card_source.h"
#include "acquisition/ip_source.h"
#include "acquisition/ip_url.h"
#include "acquisition/live_capture.h"
#include "acquisition/run_control.h"
#include "platform/event_loop.h"
#include "platform/message.h"
#include "platform/paths.h"
#include "presentation/capture_viewer_text.h"
#include "shell/cli/number_option.h"

namespace orv::cli {
namespace {

struct NamedKind {
    std::string_view name;
    CapturePage page;
    int trigger;
    int tableId;
};

// The names --trigger takes beside event codes.
constexpr NamedKind kKinds[] = {
    {"sync-loss", CapturePage::Error, kCaptureSyncLoss, -1},
    {"sync-byte", CapturePage::Error, kCaptureSyncByte, -1},
    {"cc", CapturePage::Error, kCaptureContinuity, -1},
    {"tei", CapturePage::Error, kCaptureTransportError, -1},
    {"pat-error", CapturePage::Error, kCapturePatError, -1},
    {"pmt-scrambled", CapturePage::Error, kCapturePmtScrambled, -1},
    {"crc", CapturePage::Error, kCaptureCrcError, -1},
    {"pat", CapturePage::Section, kCaptureLaterPat, 0x00},
    {"pmt", CapturePage::Section, kCaptureLaterPmt, 0x02},
    {"cat", CapturePage::Section, kCaptureLaterCat, 0x01},
    {"nit", CapturePage::Section, 0x400, -1},
    {"bat", CapturePage::Section, 0x500, 0x4A},
    {"sdt", CapturePage::Section, 0x600, -1},
    {"eit", CapturePage::Section, 0x700, -1},
    {"tdt", CapturePage::Section, 0x800, 0x70},
    {"tot", CapturePage::Section, 0x900, 0x73},
    {"rst", CapturePage::Section, 0xA00, 0x71},
    {"pid", CapturePage::Pid, kCapturePidPacket, -1},
    {"pcr", CapturePage::Pid, kCapturePcrPacket, -1},
    {"pes", CapturePage::Pes, 0, -1},
    {"video-pes", CapturePage::Pes, kCaptureVideoPes, -1},
    {"audio-pes", CapturePage::Pes, kCaptureAudioPes, -1},
};

const NamedKind* kindNamed(std::string_view name) {
    for (const NamedKind& k : kKinds)
        if (k.name == name) return &k;
    return nullptr;
}

std::optional<CaptureTarget> fail(const std::string& text) {
    showMessage("orv01: " + text);
    return std::nullopt;
}

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, value);
    return text;
}

std::string_view className(CaptureClass c) {
    switch (c) {
        case CaptureClass::Section:
            return "section";
        case CaptureClass::Packet:
            return "packet";
        case CaptureClass::Pes:
            return "pes";
        case CaptureClass::Block:
            return "block";
        case CaptureClass::CrcSection:
            return "crc-section";
    }
    return "?";
}

// "收到第 %03d 个数据", the line of the copy list.
std::string receivedLine(std::size_t index) {
    char text[64];
    std::snprintf(text, sizeof text, "收到第 %03zu 个数据", index);
    return text;
}

// What one copy is, in a line: where it was taken and what it holds.
std::string copySummary(const CaptureCopy& c) {
    std::string s = std::string(captureTriggerName(c.trigger)) + ", packet " +
                    std::to_string(c.packetNumber) + ", " + std::to_string(c.bytes.size()) +
                    " bytes";
    if (c.captureClass() == CaptureClass::Block && c.packetLength > 0) {
        s += " (" + std::to_string(c.bytes.size() / static_cast<std::size_t>(c.packetLength)) +
             " packets; the packet at byte " + std::to_string(c.packetOffset) + " is marked)";
    }
    return s;
}

nlohmann::json targetJson(const CaptureTarget& t, int wanted) {
    nlohmann::json j;
    j["trigger"] = t.trigger;
    j["name"] = std::string(captureTriggerName(t.trigger));
    j["pid"] = t.pid ? nlohmann::json(*t.pid) : nlohmann::json();
    j["tableId"] = t.tableId >= 0 ? nlohmann::json(t.tableId) : nlohmann::json();
    j["program"] = t.programNumber ? nlohmann::json(*t.programNumber) : nlohmann::json();
    j["wanted"] = wanted;
    return j;
}

class QuitWhenEnded final : public RunFrontEnd {
  public:
    explicit QuitWhenEnded(EventLoop& loop) : loop_(loop) {}
    void runEnded() override { loop_.quit(); }

  private:
    EventLoop& loop_;
};

constexpr TimerService::TimerId kPollTimer = 1210;
constexpr TimerService::TimerId kDurationTimer = 1211;
constexpr std::chrono::milliseconds kPollPeriod{100};

struct CaptureRun {
    bool inputFailed = false;
    std::string error;           // the request could not be set
    std::string unseenQuestion;  // the table was not seen
};

CaptureRun captureFile(const CaptureOptions& o, int wanted, CaptureStore& store) {
    CaptureRun r;
    OfflineOptions offline;
    offline.bitrateMbps = o.bitrateMbps;
    CaptureRereader reader;
    reader.start(o.input, offline, o.target, wanted, store);
    reader.join();
    const CaptureRereadOutcome outcome = reader.outcome();
    r.error = outcome.error;
    r.unseenQuestion = outcome.unseenQuestion;
    // The reading's own messages have been shown; a file that did not reach its main pass
    // gave nothing.
    r.inputFailed = !outcome.armed && outcome.error.empty();
    if (outcome.status == OfflineStatus::NoBitrate)
        showMessage("orv01: " + o.input +
                    ": no usable PCR pair in the first 40000 packets, so the stream bitrate "
                    "cannot be measured; nothing was captured (give the bitrate with --bitrate "
                    "MBPS)");
    return r;
}

CaptureRun captureLive(const CaptureOptions& o, int wanted, CaptureStore& store) {
    CaptureRun r;
    const std::unique_ptr<LiveSource> source = makeLiveSource(o.live, "capture");
    if (!source) {
        r.inputFailed = true;
        return r;
    }
    auto ctx = std::make_unique<AnalysisContext>();  // every switch off: nothing is logged
    ctx->logSettings.saveLogEnabled = false;
    EventLoop loop;
    QuitWhenEnded frontEnd(loop);
    RunControl run(*ctx, loop, frontEnd);
    LiveCapture capture(o.target, wanted, store);
    std::function<void()> poll = [&] {
        bool done = false;
        {
            const std::lock_guard<std::mutex> lock(ctx->mutex);
            done = capture.poll(*ctx);
        }
        if (done || capture.failed()) {
            loop.quit();
            return;
        }
        loop.arm(kPollTimer, kPollPeriod, poll);
    };
    {
        const QuitOnSignals signals(loop);
        loop.post([&] { run.start(*source); });
        loop.arm(kPollTimer, kPollPeriod, poll);
        if (o.durationSeconds > 0.0)
            loop.arm(
                kDurationTimer,
                std::chrono::milliseconds(static_cast<long long>(o.durationSeconds * 1000.0 + 0.5)),
                [&] { loop.quit(); });
        loop.run();
        loop.kill(kPollTimer);
        loop.kill(kDurationTimer);
        {
            const std::lock_guard<std::mutex> lock(ctx->mutex);
            capture.stop(*ctx);
        }
        run.stop();
    }
    r.inputFailed = run.status().interfaceFailed;
    r.error = capture.plan().error;
    r.unseenQuestion = capture.plan().unseenQuestion;
    return r;
}

}  // namespace

std::string captureKindsHelp() {
    return "KIND: an event code (1010 sync loss, 1020 sync byte, 1040/1041/1042 continuity, "
           "1070 transport error, 1031/1032 PAT error, 1051 scrambled PMT, 1080..1087 CRC) or "
           "sync-loss, sync-byte, cc, tei, pat-error, pmt-scrambled, crc (the block around each "
           "error, at most 10 copies; the section for crc); table --table ID (a table_id such as "
           "0x42, or a name) or the name alone: pat, pmt (--program N or --pid PMT_PID), cat, "
           "nit, sdt, bat, eit, tdt, tot, rst; pid --pid PID (every packet of the PID); pcr "
           "--pid PID (its packets that carry a PCR); pes, video-pes, audio-pes --pid PID (PES "
           "packet starts of the component).";
}

std::optional<CaptureTarget> parseCaptureTarget(std::string_view kind,
                                                std::optional<std::string> pidText,
                                                std::optional<std::string> tableText,
                                                std::optional<std::string> programText) {
    CaptureTarget t;
    if (const std::optional<unsigned> code = parseNumber(kind, 9999)) {
        t.page = CapturePage::Error;
        t.trigger = errorTriggerOfEvent(static_cast<int>(*code));
        if (t.trigger == 0)
            return fail("event " + std::string(kind) +
                        " has no capture; --trigger takes 1010, 1020, 1031, 1032, 1040..1042, "
                        "1051, 1070 or 1080..1087");
    } else if (kind == "table") {
        if (!tableText) return fail("--trigger table needs --table ID (0x00, 0x42, sdt...)");
        if (const NamedKind* k = kindNamed(*tableText); k && k->page == CapturePage::Section) {
            t.trigger = k->trigger;
            t.tableId = k->tableId;
        } else if (const std::optional<unsigned> id = parseNumber(*tableText, 0xFF)) {
            t.trigger = tableTriggerOfTableId(*id);
            t.tableId = static_cast<int>(*id);
        } else if (*tableText != "sit") {
            return fail(
                "--table takes a table_id (0x00..0xFF) or pat, pmt, cat, nit, sdt, bat, "
                "eit, tdt, tot, rst; not \"" +
                *tableText + "\"");
        }
        if (t.trigger == kCaptureTriggerSit || *tableText == "sit")
            return fail("SIT sections (PID 0x001F) are not assembled by the analysis");
        if (t.trigger == 0) return fail("table_id " + *tableText + " has no capture");
        t.page = CapturePage::Section;
    } else if (const NamedKind* k = kindNamed(kind)) {
        t.page = k->page;
        t.trigger = k->trigger;
        t.tableId = k->tableId;
    } else {
        return fail("unknown --trigger \"" + std::string(kind) + "\"; " + captureKindsHelp());
    }
    // Only the SI tables are told apart by table_id; PAT, CAT and PMT go by their trigger.
    if (t.trigger == kCaptureLaterPat || t.trigger == kCaptureLaterCat ||
        t.trigger == kCaptureLaterPmt)
        t.tableId = -1;
    if (pidText) {
        const std::optional<unsigned> pid = parseNumber(*pidText, 0x1FFF);
        if (!pid) return fail("--pid takes a PID 0x0000..0x1FFF, not \"" + *pidText + "\"");
        t.pid = pid;
    }
    if (programText) {
        const std::optional<unsigned> n = parseNumber(*programText, 0xFFFF);
        if (!n || *n == 0)
            return fail("--program takes a program_number 1..65535, not \"" + *programText + "\"");
        t.programNumber = n;
    }
    const bool needsPid = t.page == CapturePage::Pid || t.page == CapturePage::Pes;
    if (needsPid && !t.pid) return fail("--trigger " + std::string(kind) + " needs --pid PID");
    if (t.trigger == kCaptureLaterPmt && !t.pid && !t.programNumber)
        return fail("a PMT capture needs --program N or --pid PMT_PID");
    return t;
}

int runCapture(const CaptureOptions& o, std::ostream& out) {
    const int wanted = capturesWanted(o.count, o.target.page);
    const bool live = o.input == "card" || isIpUrl(o.input);
    CaptureStore store;
    CaptureRun r = live ? captureLive(o, wanted, store) : captureFile(o, wanted, store);
    if (r.inputFailed) return kCaptureInputError;
    if (!r.error.empty()) {
        showMessage("orv01: " + r.error);
        return kCaptureInputError;
    }
    // The page would ask; here the capture goes on and says why it may find nothing.
    if (!r.unseenQuestion.empty()) showMessage(r.unseenQuestion, "the capture went on");

    const std::vector<CaptureCopy> copies = store.copiesFrom(0);
    std::optional<CaptureSaveResult> saved;
    std::string savedPath;
    if (o.out) {
        savedPath = isDrivePath(*o.out) ? mapDrivePath(*o.out).string() : *o.out;
        saved = saveCaptures(copies, savedPath);
    }

    if (o.json) {
        nlohmann::json doc;
        doc["source"] = o.input;
        doc["capture"] = targetJson(o.target, wanted);
        doc["count"] = copies.size();
        nlohmann::json list = nlohmann::json::array();
        for (std::size_t i = 0; i < copies.size(); ++i) {
            const CaptureCopy& c = copies[i];
            const CaptureView v = captureView(c);
            nlohmann::json j;
            j["index"] = i + 1;
            j["trigger"] = c.trigger;
            j["name"] = std::string(captureTriggerName(c.trigger));
            j["kind"] = std::string(className(c.captureClass()));
            j["packet"] = c.packetNumber;
            j["bytes"] = c.bytes.size();
            if (c.captureClass() == CaptureClass::Block) {
                j["packetOffset"] = c.packetOffset;
                j["highlightBits"] = {v.fromBit, v.toBit};
            }
            j["lines"] = v.lines;
            list.push_back(std::move(j));
        }
        doc["copies"] = std::move(list);
        if (saved)
            doc["saved"] = {{"path", savedPath},
                            {"ok", saved->ok},
                            {"copies", saved->copies},
                            {"bytes", saved->bytes}};
        out << doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        out << "Source          " << o.input << '\n'
            << "Capture         " << captureTriggerName(o.target.trigger);
        if (o.target.pid) out << " PID " << hex(*o.target.pid, 4);
        if (o.target.programNumber) out << " program " << hex(*o.target.programNumber, 4);
        if (o.target.tableId >= 0)
            out << " table_id " << hex(static_cast<unsigned>(o.target.tableId), 2);
        out << ", up to " << wanted << " copies\n"
            << "Copies          " << copies.size() << '\n';
        for (std::size_t i = 0; i < copies.size(); ++i) {
            const CaptureView v = captureView(copies[i]);
            out << '\n' << receivedLine(i + 1) << "  " << copySummary(copies[i]) << '\n';
            for (const std::string& line : v.lines)
                out << line << '\n';
        }
        if (saved && saved->ok)
            out << "\nSaved           " << saved->copies << " copies, " << saved->bytes
                << " bytes to " << savedPath << '\n';
    }
    out << std::flush;
    if (saved && !saved->ok) return kCaptureSaveFailed;
    return copies.empty() ? kCaptureNone : kCaptureTaken;
}

}  // namespace orv::cli
