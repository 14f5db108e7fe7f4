#include "shell/cli/progress_line.h"

#include <cstdio>
#include <ostream>

namespace orv::cli {

void ProgressLine::update(uint64_t done, uint64_t total) {
    // A file can grow while it is read; the line never claims more than all of it.
    const int percent = total == 0 || done >= total ? 100 : static_cast<int>(done * 100 / total);
    if (percent == shown_ && open_) return;
    shown_ = percent;
    open_ = true;
    char text[32];
    std::snprintf(text, sizeof text, "\ranalysing %3d %%", percent);
    out_ << text << std::flush;
}

void ProgressLine::end() {
    if (!open_) return;
    open_ = false;
    out_ << '\n' << std::flush;
}

}  // namespace orv::cli
