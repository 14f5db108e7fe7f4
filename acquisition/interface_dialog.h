// The interface settings dialog "接口参数设置" without its window: the input group (ASI or CABLE,
// QAM mode, frequency and symbol rate) and the fields of the QAM detector group. A GUI draws it
// and the QAM scan (qam_scan.h) runs what the detector group holds. Accepting writes the four
// interface settings; nothing goes to the card until online analysis starts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "acquisition/interface_settings.h"

namespace orv {

inline constexpr std::string_view kInterfaceDialogTitle = "接口参数设置";
inline constexpr std::size_t kSymbolRateFieldChars = 4;
inline constexpr std::size_t kScanFrequencyFieldChars = 6;
// The input group's frequency field: six digits reach 999999 kHz, beyond every cable channel (the
// library multiplies the kHz value by 1000 into 32 bits, which a seventh digit could overflow).
inline constexpr std::size_t kFrequencyFieldChars = 6;

// Why a CABLE setting or a detector test cannot go to the card: a frequency or symbol rate of 0
// (an empty field) would only fail later, at the start of online analysis or as a lost scan.
inline constexpr std::string_view kNoFrequencyMessage = "请输入有效的下行频率(KHz)!";
inline constexpr std::string_view kNoSymbolRateMessage = "请输入有效的符号率(KBaud)!";

struct InterfaceDialog {
    // Group "输入接口设置".
    int inputIndex = 0;  // into kInputInterfaceNames
    int qamIndex = 2;    // into kQamModeNames
    std::string frequencyText = "315000";
    std::string symbolRateText = "6875";
    // Group "QAM信号自动检测".
    int scanQamIndex = 2;
    std::string scanSymbolRateText = "6875";
    bool scanAutomatic = true;  // "自动"; false: "手动", one frequency
    std::string scanFrequencyText = "52000";

    // The dialog as it opens over the current settings.
    static InterfaceDialog open(const InterfaceSettings& current);

    // The frequency, symbol rate and QAM controls of the input group are enabled for CABLE only;
    // the detector's frequency field for a manual test only.
    bool cableControlsEnabled() const { return inputIndex == 1; }
    bool scanFrequencyEnabled() const { return !scanAutomatic; }

    // Typing into the numeric fields: only digits are taken, up to the field's length.
    void typeSymbolRate(std::string_view text);
    void typeScanFrequency(std::string_view text);

    // "确 定": the settings the dialog holds (a field that is not a number gives 0).
    InterfaceSettings accept() const;

    // The message that refuses "确 定": the CABLE input without a frequency or symbol rate.
    // nullopt when the settings can be taken (the ASI input ignores the cable fields).
    std::optional<std::string_view> acceptProblem() const;
    // The message that refuses "开 始": no detection symbol rate, or a manual test without a
    // frequency. nullopt when the detector can start.
    std::optional<std::string_view> scanProblem() const;
};

// What a numeric field keeps of a typed text: its digits, at most maxChars of them.
std::string numericField(std::string_view text, std::size_t maxChars);

}  // namespace orv
