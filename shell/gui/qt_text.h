// The core's UTF-8 texts as Qt strings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace orv::gui {

inline QString text(const std::string& s) {
    return QString::fromStdString(s);
}

inline QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace orv::gui
