#include "shell/cli/analyze_command.h"

#include <cstdio>
#include <memory>
#include <ostream>

#include "acquisition/offline_source.h"
#include "engine/analysis_context.h"
#include "platform/message.h"
#include "platform/paths.h"
#include "presentation/error_log_writer.h"
#include "presentation/results_page.h"
#include "shell/cli/analysis_report.h"
#include "shell/settings/monitor_switches.h"

namespace orv::cli {
namespace {

void showProgress(uint64_t done, uint64_t total) {
    static int last = -1;
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    if (percent == last) return;
    last = percent;
    std::fprintf(stderr, "\ranalysing %3d %%", percent);
    if (percent >= 100) std::fputc('\n', stderr);
}

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
        default:
            return "end of file";
    }
}

}  // namespace

int runAnalyze(const AnalyzeOptions& o, std::ostream& out) {
    auto ctx = std::make_unique<AnalysisContext>();
    if (!loadMonitorSwitches(*ctx)) return 2;
    if (o.switches) {
        const std::optional<MonitorSwitches> s = parseSwitches(*o.switches, true);
        if (!s) {
            showMessage("orv01: --switches takes 32 characters '0' or '1'");
            return 2;
        }
        ctx->monitorEnabled = *s;
    }
    // Without a log the page still restarts its list every 2000 rows; the rows it hands over then
    // go nowhere, and the report shows the rows since the last restart.
    ctx->logSettings.errorLogPath = o.writeLog ? o.logPath : "/dev/null";
    ctx->logSettings.logPathIsDefault = o.logPath == "c:\\ERROR.log";

    ResultsPage page;
    OfflineProgress progress;
    progress.drainEvents = [&] { page.drainPending(*ctx); };
    if (o.progress) progress.advanced = showProgress;
    const OfflineResult result = analyseFile(*ctx, o.file, progress);

    switch (result.status) {
        case OfflineStatus::Completed:
        case OfflineStatus::ProgramChange:
        case OfflineStatus::Stopped:
            break;
        case OfflineStatus::NoBitrate:
            showMessage("orv01: " + o.file +
                        ": no usable PCR pair in the first 40000 packets, so the stream bitrate "
                        "cannot be measured; nothing was analysed");
            return 2;
        default:
            return 2;  // the message has been shown
    }

    AnalysisReport report = buildReport(o.file, *ctx, page);
    report.endedBy = endedBy(result.status);
    if (o.writeLog) {
        // As a stop does: the event list goes to the error log.
        if (writeErrorLog(*ctx, page) == ErrorLogResult::Appended)
            report.errorLog = isDrivePath(o.logPath) ? mapDrivePath(o.logPath).string() : o.logPath;
    }
    out << (o.json ? reportJson(report) : reportText(report));
    return o.failOnFindings && anyFinding(report) ? 1 : 0;
}

}  // namespace orv::cli
