#include "shell/cli/analyze_command.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "acquisition/offline_source.h"
#include "engine/analysis_context.h"
#include "platform/message.h"
#include "platform/paths.h"
#include "presentation/error_log_writer.h"
#include "presentation/results_page.h"
#include "shell/cli/analysis_report.h"
#include "shell/cli/html_report.h"
#include "shell/cli/html_report_data.h"
#include "shell/cli/progress_line.h"
#include "shell/settings/monitor_switches.h"

namespace orv::cli {
namespace {

const char* const kBitrateRange =
    "orv01: --bitrate takes the stream bitrate in Mbit/s, a number above 0 and at most 1000";

bool anyFinding(const AnalysisReport& r) {
    for (const KindLine& k : r.kinds)
        if (k.count > 0) return true;
    return false;
}

const char* endedBy(OfflineStatus s) {
    switch (s) {
        case OfflineStatus::ProgramChange:
            return "program change";
        case OfflineStatus::Stopped:
            return "stopped";
        case OfflineStatus::ReadFailed:
            return "read error";
        case OfflineStatus::FileShrank:
            return "file shrank";
        default:
            return "end of file";
    }
}

// Messages shown while the run goes on are held and shown once the results are printed, so the
// progress line and the report stay whole and a failure to write the log follows what was
// analysed.
class HeldMessages {
  public:
    HeldMessages()
        : hook_(std::in_place, [this](std::string_view text, std::string_view reason) {
              held_.emplace_back(text, reason);
          }) {}
    void release() {
        hook_.reset();
        for (const auto& [text, reason] : held_)
            showMessage(text, reason);
        held_.clear();
    }

  private:
    std::vector<std::pair<std::string, std::string>> held_;
    std::optional<ScopedReasonedMessageHook> hook_;
};

// What the system's refusal leaves unsaid on the command line.
void explainRefusal(const AnalyzeOptions& o, const OfflineResult& result,
                    const AnalysisContext& ctx) {
    if (result.status == OfflineStatus::NoBitrate) {
        showMessage("orv01: " + o.file +
                    ": no usable PCR pair in the first 40000 packets, so the stream bitrate "
                    "cannot be measured; nothing was analysed (give the bitrate with --bitrate "
                    "MBPS)");
    } else if (result.status == OfflineStatus::InitFailed && ctx.pat.patFound) {
        showMessage(
            "orv01: without a PMT there is no PCR to time the stream; --bitrate MBPS "
            "analyses its tables at that rate");
    }
}

bool writeHtml(const std::string& path, const AnalysisReport& report,
               const TimingCollector& timing) {
    HtmlReportInput input;
    input.report = &report;
    std::error_code ec;
    input.fileBytes = std::filesystem::file_size(report.file, ec);
    const std::time_t now = std::time(nullptr);
    char stamp[32] = "";
    if (const std::tm* local = std::localtime(&now))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", local);
    input.generatedAt = stamp;
    timing.addTo(input);
    const std::string page = htmlReport(input);
    int error = 0;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (std::fwrite(page.data(), 1, page.size(), f) != page.size()) error = errno ? errno : EIO;
        if (std::fclose(f) != 0 && error == 0) error = errno ? errno : EIO;
    } else {
        error = errno ? errno : EIO;
    }
    const bool ok = error == 0;
    if (!ok)
        showMessage("orv01: cannot write the HTML report " + path + ": " + std::strerror(error));
    return ok;
}

}  // namespace

std::optional<double> parseBitrateOption(std::string_view text) {
    double mbps = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), mbps);
    if (ec != std::errc{} || end != text.data() + text.size() || !isUsableBitrate(mbps)) {
        showMessage(kBitrateRange);
        return std::nullopt;
    }
    return mbps;
}

int runAnalyze(const AnalyzeOptions& o, std::ostream& out) {
    return runAnalyze(o, out, std::cerr);
}

int runAnalyze(const AnalyzeOptions& o, std::ostream& out, std::ostream& progressOut) {
    if (o.bitrateMbps && !isUsableBitrate(*o.bitrateMbps)) {
        showMessage(kBitrateRange);
        return kExitInputError;
    }
    auto ctx = std::make_unique<AnalysisContext>();
    if (!loadMonitorSwitches(*ctx)) return kExitInputError;
    if (o.switches) {
        const std::optional<MonitorSwitches> s = parseSwitches(*o.switches, true);
        if (!s) {
            showMessage("orv01: --switches takes 32 characters '0' or '1'");
            return kExitInputError;
        }
        ctx->monitorEnabled = *s;
    }
    // Without a log the page still restarts its list every 2000 rows; the rows it hands over then
    // go nowhere, and the report shows the rows since the last restart.
    ctx->logSettings.errorLogPath = o.writeLog ? o.logPath : "/dev/null";
    ctx->logSettings.logPathIsDefault = o.logPath == "c:\\ERROR.log";

    ResultsPage page;
    ProgressLine line(progressOut);
    OfflineProgress progress;
    progress.drainEvents = [&] { page.drainPending(*ctx); };
    if (o.progress) {
        progress.advanced = [&](uint64_t done, uint64_t total) { line.update(done, total); };
        progress.finished = [&] { line.end(); };
    }
    OfflineOptions options;
    options.bitrateMbps = o.bitrateMbps;

    // The HTML report draws every timing measurement of the run, not only the pages' latest.
    std::optional<TimingCollector> timing;
    if (o.htmlPath) ctx->measurementObserver = &timing.emplace(*ctx);

    HeldMessages held;
    const OfflineResult result = analyseFile(*ctx, o.file, progress, options);
    line.end();
    if (!result.mainPassStarted) {
        held.release();
        explainRefusal(o, result, *ctx);
        return kExitInputError;
    }

    // The last refresh of the page: the last events and the error rate.
    page.refresh(*ctx);
    AnalysisReport report = buildReport(o.file, *ctx, page);
    report.endedBy = endedBy(result.status);
    report.bitrateGiven = options.bitrateMbps.has_value();
    if (o.writeLog) {
        // As a stop does: the event list goes to the error log.
        if (writeErrorLog(*ctx, page) == ErrorLogResult::Appended)
            report.errorLog = isDrivePath(o.logPath) ? mapDrivePath(o.logPath).string() : o.logPath;
    }
    report.errorLogFailed = page.failedSaves() > 0;
    out << (o.json ? reportJson(report) : reportText(report)) << std::flush;
    const bool htmlWritten = !o.htmlPath || writeHtml(*o.htmlPath, report, *timing);
    held.release();

    if (result.status == OfflineStatus::ReadFailed || result.status == OfflineStatus::FileShrank)
        return kExitIncomplete;
    if (report.errorLogFailed || !htmlWritten) return kExitLogNotWritten;
    return o.failOnFindings && anyFinding(report) ? kExitFindings : kExitAnalysed;
}

}  // namespace orv::cli
