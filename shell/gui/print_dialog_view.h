// The print settings dialog "打印信息": one of the ten kinds of stream information, the table and
// PES curve choices, whether to save the text into the report file and whether to print it. It
// binds its controls to the report dialog model and runs the report writers; printing shows a
// preview of the pages (or writes them into a PDF file).
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <utility>

#include "engine/capture_copy.h"
#include "presentation/guide_page.h"
#include "presentation/report_dialog.h"
#include "shell/gui/print_document.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orv::gui {

class AnalysisSession;

// What the pages show selected, for the kinds that report a selection: the program page's
// program (kind 4), the guide page's service (kind 10: a row of one of its lists) and the data
// capture list's item (kind 9). By default the first program and the first service, no capture.
struct PrintSelections {
    int program = 0;
    std::optional<std::pair<GuideListId, int>> guideService;
    std::optional<CaptureCopy> capture;
};

// "打印设置": the dialog on the pages' current choices, modal.
void runPrintDialog(AnalysisSession& session, const PrintSelections& selections, QWidget* parent);

class PrintDialog : public QDialog {
    Q_OBJECT

  public:
    PrintDialog(AnalysisSession& session, QWidget* parent = nullptr);

    // Where a print job goes; by default the print preview.
    using PrintHandler = std::function<void(const PrintDocument&)>;
    void setPrintHandler(PrintHandler handler) { printHandler_ = std::move(handler); }
    void setSelections(PrintSelections selections) { selections_ = std::move(selections); }

    // The model as the controls set it.
    ReportDialog settings() const;
    // "确 定": runs the chosen kind's writer as the flags say; the dialog closes.
    void accept() override;
    // Writes the chosen kind's pages into a PDF file; the pages written (0: nothing printed).
    int exportPdf(const QString& path);

    QRadioButton* kindButton(int kind) const { return kinds_[static_cast<std::size_t>(kind - 1)]; }
    QComboBox* tableCombo() const { return table_; }
    QComboBox* videoCombo() const { return video_; }
    QComboBox* audioCombo() const { return audio_; }
    QCheckBox* saveBox() const { return save_; }
    QCheckBox* printBox() const { return print_; }
    QCheckBox* utf8Box() const { return utf8_; }
    QLineEdit* pathEdit() const { return path_; }
    QPushButton* browseButton() const { return browse_; }
    QPushButton* pdfButton() const { return pdf_; }

  private:
    // Runs the selected kind as the dialog's flags say: a text kind appends its block to the
    // report file when saving. Returns the print job when printing was asked for and there is
    // something to print (nullopt otherwise; a refusal has been shown to the user).
    std::optional<PrintDocument> run(ReportDialog dialog);
    void browse();
    void choosePdf();

    AnalysisSession& session_;
    ReportDialog model_;
    PrintHandler printHandler_;
    PrintSelections selections_;
    std::array<QRadioButton*, kReportKindCount> kinds_{};
    QComboBox* table_ = nullptr;
    QComboBox* video_ = nullptr;
    QComboBox* audio_ = nullptr;
    QCheckBox* save_ = nullptr;
    QCheckBox* print_ = nullptr;
    QCheckBox* utf8_ = nullptr;
    QLineEdit* path_ = nullptr;
    QPushButton* browse_ = nullptr;
    QPushButton* pdf_ = nullptr;
};

// Shows the print preview of a document; printing from it goes to the chosen printer or file.
void showPrintPreview(const PrintDocument& doc, QWidget* parent);

}  // namespace orv::gui
