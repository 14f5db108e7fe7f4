// The interpreter of the descriptor tables: a bit cursor walks the descriptor body, each table
// row reads its bits and turns them into one field entry, loops and conditions steer the walk.
#include "presentation/descriptor_text.h"

#include <algorithm>

#include "platform/dvb_text.h"
#include "platform/text_codec.h"
#include "presentation/descriptor_formatters.h"
#include "presentation/dvb_time_text.h"
#include "presentation/text_format.h"

namespace orv {
namespace {

// Reads bits of a byte range; the caller checks that a read stays before `end` (in bits).
struct BitCursor {
    std::span<const uint8_t> bytes;
    std::size_t pos = 0;  // in bits

    uint64_t read(unsigned bits) {
        uint64_t v = 0;
        for (unsigned i = 0; i < bits; ++i, ++pos) {
            v = (v << 1) | ((bytes[pos / 8] >> (7 - pos % 8)) & 1u);
        }
        return v;
    }
};

std::string codesOf(uint64_t v, unsigned bits) {
    std::vector<uint8_t> raw;
    for (int shift = static_cast<int>(bits) - 8; shift >= 0; shift -= 8) {
        raw.push_back(static_cast<uint8_t>(v >> shift));
    }
    return asciiOrEscaped(raw);
}

// A text field: DVB text by its character table, or bytes that are codes or data.
std::string fieldText(const FieldRow& f, std::span<const uint8_t> raw) {
    return f.show == Show::Chars ? asciiOrEscaped(raw) : dvbTextToUtf8(raw);
}

const char* valueTextFor(const FieldRow& f, uint64_t v) {
    for (const ValueText& t : f.texts) {
        if (t.value == v) return t.text;
    }
    return nullptr;
}

DescriptorField showValue(const FieldRow& f, uint64_t v, const DescriptorVars& vars) {
    DescriptorField out{f.name, f.width, {}, f.head ? f.head : "", LineForm::Field};
    switch (f.show) {
        case Show::Template:
            out.value = formatText(f.text, {v, v, v});
            break;
        case Show::Const:
            out.value = f.text;
            break;
        case Show::Texts: {
            const char* t = valueTextFor(f, v);
            out.value = t ? std::string(t) : formatText(f.text ? f.text : "%d", {v, v});
            break;
        }
        case Show::Chars:
            out.value = formatText(f.text, {codesOf(v, f.bits)});
            break;
        case Show::Nibbles:
            out.value = fmt::partsText(f.text, v, f.bits / 4, 4);
            break;
        case Show::Bytes:
            out.value = fmt::partsText(f.text, v, f.bits / 8, 8);
            break;
        case Show::Mjd:
            out.value = utcTimeText(static_cast<uint16_t>(v >> 24), static_cast<uint32_t>(v));
            break;
        case Show::Custom: {
            FormattedValue fv = f.format(v, vars);
            out.value = std::move(fv.text);
            out.form = fv.form;
            break;
        }
    }
    return out;
}

class Interpreter {
  public:
    Interpreter(std::span<const uint8_t> body, DecodedDescriptor& out)
        : cursor_{body, 0}, out_(out) {}

    void run(std::span<const FieldRow> rows) { run(rows, cursor_.bytes.size() * 8); }

  private:
    // Runs the rows within `end` (bits); false once a field is not wholly present.
    bool run(std::span<const FieldRow> rows, std::size_t end) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const FieldRow& f = rows[i];
            const std::size_t bodyEnd = std::min(rows.size(), i + 1 + f.body);
            const auto body = rows.subspan(i + 1, bodyEnd - i - 1);
            switch (f.op) {
                case Op::Field:
                case Op::Skip: {
                    if (cursor_.pos + f.bits > end) return false;
                    const uint64_t v = cursor_.read(f.bits);
                    keep(f, v);
                    if (f.op == Op::Field) out_.fields.push_back(showValue(f, v, vars_));
                    break;
                }
                case Op::Text:
                    if (!text(f, end)) return false;
                    break;
                case Op::Loop:
                    repeat(body, scopeEnd(f, end));
                    i = bodyEnd - 1;
                    break;
                case Op::If:
                    if (f.var >= 0 && vars_[f.var] >= f.lo && vars_[f.var] <= f.hi &&
                        !run(body, end)) {
                        return false;
                    }
                    i = bodyEnd - 1;
                    break;
            }
        }
        return true;
    }

    std::size_t scopeEnd(const FieldRow& f, std::size_t end) const {
        if (f.var < 0) return end;
        return std::min(end, cursor_.pos + vars_[f.var] * 8);
    }

    void repeat(std::span<const FieldRow> body, std::size_t loopEnd) {
        while (cursor_.pos < loopEnd) {
            const std::size_t before = cursor_.pos;
            if (!run(body, loopEnd) || cursor_.pos == before) break;
        }
        // What follows the loop starts where its byte count ends.
        cursor_.pos = std::max(cursor_.pos, loopEnd);
    }

    bool text(const FieldRow& f, std::size_t end) {
        const std::size_t available = (end - std::min(end, cursor_.pos)) / 8;
        const std::size_t length = f.var < 0 ? available : vars_[f.var];
        if (length > available || cursor_.pos % 8 != 0) return false;
        const auto raw = cursor_.bytes.subspan(cursor_.pos / 8, length);
        cursor_.pos += length * 8;
        const int64_t n = static_cast<int64_t>(length);
        // The width column holds the template "%dchar" laid out before the length is put in,
        // so the value moves with the number of digits of the length.
        const std::string head = f.head ? std::string(f.head)
                                        : "   " + padToCp936Width(f.name, kNameColumn) +
                                              padToCp936Width(f.width, kWidthColumn);
        DescriptorField field{f.name, formatText(f.width, {n}),
                              formatText(f.text, {fieldText(f, raw)}), formatText(head, {n}),
                              LineForm::Field};
        out_.fields.push_back(std::move(field));
        return true;
    }

    void keep(const FieldRow& f, uint64_t v) {
        if (f.store >= 0 && f.store < kDescriptorVars) vars_[f.store] = v;
    }

    BitCursor cursor_;
    DecodedDescriptor& out_;
    DescriptorVars vars_{};
};

}  // namespace

std::string DescriptorField::line(std::string_view prefix) const {
    switch (form) {
        case LineForm::Bare:
            return value;
        case LineForm::AfterPrefix:
            return std::string(prefix) + value;
        case LineForm::Field:
            break;
    }
    if (!head.empty()) return std::string(prefix) + head + value;
    return fieldLine(prefix, name, width, value);
}

namespace {
std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Tree labels show a TAB of the report layout as three spaces.
std::string labelText(std::string_view s) {
    std::string out;
    for (const char c : trimmed(s)) {
        if (c == '\t') {
            out += "   ";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string DescriptorField::label() const {
    if (name.empty() || form != LineForm::Field) return labelText(value);
    return name + " = " + labelText(value);
}

std::string DecodedDescriptor::label() const {
    return labelText(title);
}

std::vector<DecodedDescriptor> DescriptorText::decode(std::span<const uint8_t> loop) {
    std::vector<DecodedDescriptor> out;
    std::size_t offset = 0;
    while (offset + 2 <= loop.size()) {
        const uint8_t tag = loop[offset];
        const std::size_t length = loop[offset + 1];
        const DescriptorTable* table = findDescriptorTable(tag);
        if (table != nullptr) {
            DecodedDescriptor d;
            d.tag = tag;
            d.title = table->title;
            d.fields.push_back(
                {"Descriptor_tag", "8 bit", formatText("0x%02x", {tag}), "", LineForm::Field});
            d.fields.push_back({"Descriptor_length", "8 bit",
                                formatText(tag <= 0x5A ? "%d (字节)" : "%d 字节", {length}), "",
                                LineForm::Field});
            // The body never reaches past the loop, whatever the length says.
            const std::size_t bodyEnd = std::min(loop.size(), offset + 2 + length);
            Interpreter(loop.subspan(offset + 2, bodyEnd - offset - 2), d).run(table->fields);
            out.push_back(std::move(d));
        }
        offset += length + 2;
    }
    return out;
}

void DescriptorText::appendLines(std::span<const uint8_t> loop, std::string_view prefix,
                                 TextLines& out) {
    for (const DecodedDescriptor& d : decode(loop)) {
        out.push_back(std::string(prefix) + d.title);
        for (const DescriptorField& f : d.fields)
            out.push_back(f.line(prefix));
    }
}

}  // namespace orv
