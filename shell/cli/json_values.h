// Small conversions shared by the JSON documents: an absent value is null, never a made-up zero.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace orv::cli {

template <class T>
nlohmann::json orNull(const std::optional<T>& v) {
    return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

// An empty page text means "not present".
inline nlohmann::json orNull(const std::string& text) {
    return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

}  // namespace orv::cli
