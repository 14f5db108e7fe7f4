// Short constructors for the rows of the descriptor tables, so that each row reads as the
// catalogue does: name, width text, bits, then how the value is shown.
#pragma once

#include "presentation/descriptor_catalogue.h"

namespace orv::row {

// A value shown through a template ("%d", "0x%04x", "%d (象素)" ...).
constexpr FieldRow num(const char* name, const char* width, uint8_t bits, const char* tmpl = "%d") {
    return {.name = name, .width = width, .bits = bits, .text = tmpl};
}
// Reserved bits, shown as their fixed text whatever they hold.
constexpr FieldRow fixed(const char* name, const char* width, uint8_t bits, const char* text) {
    return {.name = name, .width = width, .bits = bits, .show = Show::Const, .text = text};
}
// A coded value: the listed text for the value, else the fallback template.
constexpr FieldRow coded(const char* name, const char* width, uint8_t bits,
                         std::span<const ValueText> texts, const char* fallback = nullptr) {
    return {.name = name,
            .width = width,
            .bits = bits,
            .show = Show::Texts,
            .text = fallback,
            .texts = texts};
}
constexpr FieldRow custom(const char* name, const char* width, uint8_t bits, ValueFormatter f) {
    return {.name = name, .width = width, .bits = bits, .show = Show::Custom, .format = f};
}
// Characters held in the value's bytes (ISO 639 language codes, country codes).
constexpr FieldRow chars(const char* name, const char* width, const char* tmpl = "%s") {
    return {.name = name, .width = width, .bits = 24, .show = Show::Chars, .text = tmpl};
}
constexpr FieldRow digits(const char* name, const char* width, uint8_t bits, const char* tmpl) {
    return {.name = name, .width = width, .bits = bits, .show = Show::Nibbles, .text = tmpl};
}
constexpr FieldRow bytes(const char* name, const char* width, uint8_t bits, const char* tmpl) {
    return {.name = name, .width = width, .bits = bits, .show = Show::Bytes, .text = tmpl};
}
constexpr FieldRow mjdTime(const char* name) {
    return {.name = name, .width = "40 bit", .bits = 40, .show = Show::Mjd};
}
// Bits that are read but not shown; `store` keeps them for a later length or condition.
constexpr FieldRow skip(uint8_t bits, int8_t store = -1) {
    return {.op = Op::Skip, .bits = bits, .store = store};
}
// A DVB text field whose length is in var `lengthVar` (-1: the rest of the scope), decoded by its
// character table.
constexpr FieldRow text(const char* name, int8_t lengthVar, const char* tmpl = "%s") {
    return {.op = Op::Text, .name = name, .width = "%dchar", .text = tmpl, .var = lengthVar};
}
// Bytes that are codes or data rather than text (country codes, telephone digits, private
// data): printable ASCII as it stands, other bytes escaped.
constexpr FieldRow codes(const char* name, int8_t lengthVar, const char* tmpl = "%s") {
    FieldRow f = text(name, lengthVar, tmpl);
    f.show = Show::Chars;
    return f;
}
// The next `body` rows, repeated while bytes remain (in var `lengthVar` bytes, or the rest).
constexpr FieldRow loop(uint8_t body, int8_t lengthVar = -1) {
    return {.op = Op::Loop, .var = lengthVar, .body = body};
}
// The next `body` rows when var `var` lies within [lo, hi].
constexpr FieldRow when(int8_t var, uint16_t lo, uint16_t hi, uint8_t body) {
    return {.op = Op::If, .var = var, .body = body, .lo = lo, .hi = hi};
}

// Modifiers for a row built above.
constexpr FieldRow withHead(FieldRow f, const char* head) {
    f.head = head;
    return f;
}
constexpr FieldRow stored(FieldRow f, int8_t var) {
    f.store = var;
    return f;
}

}  // namespace orv::row
