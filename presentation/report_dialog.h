// The stream information report's dialog ("打印信息") as a model: which of the ten kinds, the
// table and PES curve choices, whether to save and print, and the report file. A GUI binds its
// controls to this; the command line fills it from its options.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/analysis_context.h"
#include "presentation/report_output.h"

namespace orv {

inline constexpr int kReportKindCount = 10;

// The radio button texts of kinds 1..10, in their order.
const std::array<const char*, kReportKindCount>& reportKindTexts();

// One entry of the table combo and the stored section it names.
struct ReportTableChoice {
    std::string text;  // as the combo shows it, e.g. "PMT[0001] PID:0x0100"
    uint8_t tableId = 0;
    int programIndex = -1;  // the program of a PMT entry
};

// The combo's entries in its order, each only when the analysis holds the table: the PAT
// always; a PMT per program whose PMT was received; CAT; NIT 0x40, 0x41; SDT 0x42, 0x46;
// BAT 0x4a; every EIT table_id 0x4e..0x6f with a stored section; TDT; TOT.
std::vector<ReportTableChoice> reportTableChoices(const AnalysisContext& ctx);

// The first stored section of the table an entry names (table_id to CRC_32, the TDT's eight
// bytes); empty when none is held. A view into the context: use it while the context stays.
std::span<const uint8_t> reportTableSection(const AnalysisContext& ctx,
                                            const ReportTableChoice& choice);

inline constexpr std::array<const char*, 2> kVideoPesCurves = {"视频 DTS/PCR Delay",
                                                               "视频 PTS/PCR Delay"};
inline constexpr std::array<const char*, 2> kAudioPesCurves = {"音频 DTS/PCR Delay",
                                                               "音频 PTS/PCR Delay"};

struct ReportDialog {
    int kind = 1;  // 1..10
    std::vector<ReportTableChoice> tables;
    int tableIndex = 0;
    int videoPes = 0;  // index into kVideoPesCurves
    int audioPes = 0;  // index into kAudioPesCurves
    bool save = true;
    bool print = true;
    std::string path = kDefaultReportPath;
    ReportEncoding encoding = ReportEncoding::Gbk;

    // Fills the table combo from the analysis; the first entry is selected.
    void fillTables(const AnalysisContext& ctx);
    // The path edit and its "..." button follow the save box.
    bool pathEnabled() const { return save; }
    // The "..." button's result: a chosen path replaces the path, an empty one leaves it.
    void choosePath(std::string_view chosen);
    // The selected entry of the table combo (nullptr when the combo is empty).
    const ReportTableChoice* table() const;
    std::string_view videoPesText() const;
    std::string_view audioPesText() const;
};

}  // namespace orv
