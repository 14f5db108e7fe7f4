#include "shell/gui/capture_page_view.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSplitter>
#include <QTabBar>
#include <QTextBlock>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/message.h"
#include "presentation/capture_viewer_text.h"
#include "presentation/hex_dump.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/qt_text.h"

namespace orv::gui {
namespace {

// The tabs of the type list, in the order of CapturePage.
struct KindTab {
    CapturePage page;
    const char* title;
};
constexpr std::array<KindTab, 4> kTabs{{
    {CapturePage::Section, "PSI/SI表"},
    {CapturePage::Pid, "PID数据包"},
    {CapturePage::Pes, "PES数据包"},
    {CapturePage::Error, "错误数据包"},
}};

// Where byte `i` of the dump stands: its line and column ("%04x    " then "%02x " per byte).
constexpr int kDumpOffsetColumns = 8;
constexpr int kDumpCellColumns = 3;

QString joined(const std::vector<std::string>& lines, std::size_t from, std::size_t to) {
    QString out;
    for (std::size_t i = from; i < to; ++i) {
        if (i > from) out += QLatin1Char('\n');
        out += text(lines[i]);
    }
    return out;
}

// The line the viewer's title shows: what the copy is, where it was taken and its size.
QString copyTitleText(const CaptureCopy& c) {
    char line[160];
    std::snprintf(line, sizeof line, "%.*s  第%llu包  %zu 字节",
                  static_cast<int>(captureTriggerName(c.trigger).size()),
                  captureTriggerName(c.trigger).data(),
                  static_cast<unsigned long long>(c.packetNumber), c.bytes.size());
    return QString::fromUtf8(line);
}

}  // namespace

CapturePageView::CapturePageView(AnalysisSession& session, QWidget* parent)
    : PageView(parent),
      session_(session),
      model_(std::make_unique<CapturePageModel>(timers_, store_)),
      answer_([this](const QString& question) {
          return QMessageBox::question(this, QStringLiteral("数据捕获"), question,
                                       QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
      }) {
    auto* layout = new QHBoxLayout(this);

    // Left: what to capture, the commands and the copies received.
    auto* left = new QVBoxLayout;
    auto* typeBox = new QGroupBox(QStringLiteral("捕获类型"), this);
    auto* typeLayout = new QVBoxLayout(typeBox);
    tabs_ = new QTabBar(typeBox);
    for (const KindTab& t : kTabs)
        tabs_->addTab(QString::fromUtf8(t.title));
    types_ = new QListWidget(typeBox);
    typeLayout->addWidget(tabs_);
    typeLayout->addWidget(types_);
    left->addWidget(typeBox, 3);

    auto* countRow = new QHBoxLayout;
    countRow->addWidget(new QLabel(QStringLiteral("捕获数量："), this));
    count_ = new QLineEdit(this);
    count_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,6}")), count_));
    count_->setPlaceholderText(QString::number(kDefaultCaptures));
    countRow->addWidget(count_);
    countRow->addWidget(new QLabel(QStringLiteral("用时："), this));
    elapsed_ = new QLabel(QStringLiteral("00:00:00"), this);
    countRow->addWidget(elapsed_);
    left->addLayout(countRow);

    auto* buttons = new QHBoxLayout;
    trigger_ = new QPushButton(QStringLiteral("触 发"), this);
    stop_ = new QPushButton(QStringLiteral("停 止"), this);
    clear_ = new QPushButton(QStringLiteral("清 除"), this);
    save_ = new QPushButton(QStringLiteral("保 存"), this);
    for (QPushButton* b : {trigger_, stop_, clear_, save_})
        buttons->addWidget(b);
    left->addLayout(buttons);

    auto* copyBox = new QGroupBox(QStringLiteral("捕获数据"), this);
    auto* copyLayout = new QVBoxLayout(copyBox);
    copies_ = new QListWidget(copyBox);
    copyLayout->addWidget(copies_);
    left->addWidget(copyBox, 2);
    layout->addLayout(left, 2);

    // Right: the viewer of the chosen copy.
    auto* viewerBox = new QGroupBox(QStringLiteral("数据查看"), this);
    auto* viewerLayout = new QVBoxLayout(viewerBox);
    copyTitle_ = new QLabel(viewerBox);
    viewerLayout->addWidget(copyTitle_);
    auto* split = new QSplitter(Qt::Vertical, viewerBox);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    syntax_ = new QPlainTextEdit(split);
    hex_ = new QPlainTextEdit(split);
    for (QPlainTextEdit* e : {syntax_, hex_}) {
        e->setReadOnly(true);
        e->setFont(fixed);
        e->setLineWrapMode(QPlainTextEdit::NoWrap);
    }
    split->addWidget(syntax_);
    split->addWidget(hex_);
    viewerLayout->addWidget(split);
    layout->addWidget(viewerBox, 3);

    connect(tabs_, &QTabBar::currentChanged, this, [this](int) { redrawTypes(); });
    connect(trigger_, &QPushButton::clicked, this, &CapturePageView::onTrigger);
    connect(stop_, &QPushButton::clicked, this, [this] {
        model_->stop();
        refresh();
    });
    connect(clear_, &QPushButton::clicked, this, [this] {
        model_->clear();
        count_->clear();
        refresh();
    });
    connect(save_, &QPushButton::clicked, this, &CapturePageView::onSave);
    connect(copies_, &QListWidget::currentRowChanged, this, &CapturePageView::onCopyChosen);
    redrawControls();
}

CapturePageView::~CapturePageView() = default;

void CapturePageView::refresh() {
    redrawTypes();
    redrawControls();
    redrawCopies();
}

// The type list of the chosen tab, from what the analysis knows: lines appear once its
// initialisation phase is over, and grow as it finds more (programs, EIT tables). The list
// stays as it is while a capture runs.
void CapturePageView::redrawTypes() {
    const int tab = tabs_->currentIndex();
    if (tab < 0 || model_->running()) return;
    std::vector<CaptureChoice> fresh;
    const bool read = session_.access([&](AnalysisContext& ctx, ResultsPage&) {
        if (ctx.initDone) fresh = captureChoices(ctx, kTabs[static_cast<std::size_t>(tab)].page);
    });
    if (!read) return;
    const bool same =
        tab == choicesTab_ && fresh.size() == choices_.size() &&
        std::equal(fresh.begin(), fresh.end(), choices_.begin(),
                   [](const CaptureChoice& a, const CaptureChoice& b) { return a.text == b.text; });
    if (same) return;
    const QString chosen = types_->currentItem() != nullptr ? types_->currentItem()->text() : "";
    choices_ = std::move(fresh);
    choicesTab_ = tab;
    types_->clear();
    for (const CaptureChoice& c : choices_)
        types_->addItem(text(c.text));
    const QList<QListWidgetItem*> again = types_->findItems(chosen, Qt::MatchExactly);
    if (!chosen.isEmpty() && !again.isEmpty()) types_->setCurrentItem(again.front());
}

void CapturePageView::redrawControls() {
    const CaptureControls c = model_->controls();
    trigger_->setEnabled(c.trigger);
    stop_->setEnabled(c.stop);
    clear_->setEnabled(c.clear);
    save_->setEnabled(c.save);
    types_->setEnabled(c.typeList);
    tabs_->setEnabled(c.tabs);
    count_->setEnabled(c.countField);
    // Once triggered the field shows the count taken (50 for an empty one, at most 100).
    if (!c.countField) {
        const QString used = text(model_->countField());
        if (count_->text() != used) count_->setText(used);
    }
    const QString elapsed = text(model_->elapsedText());
    if (elapsed_->text() != elapsed) elapsed_->setText(elapsed);
}

void CapturePageView::redrawCopies() {
    const std::vector<std::string> lines = model_->copyLines();
    const auto listed = static_cast<std::size_t>(copies_->count());
    if (lines.size() < listed) {
        const QSignalBlocker block(copies_);
        copies_->clear();
    }
    for (auto i = static_cast<std::size_t>(copies_->count()); i < lines.size(); ++i)
        copies_->addItem(text(lines[i]));
    const std::optional<std::size_t> shown = model_->shownCopy();
    if (shown != drawn_) drawCopy(shown);
    if (shown && copies_->currentRow() != static_cast<int>(*shown)) {
        const QSignalBlocker block(copies_);
        copies_->setCurrentRow(static_cast<int>(*shown));
    }
}

void CapturePageView::drawCopy(std::optional<std::size_t> index) {
    drawn_ = index;
    const std::optional<CaptureCopy> copy = index ? store_.at(*index) : std::nullopt;
    if (!copy) {
        drawn_.reset();
        copyTitle_->clear();
        syntax_->clear();
        hex_->clear();
        return;
    }
    const CaptureView view = captureView(*copy);
    // The dump closes the lines: one line per 20 bytes and the last, partial or empty, line.
    const std::size_t dumpLines = copy->bytes.size() / kHexDumpBytesPerLine + 1;
    const std::size_t syntaxLines =
        view.lines.size() >= dumpLines ? view.lines.size() - dumpLines : 0;
    copyTitle_->setText(copyTitleText(*copy));
    syntax_->setPlainText(joined(view.lines, 0, syntaxLines));
    hex_->setPlainText(joined(view.lines, syntaxLines, view.lines.size()));

    // The faulty packet of an error block: its bytes marked line by line.
    QList<QTextEdit::ExtraSelection> marks;
    const std::size_t first = view.fromBit / 8;
    const std::size_t end = std::min(view.toBit / 8, copy->bytes.size());
    QTextCharFormat format;
    format.setBackground(QColor(255, 220, 120));
    format.setForeground(Qt::red);
    for (std::size_t b = first; b < end;) {
        const std::size_t line = b / kHexDumpBytesPerLine;
        const std::size_t lineEnd = std::min(end, (line + 1) * kHexDumpBytesPerLine);
        const QTextBlock block = hex_->document()->findBlockByNumber(static_cast<int>(line));
        if (!block.isValid()) break;
        const int from =
            kDumpOffsetColumns + kDumpCellColumns * static_cast<int>(b % kHexDumpBytesPerLine);
        const int to = kDumpOffsetColumns +
                       kDumpCellColumns * static_cast<int>((lineEnd - 1) % kHexDumpBytesPerLine) +
                       2;
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(block);
        mark.cursor.setPosition(block.position() + from);
        mark.cursor.setPosition(block.position() + to, QTextCursor::KeepAnchor);
        mark.format = format;
        marks.append(mark);
        b = lineEnd;
    }
    hex_->setExtraSelections(marks);
    // The marked packet may lie deep in its block: bring it into view.
    if (!marks.isEmpty()) {
        QTextCursor at(hex_->document());
        at.setPosition(marks.front().cursor.selectionStart());
        hex_->setTextCursor(at);
        hex_->centerCursor();
    }
}

void CapturePageView::onCopyChosen(int row) {
    if (row < 0) return;
    model_->choose(static_cast<std::size_t>(row));
    redrawCopies();
}

void CapturePageView::onTrigger() {
    const int row = types_->currentRow();
    const CaptureChoice* chosen = row >= 0 && static_cast<std::size_t>(row) < choices_.size() &&
                                          choicesTab_ == tabs_->currentIndex()
                                      ? &choices_[static_cast<std::size_t>(row)]
                                      : nullptr;
    const std::string count = count_->text().toStdString();
    const std::string file = session_.analysedFile().toStdString();
    auto attempt = [&](bool confirmed) {
        CaptureTriggerResult result = CaptureTriggerResult::Ignored;
        // The model takes ctx.mutex itself; the session only vouches that the context is ready.
        session_.accessUnlocked([&](AnalysisContext& ctx) {
            result = model_->trigger(ctx, chosen, count, confirmed, file);
        });
        return result;
    };
    CaptureTriggerResult result = attempt(false);
    if (result == CaptureTriggerResult::AskUnseen) {
        if (!answer_ || !answer_(text(model_->pendingQuestion()))) return;
        result = attempt(true);
    }
    if ((result == CaptureTriggerResult::Off || result == CaptureTriggerResult::Busy) &&
        !model_->lastError().empty())
        showMessage("数据捕获: " + model_->lastError());
    if (result == CaptureTriggerResult::Started) {
        const QSignalBlocker block(copies_);
        copies_->clear();
        drawCopy(std::nullopt);
    }
    refresh();
}

bool CapturePageView::saveTo(const QString& path) {
    return model_->save(path.toStdString()).ok;
}

void CapturePageView::onSave() {
    QFileDialog dialog(this, QStringLiteral("保存捕获数据"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("ts"));
    dialog.setNameFilters({QStringLiteral("TS 码流文件(*.ts)"), QStringLiteral("所有文件(*.*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    saveTo(dialog.selectedFiles().front());
}

// Stop-time page reset: the capture ends, its copies go, and the type list waits for the next
// run's initialisation phase.
void CapturePageView::clearAtStop() {
    model_->stop();
    model_->clear();
    choices_.clear();
    choicesTab_ = -1;
    types_->clear();
    count_->clear();
    {
        const QSignalBlocker block(copies_);
        copies_->clear();
    }
    drawCopy(std::nullopt);
    redrawControls();
}

}  // namespace orv::gui
