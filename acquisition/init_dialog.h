// The initialisation dialog of an online run without its window: three status lines, the list of
// PIDs seen, a progress bar and the button that stops the analysis. The run control opens it at
// the start of a run and closes it when the initialisation is over (or the run stops); a GUI draws
// it, the command line may print it. Its button "停止分析" stops the analysis (RunControl::stop).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "engine/init_hooks.h"

namespace orv {

inline constexpr std::string_view kInitDialogTitle = "在线读进数据 . . . . . . .";
inline constexpr std::string_view kInitDialogFirstLine = "分析PAT.......";
inline constexpr std::string_view kInitDialogStopButton = "停止分析";

struct InitDialog {
    bool open = false;
    // Status lines 1003, 1004 and 1005.
    std::array<std::string, 3> lines;
    std::vector<std::string> pids;  // "0x%04x", in order of first appearance
    int progress = 0;               // the bar, 0..99

    // Opens it as a new run shows it: the first line "分析PAT.......", the others empty.
    void show() {
        *this = {};
        open = true;
        lines[0] = kInitDialogFirstLine;
    }
    void close() { open = false; }
    // Line by control id (1003..1005); an unknown id reads as empty.
    const std::string& line(int controlId) const {
        static const std::string none;
        const int i = controlId - kDialogLinePat;
        return i >= 0 && i < static_cast<int>(lines.size()) ? lines[static_cast<std::size_t>(i)]
                                                            : none;
    }
    // Updates are ignored while the dialog is not open.
    void setLine(int controlId, std::string_view text) {
        const int i = controlId - kDialogLinePat;
        if (open && i >= 0 && i < static_cast<int>(lines.size()))
            lines[static_cast<std::size_t>(i)] = text;
    }
    void addPid(std::string_view text) {
        if (open) pids.emplace_back(text);
    }
};

}  // namespace orv
