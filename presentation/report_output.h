// The output every writer of the stream information report shares: a block of the title line,
// the time line and the body, appended to the report file in code page 936 (or UTF-8 when the
// user chose it). Lines are built as UTF-8 text without line ends; the file gets CR LF, as the
// Windows program's text-mode files had, and so does the error log beside it.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "presentation/file_append.h"

namespace orv {

enum class ReportEncoding { Gbk, Utf8 };

inline constexpr const char* kDefaultReportPath = "c:\\TS_DATA.log";

// "时间 %d/%d/%d %02d:%02d:%02d" (year, month 1..12, day, hour, minute, second) of the local
// time t; empty when t cannot be converted.
std::string reportTimeText(std::time_t t);

// The bytes of one block: the title lines, the time line followed by a TAB, the body lines; each
// line ended by CR LF, then converted to the encoding (a character GBK does not hold is written
// as its "\u{XXXX}" escape).
std::string formatReportBlock(const std::vector<std::string>& titleLines, std::time_t time,
                              const std::vector<std::string>& body, ReportEncoding encoding);

// Appends a block to the report file. On failure shows "打开文件%s时出错。" (nothing was
// written) or "写入文件%s时出错。" with the file's path and the system's reason.
AppendOutcome appendReportBlock(std::string_view path, std::string_view block);

}  // namespace orv
