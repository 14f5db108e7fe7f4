#include "acquisition/interface_dialog.h"

#include <charconv>
#include <string>

namespace orv {

int fieldNumber(std::string_view text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + digits, value);
    return ec == std::errc{} && end == text.data() + digits ? value : 0;
}

std::vector<int> qamScanFrequencies() {
    std::vector<int> table{52000, 60000, 68000, 80000, 88000};
    for (int f = 115000; f <= 459000; f += 8000)
        table.push_back(f);
    for (int f = 474000; f <= 858000; f += 8000)
        table.push_back(f);
    return table;
}

std::string numericField(std::string_view text, std::size_t maxChars) {
    std::string kept;
    for (const char c : text) {
        if (kept.size() == maxChars) break;
        if (c >= '0' && c <= '9') kept += c;
    }
    return kept;
}

InterfaceDialog InterfaceDialog::open(const InterfaceSettings& current) {
    InterfaceDialog d;
    d.frequencyText = std::to_string(current.cableFrequencyKHz);
    d.symbolRateText = std::to_string(current.cableSymbolRateK);
    d.qamIndex =
        current.cableQamIndex >= 0 && current.cableQamIndex < 5 ? current.cableQamIndex : 2;
    d.inputIndex = current.inputInterface == InputInterface::Cable ? 1 : 0;
    return d;
}

void InterfaceDialog::typeSymbolRate(std::string_view text) {
    symbolRateText = numericField(text, kSymbolRateFieldChars);
}

void InterfaceDialog::typeScanFrequency(std::string_view text) {
    scanFrequencyText = numericField(text, kScanFrequencyFieldChars);
}

InterfaceSettings InterfaceDialog::accept() const {
    InterfaceSettings s;
    s.inputInterface = inputIndex == 1 ? InputInterface::Cable : InputInterface::Asi;
    s.cableQamIndex = qamIndex;
    s.cableFrequencyKHz = fieldNumber(frequencyText);
    s.cableSymbolRateK = fieldNumber(symbolRateText);
    return s;
}

std::optional<std::string_view> InterfaceDialog::acceptProblem() const {
    if (!cableControlsEnabled()) return std::nullopt;
    if (fieldNumber(frequencyText) <= 0) return kNoFrequencyMessage;
    if (fieldNumber(symbolRateText) <= 0) return kNoSymbolRateMessage;
    return std::nullopt;
}

std::optional<std::string_view> InterfaceDialog::scanProblem() const {
    if (fieldNumber(scanSymbolRateText) <= 0) return kNoSymbolRateMessage;
    if (!scanAutomatic && fieldNumber(scanFrequencyText) <= 0) return kNoFrequencyMessage;
    return std::nullopt;
}

}  // namespace orv
