// Runs a command with the standard output kept for its own output: the card library traces its
// device opens with printf, which would break JSON lines, so whatever else writes to the standard
// output goes to stderr while the command runs. The command writes to the stream it is given.
#pragma once

#include <functional>
#include <iosfwd>

namespace orv::cli {

int runWithOwnStdout(const std::function<int(std::ostream& out)>& command);

}  // namespace orv::cli
