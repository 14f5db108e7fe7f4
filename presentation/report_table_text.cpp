#include "presentation/report_table_text.h"

#include "platform/text_codec.h"

namespace orv {
namespace {

constexpr std::size_t kStructureWidths[] = {12, 18, 16, 12, 10, 10, 10, 14, 10};
constexpr std::size_t kEventWidths[] = {6, 20, 24};
constexpr std::size_t kGuideWidths[] = {11, 12, 46, 22};

constexpr ReportColumn kStructureColumns[] = {
    {"分组", 100}, {"类型描述", 120}, {"标识符", 90},     {"CA_SYS_ID", 70}, {"CA_PID", 70},
    {"PID", 70},   {"PCR_PID", 70},   {"码率(Mbps)", 90}, {"带宽(%)", 90},
};
constexpr ReportColumn kEventColumns[] = {
    {"序号", 80}, {"发生时间", 120}, {"事件类型", 120}, {"事件描述", 450}};
// The guide page's list widths; the report prints these columns at the page's widths.
constexpr ReportColumn kGuideColumns[] = {
    {"事件序号", 80}, {"事件标识符", 90}, {"事件名称", 150}, {"起始时间", 150}, {"持续时间", 100}};

}  // namespace

void appendReportRow(std::span<const std::string> cells, const ReportTableLayout& layout,
                     std::vector<std::string>& out) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const bool last = i + 1 == cells.size();
        if (i < layout.widths.size()) {
            const std::size_t width = layout.widths[i];
            line += padToCp936Width(cells[i], width);
            if (!last && layout.wrapAt > 0 && cp936Width(cells[i]) >= layout.wrapAt) {
                out.push_back(std::move(line));
                line.assign(layout.wrapIndent, ' ');
            }
        } else {
            line += cells[i];
        }
        if (last) line += layout.afterLast;
    }
    out.push_back(std::move(line));
}

std::vector<std::string> reportTable(std::span<const ReportColumn> columns,
                                     std::span<const std::vector<std::string>> rows,
                                     const ReportTableLayout& layout) {
    std::vector<std::string> out;
    out.reserve(rows.size() + 1);
    std::vector<std::string> titles;
    for (const ReportColumn& c : columns)
        titles.emplace_back(c.title);
    appendReportRow(titles, layout, out);
    for (const std::vector<std::string>& row : rows)
        appendReportRow(row, layout, out);
    return out;
}

const ReportTableLayout& structureTableLayout() {
    static const ReportTableLayout layout{kStructureWidths, "", 0, 0};
    return layout;
}
const ReportTableLayout& eventTableLayout() {
    static const ReportTableLayout layout{kEventWidths, "  ", 0, 0};
    return layout;
}
const ReportTableLayout& guideTableLayout() {
    static const ReportTableLayout layout{kGuideWidths, "", 46, 79};
    return layout;
}
std::span<const ReportColumn> structureColumns() {
    return kStructureColumns;
}
std::span<const ReportColumn> eventColumns() {
    return kEventColumns;
}
std::span<const ReportColumn> guideColumns() {
    return kGuideColumns;
}

}  // namespace orv
