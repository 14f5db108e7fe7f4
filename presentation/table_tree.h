// The PSI/SI table tree of the table analysis page, without any GUI: labelled nodes built from
// the stored sections. Per table a header node with the header fields, descriptor nodes holding
// the decoded descriptors (each a node of its fields), event nodes with start and duration, and
// the UTC time of TDT and TOT. Labels are "name = value (explanation)" as the page shows them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/analysis_context.h"

namespace orv {

struct TreeNode {
    std::string label;
    std::vector<TreeNode> children;

    TreeNode& add(std::string childLabel) {
        children.push_back({std::move(childLabel), {}});
        return children.back();
    }
};

// Stored sections by table kind: views of whole sections (table_id to CRC_32) owned by the
// caller, in the order the tree shows them.
struct TableSections {
    std::vector<std::span<const uint8_t>> cat;
    std::vector<std::span<const uint8_t>> nit;  // actual, then other
    std::vector<std::span<const uint8_t>> sdt;  // actual, then other
    std::vector<std::span<const uint8_t>> bat;
    std::vector<std::span<const uint8_t>> eit;  // table_id 0x4E..0x6F in order
    std::span<const uint8_t> tdt;               // empty: none yet
    std::span<const uint8_t> tot;
};

// The sections held by the analysis' SI store (views into it: keep the store unchanged while
// they are used).
TableSections storedSections(const SiSectionStore& store);

// One top-level node per table kind that has sections ("CAT", "NIT", "SDT", "BAT", "EIT",
// "TDT", "TOT"), each holding one node per section.
std::vector<TreeNode> buildTableTree(const TableSections& sections);

// The nodes of one section, chosen by its table_id (empty for a table without a tree form).
std::vector<TreeNode> sectionNodes(std::span<const uint8_t> section);

}  // namespace orv
