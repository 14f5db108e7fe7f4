#include <chrono>
#include <cstdio>
#include <memory>
#include <ostream>
#include <thread>

#include "acquisition/ip_source.h"
#include "acquisition/record_card_feed.h"
#include "acquisition/record_live_feed.h"
#include "acquisition/recorder.h"
#include "platform/message.h"
#include "shell/cli/stop_signals.h"
#include "shell/cli/tune_commands.h"

namespace orv::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPoll = std::chrono::milliseconds(50);
constexpr auto kProgressPeriod = std::chrono::seconds(1);

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string progressLine(const RecordStatus& s, const RecordSettings& settings) {
    std::string line =
        "recording " + formatted("%.1f s", s.seconds) + "  " + std::to_string(s.bytes) + " bytes";
    if (s.packets > 0) line += " (" + std::to_string(s.packets) + " packets)";
    line += "  " + formatted("%.3f Mbit/s in", s.inputMbps);
    if (settings.limit > 0) line += "  " + std::to_string(recordPercent(s, settings)) + " %";
    return line;
}

std::string initLine(const RecordInit& init) {
    std::string line = "input:";
    if (!init.bitrateText.empty()) line += " " + init.bitrateText + " Mbit/s,";
    if (!init.packetLengthText.empty()) line += " " + init.packetLengthText + "-byte packets,";
    if (init.pids.empty()) return line + " raw blocks";
    line += " PIDs";
    for (const std::uint16_t pid : init.pids)
        line += " " + pidText(pid);
    return line;
}

const char* endedText(RecordEnd how) {
    switch (how) {
        case RecordEnd::Limit:
            return "limit reached";
        case RecordEnd::Stopped:
            return "stopped";
        case RecordEnd::WriteFailed:
            return "write failed";
        default:
            return "input failed";
    }
}

}  // namespace

int runRecord(const RecordOptions& o, std::ostream& err) {
    RecordSettings settings;
    settings.input = o.input;
    settings.path = o.file;
    settings.recordMode = o.raw ? RecordMode::Raw : RecordMode::Synchronised;
    if (!o.pids.empty() || !o.exclude.empty()) {
        const PidListParse list = parsePidList(o.pids.empty() ? o.exclude : o.pids);
        if (!list.error.empty()) {
            showMessage("orv01: " + std::string(o.pids.empty() ? "--exclude" : "--pids") + ": " +
                        list.error);
            return kRecordInputError;
        }
        settings.pids = list.pids;
        settings.filterMode = o.pids.empty() ? FilterMode::Exclude : FilterMode::Only;
    }
    settings.limitMode = o.seconds > 0 ? LimitMode::Time : LimitMode::Size;
    settings.limit = o.seconds > 0 ? o.seconds : o.sizeMb;
    if (o.file.empty()) {
        showMessage("orv01: record needs the file to write (OUT.ts)");
        return kRecordInputError;
    }

    const std::optional<SourceChoice> choice = chooseSource(o.source, "record");
    if (!choice) return kRecordInputError;
    if (choice->url && o.raw) {
        showMessage("orv01: --raw asks the card for its unsynchronised stream; " + o.source +
                    " delivers packets");
        return kRecordInputError;
    }
    std::unique_ptr<IpSource> ip;
    std::unique_ptr<RecordFeed> feed;
    if (choice->url) {
        ip = std::make_unique<IpSource>(*choice->url);
        feed = std::make_unique<RecordLiveFeed>(*ip);
    } else {
        feed = std::make_unique<RecordCardFeed>();
    }

    const StopOnSignals signals;
    Recorder recorder(*feed);
    if (recorder.start(settings)) return kRecordInputError;

    bool initShown = false;
    bool lineOpen = false;
    auto nextProgress = Clock::now() + kProgressPeriod;
    for (;;) {
        if (signals.requested()) recorder.stop();
        const RecordStatus s = recorder.status();
        if (o.progress && !initShown && s.state == RecordState::Recording) {
            err << initLine(s.init) << '\n' << std::flush;
            initShown = true;
        }
        if (s.state == RecordState::Ended) break;
        if (o.progress && s.state == RecordState::Recording && Clock::now() >= nextProgress) {
            nextProgress += kProgressPeriod;
            if (o.progressIsTerminal) {
                err << '\r' << progressLine(s, settings) << "\033[K" << std::flush;
                lineOpen = true;
            } else {
                err << progressLine(s, settings) << '\n' << std::flush;
            }
        }
        recorder.waitUntilEnded(kPoll);
    }
    recorder.stop();
    const RecordStatus s = recorder.status();
    if (lineOpen) err << '\n';
    if (s.endedBy == RecordEnd::InputFailed || s.endedBy == RecordEnd::CreateFailed) {
        return kRecordInputError;
    }
    if (o.progress || s.endedBy == RecordEnd::WriteFailed) {
        err << "recorded " << s.bytes << " bytes";
        if (s.packets > 0) err << " (" << s.packets << " packets)";
        err << " in " << formatted("%.1f s", s.seconds) << " to " << o.file << " ("
            << endedText(s.endedBy) << ")\n"
            << std::flush;
    }
    return s.endedBy == RecordEnd::WriteFailed ? kRecordWriteFailed : kRecordDone;
}

}  // namespace orv::cli
