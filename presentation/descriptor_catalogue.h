// The descriptor catalogue as data. Each decoded tag has a table of field rows read in
// order by the interpreter of descriptor_text.cpp: a field takes the next `bits` bits of the
// descriptor body (so its bit position is the sum of the widths before it) and shows its value
// in one of a few ways; loops repeat a run of rows over a byte count; conditions pick
// a run by a value read earlier. Adding a tag means adding a table here and an entry in the
// catalogue.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace orv {

// Values of earlier fields that later ones refer to (text lengths, loop lengths, conditions).
inline constexpr int kDescriptorVars = 6;
using DescriptorVars = std::array<uint64_t, kDescriptorVars>;

enum class Op : uint8_t {
    Field,  // a value of `bits` bits, shown as one line
    Skip,   // `bits` bits that are not shown
    Text,   // a byte string whose length is a var (or the rest of the scope), shown as "%dchar":
            // DVB text, or codes and data when `show` is Chars
    Loop,   // the next `body` rows, repeated while bytes remain in its scope
    If,     // the next `body` rows when var `var` is within [lo, hi]
};

enum class Show : uint8_t {
    Template,  // `text` with every conversion taking the value
    Const,     // `text` as it stands (reserved bits)
    Texts,     // the entry of `texts` for the value, else the template `text` (or "%d")
    Chars,     // the value's bytes as ASCII codes (language and country codes)
    Nibbles,   // `text` with its conversions taking the value's 4-bit digits from the top
    Bytes,     // `text` with its conversions taking the value's bytes from the top
    Mjd,       // a 40-bit MJD + BCD time as "%d/%02d/%02d %02x:%02x:%02x"
    Custom,    // `format`
};

// How a formatted value is laid out when the formatter decides the line itself.
enum class LineForm : uint8_t {
    Field,        // the regular (or `head`) field line
    AfterPrefix,  // the prefix followed by the text
    Bare,         // the text alone, without prefix
};

struct FormattedValue {
    std::string text;
    LineForm form = LineForm::Field;
};

using ValueFormatter = FormattedValue (*)(uint64_t value, const DescriptorVars& vars);

struct ValueText {
    uint32_t value;
    const char* text;
};

struct FieldRow {
    Op op = Op::Field;
    const char* name = "";
    const char* width = "";
    uint8_t bits = 0;
    Show show = Show::Template;
    const char* text = "%d";
    std::span<const ValueText> texts{};
    ValueFormatter format = nullptr;
    // A line laid out differently from the regular columns: the text after the prefix and
    // before the value ("%d" in it takes a text field's length).
    const char* head = nullptr;
    int8_t store = -1;  // var that keeps the value
    int8_t var = -1;    // Text/Loop: var holding the byte count (-1: the rest); If: var tested
    uint8_t body = 0;   // Loop/If: number of rows that follow in its body
    uint16_t lo = 0;    // If: range of the tested var
    uint16_t hi = 0;
};

struct DescriptorTable {
    uint8_t tag;
    const char* title;  // follows the prefix directly
    std::span<const FieldRow> fields;
};

// The 53 decoded tags, ordered by tag. Tags not listed produce no lines.
std::span<const DescriptorTable> descriptorCatalogue();
const DescriptorTable* findDescriptorTable(uint8_t tag);

// The two parts of the catalogue, kept in files of their own.
std::span<const DescriptorTable> mpegDescriptorTables();  // ISO/IEC 13818-1 tags 0x02..0x12
std::span<const DescriptorTable> dvbDescriptorTables();   // DVB SI tags 0x40..0x66

}  // namespace orv
