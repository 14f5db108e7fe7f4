#include "platform/paths.h"

#include <cstdlib>
#include <string>

namespace orv {
namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::filesystem::path userDataDir() {
    if (const char* dir = std::getenv("ORV_DATA_DIR"); dir != nullptr && *dir != '\0') return dir;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/')
        return std::filesystem::path(xdg) / "orv01";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr && *home != '\0' ? home : ".") / ".local" /
           "share" / "orv01";
}

bool isDrivePath(std::string_view path) {
    return path.size() >= 2 && isAsciiLetter(path[0]) && path[1] == ':';
}

std::filesystem::path mapDrivePath(std::string_view path) {
    if (!isDrivePath(path)) return std::filesystem::path(std::string(path));
    std::filesystem::path mapped = userDataDir() / std::string(1, lowerAscii(path[0]));
    std::string_view rest = path.substr(2);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find_first_of("\\/"), rest.size());
        const std::string_view part = rest.substr(0, end);
        if (!part.empty() && part != "." && part != "..") mapped /= std::string(part);
        rest.remove_prefix(end == rest.size() ? end : end + 1);
    }
    return mapped;
}

}  // namespace orv
