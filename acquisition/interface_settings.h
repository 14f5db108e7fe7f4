// The capture card's input as the user chose it: the ASI input, or the CABLE input with its
// downstream frequency, symbol rate and QAM mode. They start from these values at every program
// start (nothing is stored between runs) and go to the card at each start of online analysis.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

enum class InputInterface { Asi = 0, Cable = 1 };

struct InterfaceSettings {
    InputInterface inputInterface = InputInterface::Asi;
    int cableFrequencyKHz = 315000;
    int cableSymbolRateK = 6875;
    int cableQamIndex = 2;  // 0 to 4: 16, 32, 64, 128, 256-QAM
};

// "asi" or "cable", as the command line names them.
constexpr std::optional<InputInterface> inputInterfaceNamed(std::string_view name) {
    if (name == "asi") return InputInterface::Asi;
    if (name == "cable") return InputInterface::Cable;
    return std::nullopt;
}

// The QAM index of a constellation size: 16 gives 0, 32 gives 1 ... 256 gives 4.
constexpr std::optional<int> qamIndexOfOrder(int order) {
    for (int index = 0, size = 16; index < 5; ++index, size *= 2) {
        if (size == order) return index;
    }
    return std::nullopt;
}

// The names of the two inputs and of the five QAM modes, as the interface lists show them.
inline constexpr std::array<std::string_view, 2> kInputInterfaceNames{"ASI输入", "CABLE输入"};
inline constexpr std::array<std::string_view, 5> kQamModeNames{"16 QAM", "32 QAM", "64 QAM",
                                                               "128 QAM", "256 QAM"};

// The constellation size of a QAM index (0 gives 16 ... 4 gives 256); 0 for an index out of range.
constexpr int qamOrderOfIndex(int index) {
    return index >= 0 && index < 5 ? 16 << index : 0;
}

// A number typed into one of the dialogs' numeric fields, read as the dialogs read it: the leading
// decimal digits; a text that is not a number reads as 0. A value beyond int reads as 0 as well
// (the field holds at most six digits, so only a forged text gets there).
int fieldNumber(std::string_view text);

// The frequencies the QAM scan tries, in kHz and in this order: 52000, 60000, 68000, 80000 and
// 88000, then 115000 to 459000 and 474000 to 858000 in steps of 8000 (98 in all).
std::vector<int> qamScanFrequencies();

}  // namespace orv
