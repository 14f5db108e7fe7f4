// The progress of a long run on one terminal line ("analysing  42 %"), redrawn in place when the
// percentage changes and ended with a newline, so what follows starts on a line of its own.
#pragma once

#include <cstdint>
#include <iosfwd>

namespace orv::cli {

class ProgressLine {
  public:
    explicit ProgressLine(std::ostream& out) : out_(out) {}
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { end(); }

    // done of total units; a total of 0 counts as finished, done beyond total as 100 %.
    void update(uint64_t done, uint64_t total);
    // Ends the line (once) if anything was drawn.
    void end();

  private:
    std::ostream& out_;
    int shown_ = -1;
    bool open_ = false;
};

}  // namespace orv::cli
