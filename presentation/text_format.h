// A small printf-style formatter for the fixed texts of the descriptor and section dumps. The
// templates are data (the catalogues), so they are never handed to the C library's printf: each
// conversion (%d, %x, %s, %f with flags '0' and '-', a width and a precision) takes the next
// argument of the matching kind, and a template with more conversions than arguments shows the
// missing ones as empty text instead of reading past the argument list.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace orv {

struct FormatArg {
    enum class Kind { Int, Real, Text };
    Kind kind;
    int64_t i = 0;
    double d = 0.0;
    std::string_view s;

    FormatArg(int64_t v) : kind(Kind::Int), i(v) {}
    FormatArg(int v) : kind(Kind::Int), i(v) {}
    FormatArg(unsigned v) : kind(Kind::Int), i(v) {}
    FormatArg(uint64_t v) : kind(Kind::Int), i(static_cast<int64_t>(v)) {}
    FormatArg(double v) : kind(Kind::Real), d(v) {}
    FormatArg(std::string_view v) : kind(Kind::Text), s(v) {}
    FormatArg(const char* v) : kind(Kind::Text), s(v) {}
    FormatArg(const std::string& v) : kind(Kind::Text), s(v) {}
};

// The template with each conversion replaced by the next argument.
std::string formatText(std::string_view tmpl, std::initializer_list<FormatArg> args);

// The regular field line of the descriptor dumps: prefix, three spaces, the name in a column of
// 28 bytes, the width text in a column of 16 bytes, then the value. Columns count code page 936
// bytes (a Chinese character takes two); a name or width wider than its column runs on unchanged.
std::string fieldLine(std::string_view prefix, std::string_view name, std::string_view width,
                      std::string_view value);

inline constexpr std::size_t kNameColumn = 28;
inline constexpr std::size_t kWidthColumn = 16;

}  // namespace orv
