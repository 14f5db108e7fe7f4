#include "shell/gui/print_dialog_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <ctime>

#include "platform/message.h"
#include "presentation/basic_info_page.h"
#include "presentation/guide_page.h"
#include "presentation/program_info_page.h"
#include "presentation/report_output.h"
#include "presentation/report_writers.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/dialog_launchers.h"

namespace orv::gui {
namespace {

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The guide page as it opens: the first service of the actual list, else of the other list.
void showFirstService(GuidePage& guide, const AnalysisContext& ctx) {
    for (const GuideListId id : {GuideListId::Actual, GuideListId::Other}) {
        const GuideList& list = id == GuideListId::Actual ? ctx.guide.actual : ctx.guide.other;
        if (list.count() > 0) {
            guide.selectionChanged(ctx, id, 0);
            return;
        }
    }
}

constexpr const char* kPrintOnlyText = "此项信息只能打印。";

}  // namespace

PrintDialog::PrintDialog(AnalysisSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    setWindowTitle(QStringLiteral("打印信息"));
    session_.access([this](AnalysisContext& ctx, ResultsPage&) { model_.fillTables(ctx); });

    auto* kindsBox = new QGroupBox(QStringLiteral("传送流数据列表"), this);
    auto* grid = new QGridLayout(kindsBox);
    for (int k = 1; k <= kReportKindCount; ++k) {
        auto* button = new QRadioButton(qs(reportKindTexts()[static_cast<std::size_t>(k - 1)]));
        kinds_[static_cast<std::size_t>(k - 1)] = button;
        grid->addWidget(button, k - 1, 0);
    }
    kinds_[0]->setChecked(true);
    table_ = new QComboBox;
    for (const ReportTableChoice& t : model_.tables)
        table_->addItem(qs(t.text));
    video_ = new QComboBox;
    for (const char* t : kVideoPesCurves)
        video_->addItem(qs(t));
    audio_ = new QComboBox;
    for (const char* t : kAudioPesCurves)
        audio_->addItem(qs(t));
    grid->addWidget(table_, 5, 1);
    grid->addWidget(video_, 6, 1);
    grid->addWidget(audio_, 7, 1);

    auto* optionsBox = new QGroupBox(QStringLiteral("数据处理选项"), this);
    auto* options = new QGridLayout(optionsBox);
    save_ = new QCheckBox(QStringLiteral("保存信息"));
    save_->setChecked(true);
    print_ = new QCheckBox(QStringLiteral("打印信息"));
    print_->setChecked(true);
    utf8_ = new QCheckBox(QStringLiteral("以UTF-8编码保存"));
    path_ = new QLineEdit(qs(kDefaultReportPath));
    browse_ = new QPushButton(QStringLiteral("..."));
    browse_->setFixedWidth(32);
    options->addWidget(save_, 0, 0);
    options->addWidget(print_, 0, 1);
    options->addWidget(utf8_, 0, 2);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path_);
    pathRow->addWidget(browse_);
    options->addLayout(pathRow, 1, 0, 1, 3);
    connect(save_, &QCheckBox::toggled, this, [this](bool on) {
        path_->setEnabled(on);
        browse_->setEnabled(on);
        utf8_->setEnabled(on);
    });
    connect(browse_, &QPushButton::clicked, this, &PrintDialog::browse);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("确 定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取 消"), QDialogButtonBox::RejectRole);
    pdf_ = buttons->addButton(QStringLiteral("输出PDF..."), QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &PrintDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PrintDialog::reject);
    connect(pdf_, &QPushButton::clicked, this, &PrintDialog::choosePdf);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(kindsBox);
    layout->addWidget(optionsBox);
    layout->addWidget(buttons);

    printHandler_ = [this](const PrintDocument& doc) { showPrintPreview(doc, parentWidget()); };
}

ReportDialog PrintDialog::settings() const {
    ReportDialog d = model_;
    for (int k = 1; k <= kReportKindCount; ++k) {
        if (kinds_[static_cast<std::size_t>(k - 1)]->isChecked()) d.kind = k;
    }
    d.tableIndex = table_->currentIndex();
    d.videoPes = std::max(0, video_->currentIndex());
    d.audioPes = std::max(0, audio_->currentIndex());
    d.save = save_->isChecked();
    d.print = print_->isChecked();
    d.path = path_->text().toStdString();
    d.encoding = utf8_->isChecked() ? ReportEncoding::Utf8 : ReportEncoding::Gbk;
    return d;
}

void PrintDialog::accept() {
    const ReportDialog d = settings();
    QDialog::accept();
    if (std::optional<PrintDocument> doc = run(d); doc && d.print && printHandler_)
        printHandler_(*doc);
}

int PrintDialog::exportPdf(const QString& path) {
    ReportDialog d = settings();
    d.save = false;
    d.print = true;
    const std::optional<PrintDocument> doc = run(d);
    if (!doc) return 0;
    const int pages = printToPdf(*doc, path);
    if (pages == 0) showMessage("打开文件" + path.toStdString() + "时出错。");
    return pages;
}

std::optional<PrintDocument> PrintDialog::run(ReportDialog d) {
    if (!d.save && !d.print) return std::nullopt;
    const ReportKindInfo* kind = reportKind(d.kind);
    if (kind == nullptr) return std::nullopt;
    const std::time_t now = std::time(nullptr);

    if (kind->printOnly) {
        if (!d.print) {
            showMessage(kPrintOnlyText);
            return std::nullopt;
        }
        std::optional<PrintDocument> doc;
        const int curve = d.kind == 7 ? d.videoPes : d.audioPes;
        session_.access(
            [&](AnalysisContext& ctx, ResultsPage&) { doc = graphDocument(ctx, d.kind, curve); });
        if (!doc) return std::nullopt;
        if (doc->graphs.empty()) {
            showMessage(d.kind == 5 ? "不存在PCR分析曲线信息!" : "不存在PES信息!");
            return std::nullopt;
        }
        return doc;
    }
    if (kind->body == nullptr) {
        showMessage(kPrintOnlyText);
        return std::nullopt;
    }

    // The writer reads the analysis and the pages under the lock; the file, the messages and the
    // printer come after it, so a message box never holds up the analysis.
    ReportBody body;
    const bool read = session_.access([&](AnalysisContext& ctx, ResultsPage& results) {
        BasicInfoPage basicInfo;
        basicInfo.refresh(ctx);
        ProgramInfoPage program;
        program.refresh(ctx);
        if (selections_.program != program.selectedProgram())
            program.selectProgram(ctx, selections_.program);
        GuidePage guide;
        guide.refresh(ctx);
        if (selections_.guideService)
            guide.selectionChanged(ctx, selections_.guideService->first,
                                   selections_.guideService->second);
        else
            showFirstService(guide, ctx);
        ReportSources sources{&ctx, &results, &guide};
        sources.basicInfo = &basicInfo;
        sources.program = &program;
        if (selections_.capture) sources.capture = &*selections_.capture;
        if (session_.runKind() == RunKind::Online &&
            session_.interfaceSettings().inputInterface == InputInterface::Cable)
            sources.cable = &session_.interfaceSettings();
        body = kind->body(sources, d, now);
    });
    if (!read || body.nothing) return std::nullopt;
    if (body.refusal) {
        showMessage(*body.refusal);
        return std::nullopt;
    }
    if (d.save) {
        const std::string block = formatReportBlock(kind->titleLines, now, body.lines, d.encoding);
        // A file that cannot be opened stops the job: nothing is printed either.
        if (appendReportBlock(d.path, block).status == AppendStatus::OpenFailed)
            return std::nullopt;
    }
    if (!d.print) return std::nullopt;
    return printDocument(ReportPrintJob{kind->printTitle, std::move(body.lines), body.printColumns,
                                        std::move(body.printRows)});
}

void PrintDialog::browse() {
    QFileDialog dialog(this, QStringLiteral("另存为"), path_->text());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("log"));
    dialog.setNameFilters({QStringLiteral("TS 信息(*.txt)"), QStringLiteral("所有文件(*.*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    model_.choosePath(dialog.selectedFiles().front().toStdString());
    path_->setText(qs(model_.path));
}

void PrintDialog::choosePdf() {
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("输出PDF"), QString(),
                                                QStringLiteral("PDF 文件(*.pdf)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
    exportPdf(path);
}

void showPrintPreview(const PrintDocument& doc, QWidget* parent) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromStdString(doc.title));
    QPrintPreviewDialog preview(&printer, parent);
    preview.setWindowTitle(QStringLiteral("打印预览"));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&doc](QPrinter* p) { paintPrintDocument(doc, *p); });
    preview.exec();
}

void runPrintDialog(AnalysisSession& session, const PrintSelections& selections, QWidget* parent) {
    PrintDialog dialog(session, parent);
    dialog.setSelections(selections);
    dialog.exec();
}

}  // namespace orv::gui
