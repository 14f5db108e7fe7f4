// Conversions go through the C library's iconv. An iconv descriptor carries conversion state and
// must not be shared between threads, so each thread opens its own on first use and keeps it
// until the thread ends.
#include "platform/text_codec.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

namespace orv {
namespace {

// glibc knows code page 936 as "CP936" (an alias of its "GBK", which includes the euro sign at
// 0x80); other iconv implementations may only know one of the two names.
constexpr std::array<const char*, 2> kCp936Names{"CP936", "GBK"};

class Converter {
  public:
    explicit Converter(bool toCp936) {
        for (const char* name : kCp936Names) {
            cd_ = toCp936 ? iconv_open(name, "UTF-8") : iconv_open("UTF-8", name);
            if (valid()) break;
        }
    }
    ~Converter() {
        if (valid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != kInvalid; }

    // Converts as much of [in, in + inLeft) as it can into out. Returns false at an input
    // sequence the converter rejects (left at *in); true when all input was consumed.
    bool convert(const char*& in, std::size_t& inLeft, std::string& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        while (inLeft > 0) {
            const std::size_t used = out.size();
            out.resize(used + inLeft * 4 + 16);
            char* dst = out.data() + used;
            std::size_t dstLeft = out.size() - used;
            // iconv's interface takes a non-const input pointer but never writes through it.
            char* src = const_cast<char*>(in);
            const std::size_t r = iconv(cd_, &src, &inLeft, &dst, &dstLeft);
            in = src;
            out.resize(static_cast<std::size_t>(dst - out.data()));
            if (r != static_cast<std::size_t>(-1)) return true;
            if (errno != E2BIG) return false;  // EILSEQ or EINVAL: bad or incomplete input
        }
        return true;
    }

  private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t cd_ = kInvalid;
};

Converter& encoder() {
    thread_local Converter c(true);
    return c;
}

Converter& decoder() {
    thread_local Converter c(false);
    return c;
}

// Length of the well-formed UTF-8 sequence at the start of s (no overlong forms, no surrogates,
// nothing above U+10FFFF), or 0 when the first byte does not start one.
std::size_t utf8Sequence(std::string_view s, char32_t& cp) {
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

// CP936 byte width of every BMP code point, measured once from the converter itself so that
// widths always agree with what utf8ToCp936 writes. GBK holds nothing outside the BMP.
struct WidthTable {
    std::array<std::uint8_t, 0x10000> width{};
};

WidthTable buildWidthTable() {
    WidthTable t;
    Converter c(true);
    std::string out;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (cp < 0x80 || (cp >= 0xD800 && cp <= 0xDFFF)) {
            t.width[cp] = 1;
            continue;
        }
        if (!c.valid()) {  // no converter: assume every non-ASCII character is double-byte
            t.width[cp] = 2;
            continue;
        }
        std::array<char, 3> utf8{};
        std::size_t inLeft = 0;
        if (cp < 0x800) {
            utf8 = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
            inLeft = 2;
        } else {
            utf8 = {static_cast<char>(0xE0 | (cp >> 12)),
                    static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (cp & 0x3F))};
            inLeft = 3;
        }
        const char* in = utf8.data();
        out.clear();
        t.width[cp] = c.convert(in, inLeft, out) ? static_cast<std::uint8_t>(out.size()) : 1;
    }
    return t;
}

std::size_t charWidth(char32_t cp) {
    static const WidthTable table = buildWidthTable();
    return cp < 0x10000 ? table.width[cp] : 1;
}

// Calls f(unitLength, width) for each character of the text; an invalid byte is a unit of its
// own (it becomes one '?'). Stops when f returns false.
template <typename F>
void forEachUnit(std::string_view s, F&& f) {
    while (!s.empty()) {
        char32_t cp = 0;
        std::size_t len = utf8Sequence(s, cp);
        const std::size_t width = len == 0 ? 1 : charWidth(cp);
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
            const std::size_t len = utf8Sequence(utf8.substr(run), cp);
            if (len == 0) break;
            run += len;
        }
        const char* in = utf8.data();
        std::size_t inLeft = run;
        while (!c.convert(in, inLeft, r.text)) {
            // A well-formed character GBK does not hold.
            const std::size_t len = std::max<std::size_t>(1, utf8Sequence({in, inLeft}, cp));
            r.text.push_back('?');
            note(r, CodecStatus::Unmappable);
            in += len;
            inLeft -= len;
        }
        utf8.remove_prefix(run);
        if (!utf8.empty()) {  // an invalid byte ends the run
            r.text.push_back('?');
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
