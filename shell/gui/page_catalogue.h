// The ten results pages of the main window in index order: the menu item of "功能模块", the
// navigation bar's entry and the page's own title.
#pragma once

#include <array>
#include <string_view>

namespace orv::gui {

struct PageInfo {
    std::string_view menuText;
    std::string_view navText;
    std::string_view title;
};

inline constexpr int kPageCount = 10;

enum PageIndex : int {
    kPageBasic = 0,
    kPageTr290 = 1,
    kPageProgram = 2,
    kPageBandwidth = 3,
    kPagePcr = 4,
    kPageTables = 5,
    kPageBuffer = 6,
    kPagePes = 7,
    kPageCapture = 8,
    kPageGuide = 9,
};

inline constexpr std::array<PageInfo, kPageCount> kPages{{
    {"基本信息", "基本信息", "基本信息"},
    {"TR101 290监测", "TR101 290监测", "TR101 290监测"},
    {"节目分析", "节目分析", "节目分析"},
    {"带宽信息", "传送流浏览", "TS PID浏览"},
    {"PCR分析", "PCR分析", "PCR分析"},
    {"PSI/SI表分析", "PSI/SI表分析", "PSI/SI表详细描述"},
    {"缓冲器分析", "缓冲器分析", "缓冲器分析"},
    {"PES分析", "PES分析", "PES分析"},
    {"数据捕获", "数据捕获", "传送流数据捕捉"},
    {"电子节目指南", "电子节目指南", "电子节目指南"},
}};

}  // namespace orv::gui
