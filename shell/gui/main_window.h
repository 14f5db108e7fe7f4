// The main window (CMainFrame): menus, toolbar, the navigation bar and the results view in a
// splitter, the status bar, the window title, command availability, page switching, help and the
// about box. It owns the analysis session for the program's life.
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>

#include "shell/gui/page_catalogue.h"
#include "shell/gui/print_dialog_view.h"

class QAction;
class QLabel;
class QListWidget;
class QSplitter;
class QStackedWidget;
class QTimer;

namespace orv::gui {

class AnalysisSession;
class InitDialogView;
class PageView;
class ProgressPanel;
class ResultsView;
class TableTreeView;

inline constexpr const char* kHelpFileName = "码流分析仪帮助.html";
inline constexpr const char* kAboutText = "码流分析仪 ORV03 2.0 版";

// The commands of the menus and the toolbar.
enum class Command {
    Offline,
    Online,
    Record,
    Stop,
    Exit,
    InterfaceSettings,
    MonitorSettings,
    PrintSettings,
    Help,
    About,
};

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    // The opener of the help file (the desktop's "open"); true when it took the file.
    using Opener = std::function<bool(const QString& path)>;

    explicit MainWindow(AnalysisSession& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    // --- Page operations ---
    int currentPage() const { return currentPage_; }
    // From a menu item: nothing when the page is already shown.
    void showPage(int index);
    // From the navigation bar: the same, and the page's menu item is checked.
    void selectEntry(int index);
    QWidget* page(int index) const;
    // The view of a page drawn from its model (nullptr for the results and tables pages).
    PageView* pageView(int index) const;
    // What the pages have chosen that the printed report prints: the program, the guide's
    // service, the capture copy shown.
    PrintSelections printSelections() const;
    QAction* pageAction(int index) const { return pageActions_[static_cast<std::size_t>(index)]; }
    QListWidget* navigationBar() const { return nav_; }
    ResultsView* resultsView() const { return results_; }
    TableTreeView* tableTreeView() const { return tables_; }
    ProgressPanel* progressPanel() const { return progress_; }
    InitDialogView* initDialog() const { return initDialog_; }

    // --- Commands ---
    QAction* action(Command c) const;
    // Offline analysis of a file without asking for it (the command line's FILE, the tests).
    void analyseFile(const QString& path);
    void openHelp();
    // The folder the help file is looked for in (the program's folder by default).
    void setHelpFolder(const QString& folder) { helpFolder_ = folder; }
    void setOpener(Opener opener) { opener_ = std::move(opener); }

    // Re-evaluates the availability of the commands, the title and the status bar.
    void updateCommands();
    // One tick of the view timer: the progress panel, the init dialog and the visible page.
    void tick();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenus();
    void buildToolbar();
    void buildPages();
    void switchTo(int index);
    void onOfflineCommand();
    void onMonitorSettings();
    void onAbout();
    void onStopped();
    void onPassFinished();

    AnalysisSession& session_;
    int currentPage_ = 0;
    QSplitter* splitter_ = nullptr;
    QListWidget* nav_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    ResultsView* results_ = nullptr;
    TableTreeView* tables_ = nullptr;
    ProgressPanel* progress_ = nullptr;
    InitDialogView* initDialog_ = nullptr;
    std::array<PageView*, kPageCount> views_{};
    std::array<QWidget*, kPageCount> pages_{};  // each inside its own scroll area in the stack
    std::array<QAction*, kPageCount> pageActions_{};
    std::array<QAction*, 10> commands_{};
    QLabel* stateLabel_ = nullptr;
    QLabel* packetsLabel_ = nullptr;
    QLabel* bitrateLabel_ = nullptr;
    QTimer* viewTimer_ = nullptr;
    QString helpFolder_;
    Opener opener_;
};

}  // namespace orv::gui
