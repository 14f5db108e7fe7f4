#include "shell/gui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/message.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/app_icons.h"
#include "shell/gui/capture_page_view.h"
#include "shell/gui/dialog_launchers.h"
#include "shell/gui/guide_view.h"
#include "shell/gui/init_dialog_view.h"
#include "shell/gui/monitor_settings_dialog.h"
#include "shell/gui/page_view.h"
#include "shell/gui/print_dialog_view.h"
#include "shell/gui/program_info_view.h"
#include "shell/gui/progress_panel.h"
#include "shell/gui/qam_status_panel_view.h"
#include "shell/gui/qt_text.h"
#include "shell/gui/results_view.h"
#include "shell/gui/table_tree_view.h"

namespace orv::gui {
namespace {

// Views redraw from their snapshots this often.
constexpr int kViewPeriodMs = 200;

struct CommandInfo {
    Command command;
    const char* text;
    bool onlyWhenIdle;    // greyed while an analysis runs
    bool onlyWhenActive;  // greyed while none runs
};

constexpr std::array<CommandInfo, 10> kCommands{{
    {Command::Offline, "离线分析", true, false},
    {Command::Online, "在线分析", true, false},
    {Command::Record, "码流录制", true, false},
    {Command::Stop, "停止分析", false, true},
    {Command::Exit, "退出", false, false},
    {Command::InterfaceSettings, "输入接口信息", true, false},
    {Command::MonitorSettings, "监测参数设置", false, false},
    {Command::PrintSettings, "打印设置", false, false},
    {Command::Help, "帮助文件", false, false},
    {Command::About, "关于码流分析仪", false, false},
}};

struct ToolbarButton {
    Command command;
    CommandIcon icon;
};
constexpr std::array<ToolbarButton, 8> kToolbar{{
    {Command::Offline, CommandIcon::Offline},
    {Command::Online, CommandIcon::Online},
    {Command::Record, CommandIcon::Record},
    {Command::Stop, CommandIcon::Stop},
    {Command::MonitorSettings, CommandIcon::Monitor},
    {Command::InterfaceSettings, CommandIcon::Interface},
    {Command::PrintSettings, CommandIcon::Print},
    {Command::About, CommandIcon::About},
}};

// A page whose view comes later: its title on an empty panel.
QWidget* placeholderPage(const PageInfo& info, QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    auto* title = new QLabel(text(info.title), page);
    QFont font = title->font();
    font.setPointSize(font.pointSize() + 6);
    font.setBold(true);
    title->setFont(font);
    layout->addWidget(title);
    layout->addStretch();
    return page;
}

}  // namespace

MainWindow::MainWindow(AnalysisSession& session, QWidget* parent)
    : QMainWindow(parent), session_(session) {
    setWindowIcon(programIcon());
    for (const CommandInfo& c : kCommands) {
        auto* a = new QAction(QString::fromUtf8(c.text), this);
        commands_[static_cast<std::size_t>(c.command)] = a;
    }
    buildPages();
    addDockWidget(Qt::BottomDockWidgetArea, new QamStatusPanelView(session_, this));
    buildMenus();
    buildToolbar();

    stateLabel_ = new QLabel(this);
    packetsLabel_ = new QLabel(this);
    bitrateLabel_ = new QLabel(this);
    statusBar()->addWidget(stateLabel_, 1);
    statusBar()->addPermanentWidget(packetsLabel_);
    statusBar()->addPermanentWidget(bitrateLabel_);

    progress_ = new ProgressPanel(this);
    initDialog_ = new InitDialogView(this);
    connect(progress_, &ProgressPanel::stopRequested, this, [this] { session_.stop(); });
    connect(initDialog_, &InitDialogView::stopRequested, this, [this] {
        session_.stop();
        updateCommands();
    });

    connect(action(Command::Offline), &QAction::triggered, this, &MainWindow::onOfflineCommand);
    connect(action(Command::Online), &QAction::triggered, this, [this] {
        session_.startOnline();
        updateCommands();
    });
    connect(action(Command::Stop), &QAction::triggered, this, [this] {
        session_.stop();
        updateCommands();
    });
    connect(action(Command::Exit), &QAction::triggered, this, &QWidget::close);
    connect(action(Command::Record), &QAction::triggered, this,
            [this] { runRecordDialog(session_, this); });
    connect(action(Command::InterfaceSettings), &QAction::triggered, this,
            [this] { runInterfaceDialog(session_, this); });
    connect(action(Command::PrintSettings), &QAction::triggered, this, [this] {
        bool initDone = false;
        session_.access(
            [&initDone](AnalysisContext& ctx, ResultsPage&) { initDone = ctx.initDone; });
        if (initDone) runPrintDialog(session_, printSelections(), this);
    });
    connect(action(Command::MonitorSettings), &QAction::triggered, this,
            &MainWindow::onMonitorSettings);
    connect(action(Command::Help), &QAction::triggered, this, &MainWindow::openHelp);
    connect(action(Command::About), &QAction::triggered, this, &MainWindow::onAbout);

    connect(&session_, &AnalysisSession::stopped, this, &MainWindow::onStopped);
    connect(&session_, &AnalysisSession::passFinished, this, &MainWindow::onPassFinished);
    connect(&session_, &AnalysisSession::stateChanged, this, &MainWindow::updateCommands);

    viewTimer_ = new QTimer(this);
    connect(viewTimer_, &QTimer::timeout, this, &MainWindow::tick);
    viewTimer_->start(kViewPeriodMs);

    opener_ = [](const QString& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    updateCommands();
    // Large enough to show the widest page whole; the program itself opens maximised.
    resize(1440, 920);
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::action(Command c) const {
    return commands_[static_cast<std::size_t>(c)];
}

void MainWindow::buildPages() {
    splitter_ = new QSplitter(Qt::Horizontal, this);
    nav_ = new QListWidget(splitter_);
    // An outlook bar: each entry its icon above its text, one column.
    nav_->setIconSize(QSize(32, 32));
    nav_->setViewMode(QListView::IconMode);
    nav_->setFlow(QListView::TopToBottom);
    nav_->setWrapping(false);
    nav_->setMovement(QListView::Static);
    nav_->setGridSize(QSize(118, 62));
    nav_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    nav_->setMinimumWidth(124);
    for (int i = 0; i < kPageCount; ++i) {
        auto* item =
            new QListWidgetItem(pageIcon(i), text(kPages[static_cast<std::size_t>(i)].navText));
        item->setTextAlignment(Qt::AlignHCenter);
        nav_->addItem(item);
    }
    nav_->setCurrentRow(0);
    stack_ = new QStackedWidget(splitter_);
    results_ = new ResultsView(session_, stack_);
    tables_ = new TableTreeView(session_, stack_);
    for (int i = 0; i < kPageCount; ++i) {
        QWidget* page = nullptr;
        if (i == kPageTr290) {
            page = results_;
        } else if (i == kPageTables) {
            page = tables_;
        } else if (PageView* view = makePageView(i, session_, stack_)) {
            views_[static_cast<std::size_t>(i)] = view;
            page = view;
        } else {
            page = placeholderPage(kPages[static_cast<std::size_t>(i)], stack_);
        }
        page->setObjectName(QStringLiteral("page%1").arg(i));
        pages_[static_cast<std::size_t>(i)] = page;
        // A page wider or taller than the window scrolls inside it: the window's own minimum
        // stays small enough for a laptop screen whatever the pages hold.
        auto* area = new QScrollArea(stack_);
        area->setWidgetResizable(true);
        area->setFrameShape(QFrame::NoFrame);
        area->setWidget(page);
        stack_->addWidget(area);
    }
    stack_->setCurrentIndex(0);
    splitter_->addWidget(nav_);
    splitter_->addWidget(stack_);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({130, 1070});
    setCentralWidget(splitter_);
    connect(nav_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) selectEntry(row);
    });
    connect(results_, &ResultsView::monitorSettingsRequested, this, &MainWindow::onMonitorSettings);
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("文件"));
    file->addAction(action(Command::Offline));
    file->addAction(action(Command::Online));
    file->addAction(action(Command::Record));
    file->addAction(action(Command::Stop));
    file->addSeparator();
    file->addAction(action(Command::Exit));

    QMenu* pages = menuBar()->addMenu(QStringLiteral("功能模块"));
    auto* group = new QActionGroup(this);
    for (int i = 0; i < kPageCount; ++i) {
        auto* a = new QAction(text(kPages[static_cast<std::size_t>(i)].menuText), group);
        a->setCheckable(true);
        pages->addAction(a);
        pageActions_[static_cast<std::size_t>(i)] = a;
        connect(a, &QAction::triggered, this, [this, i] { showPage(i); });
    }
    pageActions_[0]->setChecked(true);

    QMenu* system = menuBar()->addMenu(QStringLiteral("系统设置"));
    system->addAction(action(Command::InterfaceSettings));
    system->addAction(action(Command::MonitorSettings));
    system->addAction(action(Command::PrintSettings));

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助"));
    help->addAction(action(Command::Help));
    help->addAction(action(Command::About));
}

void MainWindow::buildToolbar() {
    QToolBar* bar = addToolBar(QStringLiteral("工具栏"));
    bar->setIconSize(QSize(32, 32));
    bar->setMovable(false);
    for (const ToolbarButton& b : kToolbar) {
        QAction* a = action(b.command);
        a->setIcon(commandIcon(b.icon));
        bar->addAction(a);
    }
}

QWidget* MainWindow::page(int index) const {
    if (index < 0 || index >= kPageCount) return nullptr;
    return pages_[static_cast<std::size_t>(index)];
}

PrintSelections MainWindow::printSelections() const {
    PrintSelections s;
    if (auto* program = qobject_cast<ProgramInfoView*>(pageView(kPageProgram)))
        s.program = program->selectedProgram();
    if (auto* guide = qobject_cast<GuideView*>(pageView(kPageGuide)))
        s.guideService = guide->shownService();
    if (auto* capture = qobject_cast<CapturePageView*>(pageView(kPageCapture)))
        s.capture = capture->shownCopy();
    return s;
}

PageView* MainWindow::pageView(int index) const {
    if (index < 0 || index >= kPageCount) return nullptr;
    return views_[static_cast<std::size_t>(index)];
}

void MainWindow::switchTo(int index) {
    currentPage_ = index;
    stack_->setCurrentIndex(index);
    {
        const QSignalBlocker block(nav_);
        nav_->setCurrentRow(index);
    }
    // The check mark follows the page shown, whichever way it was chosen.
    pageActions_[static_cast<std::size_t>(index)]->setChecked(true);
    if (index == kPageTables) tables_->rebuild();
    if (index == kPageTr290) results_->redraw();
    if (PageView* view = pageView(index)) view->refresh();
}

void MainWindow::showPage(int index) {
    if (index < 0 || index >= kPageCount || index == currentPage_) return;
    switchTo(index);
}

void MainWindow::selectEntry(int index) {
    if (index < 0 || index >= kPageCount || index == currentPage_) return;
    switchTo(index);
    pageActions_[static_cast<std::size_t>(index)]->setChecked(true);
}

void MainWindow::updateCommands() {
    const bool active = session_.analysisActive();
    for (const CommandInfo& c : kCommands) {
        QAction* a = action(c.command);
        a->setEnabled(c.onlyWhenIdle ? !active : c.onlyWhenActive ? active : true);
    }
    if (windowTitle() != session_.windowTitle()) setWindowTitle(session_.windowTitle());
}

void MainWindow::tick() {
    updateCommands();
    progress_->show(session_.offlineProgress());
    if (session_.runKind() == RunKind::Online)
        initDialog_->show(session_.onlineStatus().dialog);
    else
        initDialog_->hide();

    uint64_t packets = 0;
    double mbps = 0.0;
    const bool read = session_.access([&](AnalysisContext& ctx, ResultsPage&) {
        packets = ctx.packetCounter;
        mbps = ctx.streamBitrate.current;
    });
    const RunKind kind = session_.runKind();
    QString state = kind == RunKind::Online ? QStringLiteral("在线分析")
                    : kind == RunKind::Offline
                        ? (session_.fileThreadRunning() ? QStringLiteral("离线分析")
                                                        : QStringLiteral("离线分析完成"))
                        : QStringLiteral("就绪");
    stateLabel_->setText(state);
    if (read) {
        packetsLabel_->setText(QStringLiteral("包数: %1").arg(packets));
        bitrateLabel_->setText(QStringLiteral("码率: %1 Mbit/s").arg(mbps, 0, 'f', 3));
    }
    if (currentPage_ == kPageTr290) results_->redraw();
    if (currentPage_ == kPageTables && kind == RunKind::Online) tables_->rebuildIfChanged();
    if (PageView* view = pageView(currentPage_)) view->refresh();
}

void MainWindow::analyseFile(const QString& path) {
    if (session_.startOffline(path)) showPage(kPageTr290);
    updateCommands();
}

void MainWindow::onOfflineCommand() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("打开要分析的文件"), QString(),
        QStringLiteral("TS files(*.ts);;All files(*.*)"), nullptr, QFileDialog::ReadOnly);
    if (!path.isEmpty()) analyseFile(path);
}

void MainWindow::onMonitorSettings() {
    MonitorSettingsDialog dialog(
        session_.switches(), session_.logSettings(),
        [this](const LogSettings& log) {
            LogSettings s = session_.logSettings();
            s.saveLogEnabled = log.saveLogEnabled;
            s.logPathIsDefault = log.logPathIsDefault;
            session_.setLogSettings(s);
        },
        this);
    if (dialog.exec() != QDialog::Accepted) return;
    const MonitorSettingsResult& r = dialog.result();
    session_.setSwitches(r.switches);
    saveMonitorSwitches(r.switches);
    LogSettings s = session_.logSettings();
    s.saveIntervalMinutes = r.saveIntervalMinutes;
    s.errorLogPath = r.errorLogPath;
    session_.setLogSettings(s);
}

void MainWindow::openHelp() {
    const QString folder =
        helpFolder_.isEmpty() ? QCoreApplication::applicationDirPath() : helpFolder_;
    const QString path = QDir(folder).filePath(QString::fromUtf8(kHelpFileName));
    if (!QFileInfo(path).isFile() || !opener_ || !opener_(path))
        showMessage(QStringLiteral("找不到帮助文件:%1,请重新安装!")
                        .arg(QString::fromUtf8(kHelpFileName))
                        .toStdString());
}

void MainWindow::onAbout() {
    QMessageBox box(this);
    box.setWindowTitle(QStringLiteral("关于码流分析仪"));
    box.setIconPixmap(programIcon().pixmap(32, 32));
    box.setText(QString::fromUtf8(kAboutText));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void MainWindow::onStopped() {
    // Stop-time page reset: every page clears what it shows.
    results_->redraw();
    tables_->clear();
    for (PageView* view : views_)
        if (view) view->clearAtStop();
    progress_->hide();
    initDialog_->hide();
    updateCommands();
}

void MainWindow::onPassFinished() {
    results_->redraw();
    tables_->rebuild();
    for (PageView* view : views_)
        if (view) view->passFinished();
    updateCommands();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    viewTimer_->stop();
    // The stop of a run still going: the thread ends and the pending events reach the error log.
    session_.stopAndWait();
    event->accept();
}

}  // namespace orv::gui
