// DescriptorText: a descriptor loop of a PSI/SI section as text. Each known descriptor becomes
// a title, its tag and length, and one entry per field (name, width text, value); the entries
// are laid out as the report lines (with the prefix of the loop) or as the labels of the table
// tree. Unknown tags produce nothing; no byte outside the loop is read, whatever the lengths in
// it say, and a descriptor cut by the end of the loop shows the fields that are wholly present.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "presentation/descriptor_catalogue.h"

namespace orv {

using TextLines = std::vector<std::string>;

struct DescriptorField {
    std::string name;
    std::string width;
    std::string value;
    std::string head;  // not empty: the line is the prefix, this head and the value
    LineForm form = LineForm::Field;

    // The report line under the given prefix.
    std::string line(std::string_view prefix) const;
    // The table tree label: "name = value", or the text alone for a line without a name.
    std::string label() const;
};

struct DecodedDescriptor {
    uint8_t tag = 0;
    std::string title;                    // follows the prefix directly
    std::vector<DescriptorField> fields;  // tag and length first

    // The title without the layout whitespace, for the table tree.
    std::string label() const;
};

class DescriptorText {
  public:
    // Every known descriptor of the loop, in the order of the bytes.
    static std::vector<DecodedDescriptor> decode(std::span<const uint8_t> loop);

    // Appends the lines of every known descriptor of the loop, each under `prefix`.
    static void appendLines(std::span<const uint8_t> loop, std::string_view prefix, TextLines& out);
};

}  // namespace orv
