// Appending a block of text to a file the user named, as the error log and the stream
// information report do: a drive path such as "c:\TS_DATA.log" is mapped onto the user's data
// folder (created when missing), the block goes in with one write, and a failure shows the
// system's message with the file's path and the errno text as its reason.
#pragma once

#include <filesystem>
#include <string_view>

namespace orv {

enum class AppendStatus {
    Appended,
    OpenFailed,   // the file could not be opened; nothing was written
    WriteFailed,  // the block could not be written whole
};

struct AppendOutcome {
    AppendStatus status = AppendStatus::Appended;
    std::filesystem::path file;  // the file the path names on this system
    int error = 0;               // errno of the failure
};

// Appends the bytes; creates the file when missing. Shows nothing.
AppendOutcome appendToFile(std::string_view configuredPath, std::string_view bytes);

// Shows "打开文件%s时出错。" or "写入文件%s时出错。" for a failed append (nothing when it worked).
void showAppendFailure(const AppendOutcome& outcome);

}  // namespace orv
