#include "presentation/section_rows.h"

#include <algorithm>

#include "presentation/text_format.h"

namespace orv::rows {

SectionView::SectionView(std::span<const uint8_t> bytes, bool hasCrc) : bytes_(bytes) {
    const std::size_t declared =
        bytes.size() >= 3 ? 3 + ((std::size_t{bytes[1]} & 0x0F) << 8 | bytes[2]) : bytes.size();
    dataEnd_ = std::min(declared, bytes.size());
    bodyEnd_ = dataEnd_;
    if (hasCrc && declared >= 3 + 4 && declared <= bytes.size()) {
        bodyEnd_ = declared - 4;
        crcPresent_ = true;
    } else if (hasCrc && declared >= 3 + 4) {
        bodyEnd_ = std::min(dataEnd_, declared - 4);
    }
}

uint32_t SectionView::be(std::size_t offset, std::size_t n) const {
    uint32_t v = 0;
    for (std::size_t i = 0; i < n && offset + i < dataEnd_; ++i)
        v = v << 8 | bytes_[offset + i];
    return v;
}

std::span<const uint8_t> SectionView::loop(std::size_t offset, std::size_t length) const {
    if (offset >= bodyEnd_) return {};
    return bytes_.subspan(offset, std::min(length, bodyEnd_ - offset));
}

bool writeRows(const SectionView& s, std::span<const Row> rows, TextLines& out) {
    for (const Row& r : rows) {
        if (r.size == 0) {
            out.emplace_back(r.tmpl);
            continue;
        }
        if (!s.has(r.offset, r.size)) return false;
        const uint32_t v = (s.be(r.offset, r.size) >> r.shift) & r.mask;
        out.push_back(withValue(v == 0 && r.zeroTmpl ? r.zeroTmpl : r.tmpl, v));
    }
    return true;
}

std::string withValue(const char* tmpl, uint64_t v) {
    return formatText(tmpl, {v});
}

std::string runningStatusLine(const char* head, unsigned status) {
    static constexpr const char* kTexts[] = {"0   (业务状态未定义)", "1   (业务状态未定义)",
                                             "2   (业务在几秒后开始)", "3   (业务暂停)",
                                             "4   (业务正在运行)"};
    std::string line(head);
    line += status < std::size(kTexts) ? std::string(kTexts[status])
                                       : formatText("%d   (预留使用)", {status});
    return line;
}

}  // namespace orv::rows
