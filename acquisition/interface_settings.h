// The capture card's input as the user chose it: the ASI input, or the CABLE input with its
// downstream frequency, symbol rate and QAM mode. They start from these values at every program
// start (nothing is stored between runs) and go to the card at each start of online analysis.
#pragma once

#include <optional>
#include <string_view>

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

}  // namespace orv
