// Conversions go through the C library's iconv. An iconv descriptor carries conversion state and
// must not be shared between threads, so each thread opens its own on first use and keeps it
// until the thread ends.
#include "platform/text_codec.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/iconv_converter.h"

namespace orv {
namespace {

// glibc knows code page 936 as "CP936" (an alias of its "GBK", which includes the euro sign at
// 0x80); other iconv implementations may only know one of the two names.
using Converter = detail::IconvConverter;

Converter& encoder() {
    thread_local Converter c({"CP936", "GBK"}, {"UTF-8"});
    return c;
}

Converter& decoder() {
    thread_local Converter c({"UTF-8"}, {"CP936", "GBK"});
    return c;
}

// What stands in the CP936 text for a character GBK does not hold ("\u{00F1}", at least four
// hex digits) and for a byte that is not UTF-8 ("\xFF"): plain ASCII, so nothing is lost.
std::string unmappableEscape(char32_t cp) {
    char text[16];
    std::snprintf(text, sizeof text, "\\u{%04X}", static_cast<unsigned>(cp));
    return text;
}

std::string invalidByteEscape(unsigned char b) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", b);
    return text;
}

constexpr std::size_t kInvalidByteWidth = 4;  // "\xNN"

std::size_t unmappableWidth(char32_t cp) {
    std::size_t digits = 4;
    for (char32_t rest = cp >> 16; rest != 0; rest >>= 4)
        ++digits;
    return digits + 4;  // "\u{" and "}"
}

// CP936 byte width of a BMP code point, measured from the converter itself so that widths always
// agree with what utf8ToCp936 writes. GBK holds nothing outside the BMP.
std::size_t measureWidth(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xD800 && cp <= 0xDFFF)) return 1;
    thread_local Converter c({"CP936", "GBK"}, {"UTF-8"});
    if (!c.valid()) return 2;  // no converter: assume every non-ASCII character is double-byte
    std::array<char, 3> utf8{};
    std::size_t inLeft = 0;
    if (cp < 0x800) {
        utf8 = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        inLeft = 2;
    } else {
        utf8 = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                static_cast<char>(0x80 | (cp & 0x3F))};
        inLeft = 3;
    }
    const char* in = utf8.data();
    std::string out;
    return c.convert(in, inLeft, out) ? out.size() : unmappableWidth(cp);
}

// Each code point is measured the first time a text holds it (0: not measured yet), not all
// 65536 of them up front, which took longer than analysing a small file. Any thread may fill an
// entry; all of them write the same value.
std::array<std::atomic<std::uint8_t>, 0x10000> widthCache{};

std::size_t charWidth(char32_t cp) {
    if (cp < 0x80) return 1;
    if (cp >= 0x10000) return unmappableWidth(cp);
    std::atomic<std::uint8_t>& entry = widthCache[cp];
    std::uint8_t width = entry.load(std::memory_order_relaxed);
    if (width == 0) {
        width = static_cast<std::uint8_t>(measureWidth(cp));
        entry.store(width, std::memory_order_relaxed);
    }
    return width;
}

// Calls f(unitLength, width) for each character of the text; an invalid byte is a unit of its
// own (it becomes one "\xNN"). Stops when f returns false.
template <typename F>
void forEachUnit(std::string_view s, F&& f) {
    while (!s.empty()) {
        char32_t cp = 0;
        std::size_t len = utf8CharAt(s, cp);
        const std::size_t width = len == 0 ? kInvalidByteWidth : charWidth(cp);
        if (len == 0) len = 1;
        if (!f(len, width)) return;
        s.remove_prefix(len);
    }
}

void note(CodecResult& r, CodecStatus status) {
    if (r.status == CodecStatus::Ok) r.status = status;
    ++r.replaced;
}

}  // namespace

std::size_t utf8CharAt(std::string_view s, char32_t& cp) {
    if (s.empty()) return 0;
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < len) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

CodecResult utf8ToCp936(std::string_view utf8) {
    CodecResult r;
    Converter& c = encoder();
    if (!c.valid()) {
        r.text.assign(utf8);
        r.status = CodecStatus::NoConverter;
        return r;
    }
    r.text.reserve(utf8.size());
    // Only well-formed runs reach iconv; invalid bytes are replaced here, so the two kinds of
    // failure are told apart the same way whatever the iconv implementation accepts.
    while (!utf8.empty()) {
        std::size_t run = 0;
        char32_t cp = 0;
        while (run < utf8.size()) {
            const std::size_t len = utf8CharAt(utf8.substr(run), cp);
            if (len == 0) break;
            run += len;
        }
        const char* in = utf8.data();
        std::size_t inLeft = run;
        while (!c.convert(in, inLeft, r.text)) {
            // A well-formed character GBK does not hold.
            const std::size_t len = std::max<std::size_t>(1, utf8CharAt({in, inLeft}, cp));
            r.text += unmappableEscape(cp);
            note(r, CodecStatus::Unmappable);
            in += len;
            inLeft -= len;
        }
        utf8.remove_prefix(run);
        if (!utf8.empty()) {  // an invalid byte ends the run
            r.text += invalidByteEscape(static_cast<unsigned char>(utf8.front()));
            note(r, CodecStatus::InvalidInput);
            utf8.remove_prefix(1);
        }
    }
    return r;
}

CodecResult cp936ToUtf8(std::string_view cp936) {
    CodecResult r;
    Converter& c = decoder();
    if (!c.valid()) {
        r.text.assign(cp936);
        r.status = CodecStatus::NoConverter;
        return r;
    }
    r.text.reserve(cp936.size() * 3 / 2);
    const char* in = cp936.data();
    std::size_t inLeft = cp936.size();
    while (!c.convert(in, inLeft, r.text)) {
        r.text.append("\xEF\xBF\xBD");  // U+FFFD for the bad byte; decoding resumes after it
        note(r, CodecStatus::InvalidInput);
        ++in;
        --inLeft;
    }
    return r;
}

std::size_t cp936Width(std::string_view utf8) {
    std::size_t total = 0;
    forEachUnit(utf8, [&](std::size_t, std::size_t width) {
        total += width;
        return true;
    });
    return total;
}

std::string_view cutToCp936Width(std::string_view utf8, std::size_t maxBytes) {
    std::size_t bytes = 0;
    std::size_t width = 0;
    forEachUnit(utf8, [&](std::size_t len, std::size_t w) {
        if (width + w > maxBytes) return false;
        width += w;
        bytes += len;
        return true;
    });
    return utf8.substr(0, bytes);
}

std::string_view cutUtf8(std::string_view utf8, std::size_t maxBytes) {
    if (utf8.size() <= maxBytes) return utf8;
    std::size_t bytes = 0;
    forEachUnit(utf8, [&](std::size_t len, std::size_t) {
        if (bytes + len > maxBytes) return false;
        bytes += len;
        return true;
    });
    return utf8.substr(0, bytes);
}

std::string padToCp936Width(std::string_view utf8, std::size_t column, Align align) {
    const std::size_t width = cp936Width(utf8);
    std::string out;
    const std::size_t fill = width < column ? column - width : 0;
    out.reserve(utf8.size() + fill);
    if (align == Align::Right) out.append(fill, ' ');
    out.append(utf8);
    if (align == Align::Left) out.append(fill, ' ');
    return out;
}

}  // namespace orv
