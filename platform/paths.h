// Windows drive paths on Linux: texts such as "c:\ERROR.log" keep their Windows form in settings
// and messages, and are placed under a per-user data folder when a file is opened. The folder is
// $ORV_DATA_DIR when set, else $XDG_DATA_HOME/orv01 (default ~/.local/share/orv01); the drive
// letter becomes a sub-folder, so "c:\ERROR.log" is <folder>/c/ERROR.log. Every other path,
// absolute or relative, is used as it stands.
#pragma once

#include <filesystem>
#include <string_view>

namespace orv {

std::filesystem::path userDataDir();

// True for "X:" followed by anything (X a letter), the form the drive mapping applies to.
bool isDrivePath(std::string_view path);

// The file a path names on this system. "." and ".." parts of a drive path are dropped, so a
// mapped path never leaves the data folder.
std::filesystem::path mapDrivePath(std::string_view path);

}  // namespace orv
