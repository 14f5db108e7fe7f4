// Code page 936 (GBK) texts: conversion between the program's internal UTF-8 and the CP936 bytes
// of the error log and the reports, and the CP936 byte widths the report columns are aligned on.
//
// Conversions never drop data silently: a character that cannot be converted is replaced (in
// CP936 output by an ASCII escape that keeps its value, in UTF-8 output by U+FFFD) and the result
// says so, with the kind of the first problem and the number of replacements. All functions are
// thread-safe (each thread keeps its own converters).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

enum class CodecStatus {
    Ok,
    InvalidInput,  // the input is not valid in its own encoding (bad UTF-8, bad GBK bytes)
    Unmappable,    // valid input holding a character the target cannot represent
    NoConverter,   // the system has no GBK converter; the text was not converted
};

struct CodecResult {
    std::string text;                      // the converted text, replacements included
    CodecStatus status = CodecStatus::Ok;  // the first problem met
    std::size_t replaced = 0;              // number of replaced characters or bytes

    bool ok() const { return status == CodecStatus::Ok; }
};

// UTF-8 to CP936. A character outside GBK becomes "\u{XXXX}" (its code point, at least four
// upper-case hex digits), an invalid UTF-8 byte "\xNN".
[[nodiscard]] CodecResult utf8ToCp936(std::string_view utf8);

// CP936 to UTF-8. Invalid or truncated GBK sequences become U+FFFD, one per bad byte.
[[nodiscard]] CodecResult cp936ToUtf8(std::string_view cp936);

// Bytes the text takes once converted by utf8ToCp936: 1 for ASCII (and the euro sign, 0x80),
// 2 for a Chinese or other GBK character, the length of the escape for anything else.
std::size_t cp936Width(std::string_view utf8);

// The longest prefix of the text that takes at most maxBytes in CP936, ending on a character
// boundary.
std::string_view cutToCp936Width(std::string_view utf8, std::size_t maxBytes);

// The longest prefix of the text of at most maxBytes UTF-8 bytes that does not end inside a
// character (for fixed UTF-8 buffers).
std::string_view cutUtf8(std::string_view utf8, std::size_t maxBytes);

// Length of the well-formed UTF-8 sequence at the start of s (no overlong form, no surrogate,
// nothing above U+10FFFF) with its code point in cp, or 0 when the first byte starts none.
std::size_t utf8CharAt(std::string_view s, char32_t& cp);

enum class Align { Left, Right };

// The text filled with spaces to exactly `column` CP936 bytes (left-aligned: spaces after it).
// A text already wider than the column is returned unchanged; cut it first to keep the column.
std::string padToCp936Width(std::string_view utf8, std::size_t column, Align align = Align::Left);

}  // namespace orv
