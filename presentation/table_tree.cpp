#include "presentation/table_tree.h"

#include "presentation/descriptor_text.h"
#include "presentation/dvb_time_text.h"
#include "presentation/section_rows.h"
#include "presentation/text_format.h"

namespace orv {
namespace {

using rows::SectionView;

// The header node: the fields every table with the long syntax shares.
TreeNode headerNode(const SectionView& s, const char* title) {
    TreeNode node{title, {}};
    if (s.has(0, 3)) {
        node.add(formatText("Table_id = 0x%02x (表标识符)", {s.be(0, 1)}));
        node.add(formatText("Section_length = %d 字节 (段长度)", {s.be(1, 2) & 0xFFF}));
    }
    if (s.has(5, 3)) {
        const uint32_t b5 = s.be(5, 1);
        node.add(formatText("Version_number = 0x%02x (版本号)", {(b5 >> 1) & 0x1F}));
        node.add(formatText("Section_number = 0x%02x (段号)", {s.be(6, 1)}));
        node.add(formatText("Last_section_number = 0x%02x (最后段号)", {s.be(7, 1)}));
        node.add((b5 & 1) ? "Current_next_indicator = 1 (表示当前子表正被使用)"
                          : "Current_next_indicator = 0 (表示所传子表尚未被使用)");
    }
    return node;
}

// A descriptor node per decoded descriptor, each holding its fields.
void addDescriptors(TreeNode& parent, std::span<const uint8_t> loop) {
    for (const DecodedDescriptor& d : DescriptorText::decode(loop)) {
        TreeNode& node = parent.add(d.label());
        for (const DescriptorField& f : d.fields)
            node.add(f.label());
    }
}

TreeNode descriptorNode(std::string label, std::span<const uint8_t> loop) {
    TreeNode node{std::move(label), {}};
    addDescriptors(node, loop);
    return node;
}

std::string utcTime(const SectionView& s, std::size_t at, const char* tmpl) {
    const CivilDate d = mjdToDate(static_cast<uint16_t>(s.be(at, 2)));
    const uint32_t t = s.be(at + 2, 3);
    return formatText(tmpl, {d.year, d.month, d.day, t >> 16, (t >> 8) & 0xFF, t & 0xFF});
}

// NIT and BAT: header, the first descriptor loop, then one node per transport stream.
std::vector<TreeNode> networkNodes(std::span<const uint8_t> section, const char* header,
                                   const char* firstLoop) {
    const SectionView s(section, true);
    std::vector<TreeNode> out{headerNode(s, header)};
    if (!s.has(8, 2)) return out;
    const std::size_t length = s.be(8, 2) & 0xFFF;
    out.push_back(descriptorNode(firstLoop, s.loop(10, length)));
    const std::size_t at = 10 + length;
    if (!s.has(at, 2)) return out;
    const std::size_t end = std::min(s.bodyEnd(), at + 2 + (s.be(at, 2) & 0xFFF));
    for (std::size_t e = at + 2; e + 6 <= end;) {
        const std::size_t n = s.be(e + 4, 2) & 0xFFF;
        out.push_back(descriptorNode(formatText("传送流描述%d", {s.be(e, 2)}),
                                     s.loop(e + 6, std::min(n, end - (e + 6)))));
        e += 6 + n;
    }
    return out;
}

std::vector<TreeNode> catNodes(std::span<const uint8_t> section) {
    const SectionView s(section, true);
    return {headerNode(s, "CAT表头信息"), descriptorNode("CA描述", s.loop(8, s.bodyEnd()))};
}

std::vector<TreeNode> nitNodes(std::span<const uint8_t> section) {
    return networkNodes(section, "NIT表头信息", "NIT描述信息");
}

std::vector<TreeNode> batNodes(std::span<const uint8_t> section) {
    return networkNodes(section, "BAT表头信息", "业务群描述");
}

std::vector<TreeNode> sdtNodes(std::span<const uint8_t> section) {
    const SectionView s(section, true);
    std::vector<TreeNode> out{headerNode(s, "SDT表头信息")};
    TreeNode services{"传送流业务内容描述", {}};
    for (std::size_t at = 11; at + 5 <= s.bodyEnd();) {
        const std::size_t n = s.be(at + 3, 2) & 0xFFF;
        services.children.push_back(
            descriptorNode(formatText("节目0x%04x描述", {s.be(at, 2)}), s.loop(at + 5, n)));
        at += 5 + n;
    }
    out.push_back(std::move(services));
    return out;
}

std::vector<TreeNode> eitNodes(std::span<const uint8_t> section) {
    const SectionView s(section, true);
    std::vector<TreeNode> out{headerNode(s, "EIT表头信息")};
    TreeNode events{"事件信息描述", {}};
    for (std::size_t at = 14; at + 12 <= s.bodyEnd();) {
        const std::size_t n = s.be(at + 10, 2) & 0xFFF;
        const uint32_t d = s.be(at + 7, 3);
        TreeNode& event = events.add(formatText("事件0x%04x描述", {s.be(at, 2)}));
        event.add("事件起始时间及日期 = " + utcTime(s, at + 2, "%02d/%02d/%02d %02x:%02x:%02x"));
        event.add(
            formatText("事件持续时间 = %02x:%02x:%02x", {d >> 16, (d >> 8) & 0xFF, d & 0xFF}));
        addDescriptors(event, s.loop(at + 12, n));
        at += 12 + n;
    }
    out.push_back(std::move(events));
    return out;
}

std::vector<TreeNode> tdtNodes(std::span<const uint8_t> section) {
    const SectionView s(section, false);
    if (!s.has(3, 5)) return {};
    return {TreeNode{"UTC_time = " + utcTime(s, 3, "%d/%02d/%02d %02x:%02x:%02x"), {}}};
}

std::vector<TreeNode> totNodes(std::span<const uint8_t> section) {
    const SectionView s(section, true);
    if (!s.has(3, 5)) return {};
    std::vector<TreeNode> out{
        TreeNode{"UTC_time = " + utcTime(s, 3, "%d/%02d/%02d %02x:%02x:%02x"), {}}};
    if (s.has(8, 2)) out.push_back(descriptorNode("内容描述", s.loop(10, s.be(8, 2) & 0xFFF)));
    return out;
}

using NodeWriter = std::vector<TreeNode> (*)(std::span<const uint8_t>);
struct NodesByTableId {
    uint8_t first, last;
    NodeWriter nodes;
};
constexpr NodesByTableId kNodeWriters[] = {
    {0x01, 0x01, catNodes}, {0x40, 0x41, nitNodes}, {0x42, 0x42, sdtNodes}, {0x46, 0x46, sdtNodes},
    {0x4A, 0x4A, batNodes}, {0x4E, 0x6F, eitNodes}, {0x70, 0x70, tdtNodes}, {0x73, 0x73, totNodes},
};

// One node per section under the kind's node; the section node is named by its table_id and
// section_number so that sections of several sub-tables stay apart.
void addKind(std::vector<TreeNode>& tree, const char* kind,
             const std::vector<std::span<const uint8_t>>& sections) {
    if (sections.empty()) return;
    TreeNode node{kind, {}};
    for (const auto& section : sections) {
        if (section.size() < 3) continue;
        const SectionView s(section, true);
        std::string label = formatText("table_id = 0x%02x", {section[0]});
        if (s.has(3, 5)) {
            label += formatText(", 0x%04x, 段%d", {s.be(3, 2), s.be(6, 1)});
        }
        node.children.push_back({std::move(label), sectionNodes(section)});
    }
    tree.push_back(std::move(node));
}

void addSingle(std::vector<TreeNode>& tree, const char* kind, std::span<const uint8_t> section) {
    if (section.empty()) return;
    tree.push_back({kind, sectionNodes(section)});
}

}  // namespace

std::vector<TreeNode> sectionNodes(std::span<const uint8_t> section) {
    if (section.empty()) return {};
    for (const NodesByTableId& w : kNodeWriters) {
        if (section[0] >= w.first && section[0] <= w.last) return w.nodes(section);
    }
    return {};
}

std::vector<TreeNode> buildTableTree(const TableSections& sections) {
    std::vector<TreeNode> tree;
    addKind(tree, "CAT", sections.cat);
    addKind(tree, "NIT", sections.nit);
    addKind(tree, "SDT", sections.sdt);
    addKind(tree, "BAT", sections.bat);
    addKind(tree, "EIT", sections.eit);
    addSingle(tree, "TDT", sections.tdt);
    addSingle(tree, "TOT", sections.tot);
    return tree;
}

TableSections storedSections(const SiSectionStore& store) {
    TableSections out;
    auto take = [](std::vector<std::span<const uint8_t>>& to, const SiSectionList& list) {
        for (const StoredSiSection& e : list.entries)
            to.emplace_back(e.bytes);
    };
    take(out.nit, store.list(SiKind::NitActual));
    take(out.nit, store.list(SiKind::NitOther));
    take(out.sdt, store.list(SiKind::SdtActual));
    take(out.sdt, store.list(SiKind::SdtOther));
    take(out.bat, store.list(SiKind::Bat));
    for (const EitSectionList& list : store.eit) {
        for (const StoredEitSection& e : list.entries)
            out.eit.emplace_back(e.bytes);
    }
    if (store.tdt.present) out.tdt = store.tdt.bytes;
    if (store.tot.present) out.tot = store.tot.bytes;
    return out;
}

}  // namespace orv
