// The tabular bodies of the stream information report: each cell padded with spaces to its file
// width in code page 936 bytes (a Chinese character takes two), the header row from the column
// titles. A cell already as wide as its column or wider is written as it is.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

struct ReportColumn {
    const char* title;
    int printWidth;  // pixels, for the page printer
};

struct ReportTableLayout {
    // File widths of the leading cells; a cell beyond them is written unpadded.
    std::span<const std::size_t> widths;
    std::string_view afterLast;  // written after the row's last cell
    // A padded cell at least this wide ends the line after its padding, and the row goes on in a
    // new line that starts with wrapIndent spaces (0: rows never wrap).
    std::size_t wrapAt = 0;
    std::size_t wrapIndent = 0;
};

// The lines of one row (more than one when it wraps).
void appendReportRow(std::span<const std::string> cells, const ReportTableLayout& layout,
                     std::vector<std::string>& out);

// The header row of the column titles, then every row.
std::vector<std::string> reportTable(std::span<const ReportColumn> columns,
                                     std::span<const std::vector<std::string>> rows,
                                     const ReportTableLayout& layout);

// The file layouts of the tabular kinds: the multiplex structure (kind 1), the event list
// (kind 3) and the guide's events (kind 10).
const ReportTableLayout& structureTableLayout();
const ReportTableLayout& eventTableLayout();
const ReportTableLayout& guideTableLayout();
std::span<const ReportColumn> structureColumns();
std::span<const ReportColumn> eventColumns();
std::span<const ReportColumn> guideColumns();

}  // namespace orv
