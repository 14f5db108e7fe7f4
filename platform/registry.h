// The current user's registry, stood in by files: a key is a folder under the registry root and a
// value is a file holding the value's raw bytes. The root is $ORV_REGISTRY_DIR when set, else
// $XDG_CONFIG_HOME/orv01/registry (default ~/.config/orv01/registry). Key paths keep their
// backslash-separated names ("Software\Microsoft\Zel").
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orv {

std::filesystem::path registryRoot();

class RegistryKey {
  public:
    // Opens the key, creating it (and its parents) when it does not exist; nullopt when neither
    // works.
    static std::optional<RegistryKey> openOrCreate(std::string_view keyPath);

    // The value's bytes, at most maxBytes of them; nullopt when the value does not exist or cannot
    // be read.
    std::optional<std::string> read(std::string_view name, std::size_t maxBytes) const;
    // Replaces the value; the old bytes stay whole if the write fails.
    bool write(std::string_view name, std::string_view bytes) const;

    const std::filesystem::path& folder() const { return folder_; }

  private:
    explicit RegistryKey(std::filesystem::path folder) : folder_(std::move(folder)) {}
    std::filesystem::path folder_;
};

}  // namespace orv
