// The descriptor decoder and the section texts over arbitrary bytes: a descriptor loop decoded
// and laid out as report lines and tree labels, or a section written as the stream information
// report and the table tree show it (with section_length and CRC_32 set for it, or as it stands).
// Every line is also converted to CP936 as the report writers do.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_inputs.h"
#include "platform/text_codec.h"
#include "presentation/descriptor_text.h"
#include "presentation/section_text.h"
#include "presentation/table_tree.h"

namespace {

using namespace orv;
namespace ft = orv::fuzz::texts;

void useLines(const TextLines& lines) {
    for (const std::string& line : lines)
        (void)utf8ToCp936(line);
}

// The section in the place of the table tree its table_id gives it.
TableSections placed(std::span<const uint8_t> section) {
    TableSections t;
    const uint8_t id = section[0];
    if (id == 0x01)
        t.cat.push_back(section);
    else if (id == 0x40 || id == 0x41)
        t.nit.push_back(section);
    else if (id == 0x42 || id == 0x46)
        t.sdt.push_back(section);
    else if (id == 0x4A)
        t.bat.push_back(section);
    else if (id >= 0x4E && id <= 0x6F)
        t.eit.push_back(section);
    else if (id == 0x70)
        t.tdt = section;
    else if (id == 0x73)
        t.tot = section;
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < ft::kHeaderSize) return 0;
    const uint8_t mode = data[0] % 3;
    std::vector<uint8_t> bytes(data + ft::kHeaderSize, data + size);
    TextLines lines;

    if (mode == ft::kDescriptorLoop) {
        for (const DecodedDescriptor& d : DescriptorText::decode(bytes)) {
            (void)d.label();
            for (const DescriptorField& f : d.fields) {
                lines.push_back(f.line("    "));
                lines.push_back(f.label());
            }
        }
        DescriptorText::appendLines(bytes, "  ", lines);
        useLines(lines);
        return 0;
    }

    if (bytes.empty()) return 0;
    if (mode == ft::kSectionFixed && bytes[0] != 0x70) {  // the TDT has no CRC_32
        fuzz::setSectionLength(bytes, bytes.size() + 4);
        fuzz::appendSectionCrc(bytes);
    } else if (mode == ft::kSectionFixed) {
        fuzz::setSectionLength(bytes, bytes.size());
    }
    SectionText::write(bytes, lines);
    useLines(lines);
    (void)sectionNodes(bytes);
    (void)buildTableTree(placed(bytes));
    return 0;
}
