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
    explicit HeldMessages(std::vector<std::pair<std::string, std::string>>& held)
        : held_(held), hook_([this](std::string_view text, std::string_view reason) {
              held_.emplace_back(text, reason);
          }) {}

  private:
    std::vector<std::pair<std::string, std::string>>& held_;
    ScopedReasonedMessageHook hook_;
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

std::optional<AnalysedFile> analyseFileForReport(const AnalyzeOptions& o,
                                                 std::ostream& progressOut) {
    if (o.bitrateMbps && !isUsableBitrate(*o.bitrateMbps)) {
        showMessage(kBitrateRange);
        return std::nullopt;
    }
    AnalysedFile run;
    run.ctx = std::make_unique<AnalysisContext>();
    run.page = std::make_unique<ResultsPage>();
    AnalysisContext& ctx = *run.ctx;
    ResultsPage& page = *run.page;
    if (!loadMonitorSwitches(ctx)) return std::nullopt;
    if (o.switches) {
        const std::optional<MonitorSwitches> s = parseSwitches(*o.switches, true);
        if (!s) {
            showMessage("orv01: --switches takes 32 characters '0' or '1'");
            return std::nullopt;
        }
        ctx.monitorEnabled = *s;
    }
    // Without a log the page still restarts its list every 2000 rows; the rows it hands over then
    // go nowhere, and the report shows the rows since the last restart.
    ctx.logSettings.errorLogPath = o.writeLog ? o.logPath : "/dev/null";
    ctx.logSettings.logPathIsDefault = o.logPath == "c:\\ERROR.log";

    ProgressLine line(progressOut);
    OfflineProgress progress;
    progress.drainEvents = [&] { page.drainPending(ctx); };
    if (o.progress) {
        progress.advanced = [&](uint64_t done, uint64_t total) { line.update(done, total); };
        progress.finished = [&] { line.end(); };
    }
    OfflineOptions options;
    options.bitrateMbps = o.bitrateMbps;

    // The HTML report draws every timing measurement of the run, not only the pages' latest.
    if (o.htmlPath) {
        run.timing = std::make_unique<TimingCollector>(ctx);
        ctx.measurementObserver = run.timing.get();
    }

    OfflineResult result;
    {
        HeldMessages held(run.heldMessages);
        result = analyseFile(ctx, o.file, progress, options);
        line.end();
        if (result.mainPassStarted) {
            // The last refresh of the page: the last events and the error rate.
            page.refresh(ctx);
        }
    }
    if (!result.mainPassStarted) {
        showHeldMessages(run);
        explainRefusal(o, result, ctx);
        return std::nullopt;
    }
    run.status = result.status;
    run.bitrateGiven = options.bitrateMbps.has_value();
    return run;
}

void showHeldMessages(AnalysedFile& analysed) {
    for (const auto& [text, reason] : analysed.heldMessages)
        showMessage(text, reason);
    analysed.heldMessages.clear();
}

int incompleteExitCode(const AnalysedFile& analysed) {
    return analysed.status == OfflineStatus::ReadFailed ||
                   analysed.status == OfflineStatus::FileShrank
               ? kExitIncomplete
               : kExitAnalysed;
}

int runAnalyze(const AnalyzeOptions& o, std::ostream& out, std::ostream& progressOut) {
    std::optional<AnalysedFile> run = analyseFileForReport(o, progressOut);
    if (!run) return kExitInputError;
    AnalysisContext& ctx = *run->ctx;
    ResultsPage& page = *run->page;

    AnalysisReport report = buildReport(o.file, ctx, page);
    report.endedBy = endedBy(run->status);
    report.bitrateGiven = run->bitrateGiven;
    std::vector<std::pair<std::string, std::string>> logMessages;
    if (o.writeLog) {
        // As a stop does: the event list goes to the error log. Its failure message, too,
        // follows the results.
        HeldMessages held(logMessages);
        if (writeErrorLog(ctx, page) == ErrorLogResult::Appended)
            report.errorLog = isDrivePath(o.logPath) ? mapDrivePath(o.logPath).string() : o.logPath;
    }
    report.errorLogFailed = page.failedSaves() > 0;
    out << (o.json ? reportJson(report) : reportText(report)) << std::flush;
    bool htmlWritten = true;
    if (o.htmlPath) {
        HeldMessages held(logMessages);
        htmlWritten = writeHtml(*o.htmlPath, report, *run->timing);
    }
    run->heldMessages.insert(run->heldMessages.end(), logMessages.begin(), logMessages.end());
    showHeldMessages(*run);

    if (const int incomplete = incompleteExitCode(*run); incomplete != kExitAnalysed)
        return incomplete;
    if (report.errorLogFailed || !htmlWritten) return kExitLogNotWritten;
    return o.failOnFindings && anyFinding(report) ? kExitFindings : kExitAnalysed;
}

}  // namespace orv::cli
