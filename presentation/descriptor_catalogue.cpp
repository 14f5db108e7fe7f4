#include "presentation/descriptor_catalogue.h"

#include <algorithm>
#include <vector>

namespace orv {
namespace {

std::vector<DescriptorTable> joinedCatalogue() {
    std::vector<DescriptorTable> all;
    for (auto part : {mpegDescriptorTables(), dvbDescriptorTables()}) {
        all.insert(all.end(), part.begin(), part.end());
    }
    std::sort(all.begin(), all.end(),
              [](const DescriptorTable& a, const DescriptorTable& b) { return a.tag < b.tag; });
    return all;
}

}  // namespace

std::span<const DescriptorTable> descriptorCatalogue() {
    static const std::vector<DescriptorTable> all = joinedCatalogue();
    return all;
}

const DescriptorTable* findDescriptorTable(uint8_t tag) {
    const auto all = descriptorCatalogue();
    const auto it = std::lower_bound(all.begin(), all.end(), tag,
                                     [](const DescriptorTable& d, uint8_t t) { return d.tag < t; });
    return (it != all.end() && it->tag == tag) ? &*it : nullptr;
}

}  // namespace orv
