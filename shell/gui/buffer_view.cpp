#include "shell/gui/buffer_view.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "shell/gui/analysis_session.h"
#include "shell/gui/fill_bar_widget.h"
#include "shell/gui/qt_text.h"

namespace orv::gui {
namespace {

// Caption, fill and background (0x00BBGGRR) of each bar, in drawing order.
struct BarStyle {
    const char* caption;
    uint32_t fill;
    uint32_t background;
};
constexpr std::array<BarStyle, BufferView::kBarCount> kBarStyles{{
    {"传送缓冲器TB", 3937500, 2237106},
    {"多路复用缓冲器MB", 3937500, 2237106},
    {"基本码流缓冲器EB", 55295, 2139610},
    {"传送缓冲器TB", 55295, 2139610},
    {"主缓冲器B", 55295, 2139610},
    {"传送缓冲器TB", 0xCD0000, 13434980},
    {"主缓冲器B", 0xCD0000, 13434980},
}};

struct Column {
    const char* title;
    int width;
};
constexpr std::array<Column, 6> kSummaryColumns{{
    {"序号", 40},
    {"类型", 92},
    {"传送缓冲器", 100},
    {"主缓冲器", 180},
    {"复用缓冲器", 190},
    {"ES缓冲器", 190},
}};

// Replaces a selector's entries when they differ from the model's, without notifying the view.
void syncSelector(QComboBox* box, const std::vector<std::string>& entries, int current) {
    const QSignalBlocker block(box);
    bool same = box->count() == static_cast<int>(entries.size());
    for (int i = 0; same && i < box->count(); ++i)
        same = box->itemText(i) == text(entries[static_cast<std::size_t>(i)]);
    if (!same) {
        box->clear();
        for (const std::string& e : entries)
            box->addItem(text(e));
    }
    if (box->count() > 0 && current >= 0 && current < box->count() &&
        box->currentIndex() != current)
        box->setCurrentIndex(current);
}

void setCell(QTableWidget* table, int row, int column, const std::string& value) {
    QTableWidgetItem* item = table->item(row, column);
    if (item == nullptr) {
        table->setItem(row, column, new QTableWidgetItem(text(value)));
    } else if (item->text() != text(value)) {
        item->setText(text(value));
    }
}

}  // namespace

BufferView::BufferView(AnalysisSession& session, QWidget* parent)
    : PageView(parent), session_(session) {
    auto* layout = new QVBoxLayout(this);

    auto* selectors = new QHBoxLayout;
    auto addSelector = [&](const char* label, QWidget* field) {
        selectors->addWidget(new QLabel(QString::fromUtf8(label), this));
        selectors->addWidget(field);
    };
    programs_ = new QComboBox(this);
    programs_->setMinimumContentsLength(28);
    programs_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    videoPids_ = new QComboBox(this);
    videoPids_->setMinimumContentsLength(8);
    audioPids_ = new QComboBox(this);
    audioPids_->setMinimumContentsLength(8);
    scrambling_ = new QLineEdit(this);
    scrambling_->setReadOnly(true);
    scrambling_->setMaximumWidth(140);
    addSelector("节目：", programs_);
    addSelector("视频PID：", videoPids_);
    addSelector("音频PID：", audioPids_);
    addSelector("加扰状态：", scrambling_);
    selectors->addStretch(1);
    layout->addLayout(selectors);

    auto* groups = new QHBoxLayout;
    auto addGroup = [&](const char* title, int first, int last, int stretch) {
        auto* box = new QGroupBox(QString::fromUtf8(title), this);
        auto* row = new QHBoxLayout(box);
        for (int b = first; b <= last; ++b) {
            const BarStyle& s = kBarStyles[static_cast<std::size_t>(b)];
            auto* bar = new FillBarWidget(QString::fromUtf8(s.caption), colourFromBgr(s.fill),
                                          colourFromBgr(s.background), box);
            bar->setObjectName(QStringLiteral("bar%1").arg(b));
            bars_[static_cast<std::size_t>(b)] = bar;
            row->addWidget(bar);
        }
        groups->addWidget(box, stretch);
    };
    addGroup("视频缓冲器", VideoTb, VideoEb, 3);
    addGroup("音频缓冲器", AudioTb, AudioB, 2);
    addGroup("系统缓冲器", SystemTb, SystemB, 2);
    layout->addLayout(groups, 1);

    summary_ = new QTableWidget(0, static_cast<int>(kSummaryColumns.size()), this);
    QStringList titles;
    for (const Column& c : kSummaryColumns)
        titles << QString::fromUtf8(c.title);
    summary_->setHorizontalHeaderLabels(titles);
    for (int c = 0; c < static_cast<int>(kSummaryColumns.size()); ++c)
        summary_->setColumnWidth(c, kSummaryColumns[static_cast<std::size_t>(c)].width);
    summary_->verticalHeader()->hide();
    summary_->setSelectionBehavior(QAbstractItemView::SelectRows);
    summary_->setSelectionMode(QAbstractItemView::SingleSelection);
    summary_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    summary_->setShowGrid(true);
    // All six rows in view without scrolling.
    const int rowHeight = fontMetrics().height() + 8;
    summary_->verticalHeader()->setDefaultSectionSize(rowHeight);
    summary_->setMinimumHeight(summary_->horizontalHeader()->sizeHint().height() + 6 * rowHeight +
                               2 * summary_->frameWidth() + 2);
    layout->addWidget(summary_);

    connect(programs_, &QComboBox::activated, this, &BufferView::chooseProgram);
    connect(audioPids_, &QComboBox::activated, this, &BufferView::chooseAudio);
}

void BufferView::refresh() {
    if (cadence_.due()) refreshNow();
}

void BufferView::passFinished() {
    refreshNow();
}

void BufferView::refreshNow() {
    // The page follows a run once its initialisation has ended; after the stop it stays empty.
    if (!session_.analysisActive()) return;
    bool ran = false;
    int next = kBufferRefreshMs;
    session_.access([&](AnalysisContext& ctx, ResultsPage&) {
        if (!ctx.initDone) return;
        next = page_.refresh(ctx);
        ran = true;
    });
    if (!ran) return;
    cadence_.arm(next);
    draw();
}

void BufferView::clearAtStop() {
    page_.reset();
    cadence_.makeDue();
    draw();
}

void BufferView::showEvent(QShowEvent* event) {
    cadence_.makeDue();
    PageView::showEvent(event);
}

void BufferView::chooseProgram(int index) {
    page_.selectProgram(index);
    // The PID selectors refill for the new program at once rather than one period later.
    refreshNow();
    draw();
}

void BufferView::chooseAudio(int index) {
    page_.selectAudio(index);
    refreshNow();
    draw();
}

void BufferView::draw() {
    syncSelector(programs_, page_.programChoices(), page_.selectedProgram());
    syncSelector(videoPids_, page_.videoPids(), 0);
    syncSelector(audioPids_, page_.audioPids(), page_.selectedAudio());
    if (scrambling_->text() != text(page_.scramblingText()))
        scrambling_->setText(text(page_.scramblingText()));

    const ProgramBars& p = page_.bars();
    const std::array<FillBar, kBarCount> bars{
        p.videoTb, p.videoMb, p.videoEb, p.audioTb, p.audioB, page_.systemTb(), page_.systemB()};
    for (std::size_t b = 0; b < bars.size(); ++b)
        bars_[b]->setBar(bars[b].range, bars[b].position);

    const std::vector<BufferSummaryRow>& rows = page_.summary();
    if (summary_->rowCount() != static_cast<int>(rows.size()))
        summary_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            setCell(summary_, static_cast<int>(r), static_cast<int>(c), rows[r][c]);
}

}  // namespace orv::gui
