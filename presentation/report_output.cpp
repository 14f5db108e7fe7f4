#include "presentation/report_output.h"

#include <cstdio>

#include "platform/text_codec.h"

namespace orv {

std::string reportTimeText(std::time_t t) {
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) return {};
    char text[64];
    const int n =
        std::snprintf(text, sizeof text, "时间 %d/%d/%d %02d:%02d:%02d", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return std::string(text, n > 0 && n < static_cast<int>(sizeof text) ? n : 0);
}

std::string formatReportBlock(const std::vector<std::string>& titleLines, std::time_t time,
                              const std::vector<std::string>& body, ReportEncoding encoding) {
    std::string utf8;
    std::size_t size = 64;
    for (const std::string& line : titleLines)
        size += line.size() + 2;
    for (const std::string& line : body)
        size += line.size() + 2;
    utf8.reserve(size);
    for (const std::string& line : titleLines)
        utf8.append(line).append("\r\n");
    utf8.append(reportTimeText(time)).append("\t\r\n");
    for (const std::string& line : body)
        utf8.append(line).append("\r\n");
    return encoding == ReportEncoding::Utf8 ? utf8 : utf8ToCp936(utf8).text;
}

AppendOutcome appendReportBlock(std::string_view path, std::string_view block) {
    const AppendOutcome outcome = appendToFile(path, block);
    showAppendFailure(outcome);
    return outcome;
}

}  // namespace orv
