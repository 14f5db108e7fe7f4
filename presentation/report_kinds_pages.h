// The bodies of three kinds of the printed stream information report, written from the page
// models: the multiplex structure (kind 1), the basic information (kind 2) and the selected
// program (kind 4). UTF-8 lines without line ends; the report file's title and time lines, the
// padding of tabular cells, the encoding and the printing belong to the report framework.
#pragma once

#include <string>
#include <vector>

#include "presentation/basic_info_page.h"
#include "presentation/program_info_page.h"

namespace orv {

struct InterfaceSettings;

// Kind 1: the cells of each row of the structure list, unpadded, without the header row. The
// nine columns: "分组", "类型描述", "标识符", "CA_SYS_ID", "CA_PID", "PID", "PCR_PID",
// "码率(Mbps)", "带宽(%)". ECM and EMM rows give their PID as CA_PID.
std::vector<std::vector<std::string>> structureReportRows(const BasicInfo& info);
std::vector<std::vector<std::string>> structureReportRows(const BasicInfoPage& page);

// Kind 2. `cable`: the interface settings when the input is the cable (QAM) input, else nullptr.
std::vector<std::string> basicInfoReportLines(const BasicInfo& info,
                                              const InterfaceSettings* cable);
std::vector<std::string> basicInfoReportLines(const BasicInfoPage& page,
                                              const InterfaceSettings* cable);

// Kind 4: the program shown on the program page.
std::vector<std::string> programReportLines(const ProgramView& view);
std::vector<std::string> programReportLines(const ProgramInfoPage& page);

// One row of the repetition table of kind 2, TAB TAB TAB included.
std::string intervalReportLine(const IntervalRow& row);

}  // namespace orv
