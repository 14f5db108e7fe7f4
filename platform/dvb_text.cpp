// The character tables go through iconv (to UTF-32BE, one character at a time, so that a byte
// no table decodes can be shown on its own); the single-byte ISO 8859 parts are read once into
// tables of their upper halves.
#include "platform/dvb_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "platform/iconv_converter.h"
#include "platform/text_codec.h"

namespace orv {
namespace {

using detail::IconvConverter;
using Raw = std::span<const uint8_t>;

constexpr char32_t kNoChar = 0xFFFFFFFF;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendEscapes(std::string& out, Raw raw) {
    for (const uint8_t b : raw) {
        char text[8];
        std::snprintf(text, sizeof text, "\\x%02X", b);
        out += text;
    }
}

// Collects the decoded text. Each call names the bytes of the field the character came from,
// which are shown as escapes when they are no character.
class TextWriter {
  public:
    explicit TextWriter(DvbLineBreak lineBreak) : lineBreak_(lineBreak) {}

    // A character of any table; false at the zero character that ends the text.
    bool text(char32_t cp, Raw raw) {
        if (cp == 0) return false;
        if (cp < 0x20 || cp == 0x7F) {
            escape(raw);
        } else {
            appendUtf8(out_, cp);
        }
        return true;
    }

    // A character of a Unicode table, whose control codes are U+0080..U+009F and, in the
    // two-byte form of Annex A, U+E080..U+E09F.
    bool unicode(char32_t cp, Raw raw) {
        if (cp >= 0xE080 && cp <= 0xE09F) cp -= 0xE000;
        if (cp >= 0x80 && cp <= 0x9F) {
            control(static_cast<uint8_t>(cp), raw);
            return true;
        }
        return text(cp, raw);
    }

    void control(uint8_t code, Raw raw) {
        switch (code) {
            case 0x86:  // character emphasis on
            case 0x87:  // character emphasis off
                break;
            case 0x8A:  // CR/LF
                out_ += lineBreak_ == DvbLineBreak::Newline ? '\n' : ' ';
                break;
            default:  // reserved or user-defined: shown, not interpreted
                escape(raw);
                break;
        }
    }

    void escape(Raw raw) { appendEscapes(out_, raw); }

    std::string take() { return std::move(out_); }

  private:
    DvbLineBreak lineBreak_;
    std::string out_;
};

enum class Table : uint8_t { Gbk, Iso8859, Ucs2, Ksx1001, Gb2312, Big5Subset, Utf8, Unknown };

struct Selection {
    Table table = Table::Gbk;
    int part = 0;          // ISO 8859 part
    std::size_t skip = 0;  // selector bytes
};

// First bytes 0x00..0x1F (Annex A, table A.3). 0x10 and 0x1F take further bytes.
struct SelectorEntry {
    Table table;
    int part;
};
constexpr std::array<SelectorEntry, 0x20> kSelectors = {{
    {Table::Unknown, 0},    {Table::Iso8859, 5},  {Table::Iso8859, 6},  {Table::Iso8859, 7},
    {Table::Iso8859, 8},    {Table::Iso8859, 9},  {Table::Iso8859, 10}, {Table::Iso8859, 11},
    {Table::Unknown, 0},    {Table::Iso8859, 13}, {Table::Iso8859, 14}, {Table::Iso8859, 15},
    {Table::Unknown, 0},    {Table::Unknown, 0},  {Table::Unknown, 0},  {Table::Unknown, 0},
    {Table::Iso8859, 0},    {Table::Ucs2, 0},     {Table::Ksx1001, 0},  {Table::Gb2312, 0},
    {Table::Big5Subset, 0}, {Table::Utf8, 0},     {Table::Unknown, 0},  {Table::Unknown, 0},
    {Table::Unknown, 0},    {Table::Unknown, 0},  {Table::Unknown, 0},  {Table::Unknown, 0},
    {Table::Unknown, 0},    {Table::Unknown, 0},  {Table::Unknown, 0},  {Table::Unknown, 0},
}};
constexpr uint8_t kSelectorDynamic8859 = 0x10;     // then 0x00 and the part number
constexpr uint8_t kSelectorEncodingTypeId = 0x1F;  // then one encoding_type_id byte

Selection selectTable(Raw f) {
    if (f.empty() || f[0] >= 0x20) return {};
    const SelectorEntry e = kSelectors[f[0]];
    if (f[0] == kSelectorDynamic8859) {
        const std::size_t skip = std::min<std::size_t>(3, f.size());
        const int part = f.size() >= 3 && f[1] == 0x00 ? f[2] : 0;
        if (part >= 1 && part <= 15 && part != 12) return {Table::Iso8859, part, skip};
        return {Table::Unknown, 0, skip};
    }
    if (f[0] == kSelectorEncodingTypeId)
        return {Table::Unknown, 0, std::min<std::size_t>(2, f.size())};
    return {e.table, e.part, 1};
}

// Upper halves (0xA0..0xFF) of the ISO 8859 parts; kNoChar where a part has no character.
struct Iso8859Tables {
    std::array<std::array<char32_t, 96>, 16> upper{};
};

char32_t singleChar(IconvConverter& c, const char* bytes, std::size_t n) {
    thread_local std::string out;
    out.clear();
    const char* in = bytes;
    std::size_t left = n;
    if (!c.convert(in, left, out) || left != 0 || out.size() != 4) return kNoChar;
    const auto* u = reinterpret_cast<const unsigned char*>(out.data());
    return static_cast<char32_t>(u[0]) << 24 | static_cast<char32_t>(u[1]) << 16 |
           static_cast<char32_t>(u[2]) << 8 | u[3];
}

Iso8859Tables buildIso8859Tables() {
    Iso8859Tables t;
    for (int part = 1; part <= 15; ++part) {
        t.upper[part].fill(kNoChar);
        char name[2][16];
        std::snprintf(name[0], sizeof name[0], "ISO-8859-%d", part);
        std::snprintf(name[1], sizeof name[1], "ISO8859-%d", part);
        IconvConverter c({"UTF-32BE"}, {name[0], name[1]});
        if (!c.valid()) continue;
        for (int b = 0xA0; b <= 0xFF; ++b) {
            const char byte = static_cast<char>(b);
            t.upper[part][b - 0xA0] = singleChar(c, &byte, 1);
        }
    }
    return t;
}

char32_t iso8859Char(int part, uint8_t b) {
    static const Iso8859Tables tables = buildIso8859Tables();
    return tables.upper[part][b - 0xA0];
}

// Converters of the double-byte tables, one per thread. GB-2312 is read through GBK, its
// superset, and KS X 1001 through its superset CP949, so that a character a network takes
// from the wider set still shows.
IconvConverter& gbkDecoder() {
    thread_local IconvConverter c({"UTF-32BE"}, {"GBK", "CP936"});
    return c;
}
IconvConverter& ksxDecoder() {
    thread_local IconvConverter c({"UTF-32BE"}, {"CP949", "EUC-KR"});
    return c;
}
IconvConverter& big5Decoder() {
    thread_local IconvConverter c({"UTF-32BE"}, {"CP950", "BIG5"});
    return c;
}
IconvConverter& big5Encoder() {
    thread_local IconvConverter c({"CP950", "BIG5"}, {"UTF-32BE"});
    return c;
}

void decodeIso8859(Raw f, int part, TextWriter& w) {
    for (std::size_t i = 0; i < f.size(); ++i) {
        const uint8_t b = f[i];
        const Raw raw = f.subspan(i, 1);
        if (b < 0x80) {
            if (!w.text(b, raw)) return;
        } else if (b <= 0x9F) {
            w.control(b, raw);
        } else if (const char32_t cp = iso8859Char(part, b); cp != kNoChar) {
            w.text(cp, raw);
        } else {
            w.escape(raw);
        }
    }
}

enum class DoubleByteForm {
    Table,        // a two-byte table of Annex A: control codes 0xE080..0xE09F
    GbkUnmarked,  // no selector: the one-byte control codes that are defined come first
};

bool isDefinedOneByteControl(uint8_t b) {
    return b == 0x86 || b == 0x87 || b == 0x8A;
}

// ASCII bytes stand for themselves; a byte from 0x80 on starts a pair of the table.
void decodeDoubleByte(Raw f, IconvConverter& c, DoubleByteForm form, TextWriter& w) {
    std::size_t i = 0;
    while (i < f.size()) {
        const uint8_t b = f[i];
        if (b < 0x80) {
            if (!w.text(b, f.subspan(i, 1))) return;
            ++i;
            continue;
        }
        if (form == DoubleByteForm::GbkUnmarked && isDefinedOneByteControl(b)) {
            w.control(b, f.subspan(i, 1));
            ++i;
            continue;
        }
        if (i + 1 < f.size()) {
            const Raw pair = f.subspan(i, 2);
            if (form == DoubleByteForm::Table && b == 0xE0 && pair[1] >= 0x80 && pair[1] <= 0x9F) {
                w.control(pair[1], pair);
                i += 2;
                continue;
            }
            const char bytes[2] = {static_cast<char>(b), static_cast<char>(pair[1])};
            if (const char32_t cp = c.valid() ? singleChar(c, bytes, 2) : kNoChar; cp != kNoChar) {
                w.text(cp, pair);
                i += 2;
                continue;
            }
        }
        w.escape(f.subspan(i, 1));
        ++i;
    }
}

uint16_t unitAt(Raw f, std::size_t i) {
    return static_cast<uint16_t>(f[i] << 8 | f[i + 1]);
}

bool isSurrogate(uint32_t u) {
    return u >= 0xD800 && u <= 0xDFFF;
}

// Big-endian 16-bit units; a valid surrogate pair is taken as one character.
void decodeUcs2(Raw f, TextWriter& w) {
    std::size_t i = 0;
    for (; i + 1 < f.size(); i += 2) {
        const uint16_t u = unitAt(f, i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < f.size()) {
            const uint16_t low = unitAt(f, i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                const char32_t cp = 0x10000 + ((char32_t{u} - 0xD800) << 10) + (low - 0xDC00);
                w.unicode(cp, f.subspan(i, 4));
                i += 2;
                continue;
            }
        }
        if (isSurrogate(u)) {
            w.escape(f.subspan(i, 2));
        } else if (!w.unicode(u, f.subspan(i, 2))) {
            return;
        }
    }
    if (i < f.size()) w.escape(f.subspan(i));  // an odd last byte
}

void decodeUtf8(Raw f, TextWriter& w) {
    const std::string_view s(reinterpret_cast<const char*>(f.data()), f.size());
    std::size_t i = 0;
    while (i < s.size()) {
        char32_t cp = 0;
        const std::size_t len = utf8CharAt(s.substr(i), cp);
        if (len == 0) {
            w.escape(f.subspan(i, 1));
            ++i;
            continue;
        }
        if (!w.unicode(cp, f.subspan(i, len))) return;
        i += len;
    }
}

// Table 0x14 is the Big5 repertoire coded as ISO/IEC 10646 (16-bit units). Some networks send
// Big5 bytes behind it instead. The text is taken as 16-bit units when every unit is ASCII, a
// control code or a character Big5 holds (private-use characters excluded), and not every byte
// is printable ASCII (then it is plain text, which Big5 bytes share with ASCII).
bool isBig5SubsetOfUcs2(Raw f) {
    if (f.size() % 2 != 0) return false;
    if (std::all_of(f.begin(), f.end(), [](uint8_t b) { return b >= 0x20 && b < 0x7F; }))
        return false;
    IconvConverter& encoder = big5Encoder();
    for (std::size_t i = 0; i + 1 < f.size(); i += 2) {
        const uint16_t u = unitAt(f, i);
        if (u == 0) return true;
        if (u < 0xA0 || (u >= 0xE080 && u <= 0xE09F)) continue;
        if (isSurrogate(u) || (u >= 0xE000 && u <= 0xF8FF) || !encoder.valid()) return false;
        const char utf32[4] = {0, 0, static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
        std::string out;
        const char* in = utf32;
        std::size_t left = sizeof utf32;
        if (!encoder.convert(in, left, out) || left != 0) return false;
    }
    return true;
}

void decodeUnknown(Raw f, TextWriter& w) {
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] >= 0x80) {
            w.escape(f.subspan(i, 1));
        } else if (!w.text(f[i], f.subspan(i, 1))) {
            return;
        }
    }
}

}  // namespace

std::string dvbTextToUtf8(std::span<const uint8_t> field, DvbLineBreak lineBreak) {
    TextWriter w(lineBreak);
    if (field.empty() || field[0] == 0x00) return {};
    const Selection sel = selectTable(field);
    const Raw body = field.subspan(sel.skip);
    switch (sel.table) {
        case Table::Gbk:
            decodeDoubleByte(body, gbkDecoder(), DoubleByteForm::GbkUnmarked, w);
            break;
        case Table::Iso8859:
            decodeIso8859(body, sel.part, w);
            break;
        case Table::Ucs2:
            decodeUcs2(body, w);
            break;
        case Table::Ksx1001:
            decodeDoubleByte(body, ksxDecoder(), DoubleByteForm::Table, w);
            break;
        case Table::Gb2312:
            decodeDoubleByte(body, gbkDecoder(), DoubleByteForm::Table, w);
            break;
        case Table::Big5Subset:
            if (isBig5SubsetOfUcs2(body)) {
                decodeUcs2(body, w);
            } else {
                decodeDoubleByte(body, big5Decoder(), DoubleByteForm::Table, w);
            }
            break;
        case Table::Utf8:
            decodeUtf8(body, w);
            break;
        case Table::Unknown:
            decodeUnknown(body, w);
            break;
    }
    return w.take();
}

std::string asciiOrEscaped(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size() && bytes[i] != 0; ++i) {
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F) {
            out += static_cast<char>(bytes[i]);
        } else {
            appendEscapes(out, bytes.subspan(i, 1));
        }
    }
    return out;
}

}  // namespace orv
