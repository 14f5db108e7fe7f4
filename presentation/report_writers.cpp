#include "presentation/report_writers.h"

#include "presentation/report_kind_capture.h"
#include "presentation/report_kinds_pages.h"

#include <cstdio>

#include "platform/message.h"
#include "presentation/guide_page.h"
#include "presentation/results_page.h"
#include "presentation/section_text.h"

namespace orv {
namespace {

const ReportKindInfo kKinds[] = {
    {1, {"传送流数据结构信息\t"}, "传送流结构信息", false, &structureReport},
    {2, {"传送流基本信息\t", "\t"}, "传送流基本信息", false, &basicInfoReport},
    {3, {"TR101 290 监测信息\t"}, "TR101监测信息", false, &eventListReport},
    {4, {"节目信息\t\t"}, "传送流节目信息", false, &programReport},
    {5, {}, "", true, nullptr},
    {6, {"表信息\t\t"}, "表信息", false, &tableReport},
    {7, {}, "", true, nullptr},
    {8, {}, "", true, nullptr},
    {9, {"\tTS数据信息\t\t"}, "TS数据信息", false, &captureReport},
    {10, {"电子节目指南\t"}, "电子节目指南", false, &guideReport},
};

ReportBody tabular(std::span<const ReportColumn> columns, const ReportTableLayout& layout,
                   std::vector<std::vector<std::string>> rows) {
    ReportBody body;
    body.lines = reportTable(columns, rows, layout);
    body.printColumns = columns;
    body.printRows = std::move(rows);
    return body;
}

}  // namespace

const ReportKindInfo* reportKind(int number) {
    if (number < 1 || number > kReportKindCount) return nullptr;
    return &kKinds[number - 1];
}

ReportBody eventListReport(const ReportSources& sources, const ReportDialog&, std::time_t) {
    std::vector<std::vector<std::string>> rows;
    if (sources.results != nullptr) {
        for (const EventRow& r : sources.results->rows())
            rows.push_back({r.number, r.time, r.type, r.detail});
    }
    return tabular(eventColumns(), eventTableLayout(), std::move(rows));
}

ReportBody structureReport(const ReportSources& sources, const ReportDialog&, std::time_t) {
    std::vector<std::vector<std::string>> rows;
    if (sources.basicInfo != nullptr) rows = structureReportRows(*sources.basicInfo);
    return tabular(structureColumns(), structureTableLayout(), std::move(rows));
}

ReportBody basicInfoReport(const ReportSources& sources, const ReportDialog&, std::time_t) {
    ReportBody body;
    if (sources.basicInfo != nullptr)
        body.lines = basicInfoReportLines(*sources.basicInfo, sources.cable);
    return body;
}

ReportBody programReport(const ReportSources& sources, const ReportDialog&, std::time_t) {
    ReportBody body;
    if (sources.program != nullptr) body.lines = programReportLines(*sources.program);
    return body;
}

ReportBody captureReport(const ReportSources& sources, const ReportDialog&, std::time_t) {
    ReportBody body;
    if (sources.capture == nullptr) {
        body.nothing = true;
        return body;
    }
    body.lines = captureReportLines(*sources.capture);
    return body;
}

ReportBody tableReport(const ReportSources& sources, const ReportDialog& dialog, std::time_t) {
    ReportBody body;
    const ReportTableChoice* choice = dialog.table();
    if (sources.ctx == nullptr || choice == nullptr) return body;
    const std::span<const uint8_t> section = reportTableSection(*sources.ctx, *choice);
    SectionText::write(section, body.lines);
    body.lines.push_back(choice->text + " 数据");
    appendHexDump(section, body.lines);
    return body;
}

ReportBody guideReport(const ReportSources& sources, const ReportDialog&, std::time_t now) {
    if (sources.guide == nullptr || sources.guide->events().empty()) {
        ReportBody refused;
        refused.refusal = "不存在电子节目指南信息!";
        return refused;
    }
    const GuidePage& page = *sources.guide;
    const GuideTexts& t = page.texts();
    std::vector<std::vector<std::string>> rows;
    for (const GuideEventRow& e : page.events())
        rows.push_back({e.number, e.eventId, e.name, e.start, e.duration});
    ReportBody body = tabular(guideColumns(), guideTableLayout(), std::move(rows));
    const std::vector<std::string> head = {
        reportTimeText(now),
        "",
        "   业务标识符:" + t.serviceId,
        "   业务名称:" + t.serviceName,
        "   业务提供者名称:" + t.providerName,
        "   业务服务类型:" + t.serviceType,
        "   业务加扰状态:" + t.scrambling,
        "   传送流标识符:" + t.transportStreamId,
        "   原始网络标识符:" + t.originalNetworkId,
        "   当地时间:" + t.localTime,
        "   GMT标准时间:" + t.gmtTime,
    };
    body.lines.insert(body.lines.begin(), head.begin(), head.end());
    return body;
}

ReportOutcome runReport(const ReportDialog& dialog, const ReportSources& sources, std::time_t now) {
    ReportOutcome outcome;
    if (!dialog.save && !dialog.print) return outcome;
    const ReportKindInfo* kind = reportKind(dialog.kind);
    if (kind == nullptr || (kind->body == nullptr && !kind->printOnly)) {
        outcome.status = ReportStatus::NotAvailable;
        return outcome;
    }
    if (kind->printOnly) {
        outcome.status = ReportStatus::PrintOnly;
        return outcome;
    }
    ReportBody body = kind->body(sources, dialog, now);
    if (body.nothing) {
        outcome.status = ReportStatus::NothingToDo;
        return outcome;
    }
    if (body.refusal) {
        showMessage(*body.refusal);
        outcome.status = ReportStatus::Refused;
        return outcome;
    }
    if (dialog.save) {
        const std::string block =
            formatReportBlock(kind->titleLines, now, body.lines, dialog.encoding);
        const AppendOutcome saved = appendReportBlock(dialog.path, block);
        outcome.file = saved.file.string();
        if (saved.status == AppendStatus::OpenFailed) {
            outcome.status = ReportStatus::OpenFailed;
            return outcome;
        }
        if (saved.status == AppendStatus::WriteFailed) outcome.status = ReportStatus::WriteFailed;
    }
    if (dialog.print) {
        outcome.print = ReportPrintJob{kind->printTitle, std::move(body.lines), body.printColumns,
                                       std::move(body.printRows)};
    }
    if (outcome.status != ReportStatus::WriteFailed) outcome.status = ReportStatus::Written;
    return outcome;
}

}  // namespace orv
