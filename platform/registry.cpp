#include "platform/registry.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace orv {
namespace {

// A key or value name may not climb out of the registry folder.
bool safeName(std::string_view part) {
    return !part.empty() && part != "." && part != ".." &&
           part.find('/') == std::string_view::npos && part.find('\0') == std::string_view::npos;
}

}  // namespace

std::filesystem::path registryRoot() {
    if (const char* dir = std::getenv("ORV_REGISTRY_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0')
        return std::filesystem::path(xdg) / "orv01" / "registry";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : ".") / ".config" / "orv01" / "registry";
}

std::optional<RegistryKey> RegistryKey::openOrCreate(std::string_view keyPath) {
    std::filesystem::path folder = registryRoot();
    std::size_t start = 0;
    while (start <= keyPath.size()) {
        const std::size_t end = std::min(keyPath.find('\\', start), keyPath.size());
        const std::string_view part = keyPath.substr(start, end - start);
        if (!safeName(part)) return std::nullopt;
        folder /= std::string(part);
        start = end + 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) return std::nullopt;
    return RegistryKey(std::move(folder));
}

std::optional<std::string> RegistryKey::read(std::string_view name, std::size_t maxBytes) const {
    if (!safeName(name)) return std::nullopt;
    std::ifstream in(folder_ / std::string(name), std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes(maxBytes, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(maxBytes));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

bool RegistryKey::write(std::string_view name, std::string_view bytes) const {
    if (!safeName(name)) return false;
    const std::filesystem::path target = folder_ / std::string(name);
    std::filesystem::path temp = target;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (!ec) return true;
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
}

}  // namespace orv
