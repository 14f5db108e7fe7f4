// The data capture page "传送流数据捕捉": the four kinds of trigger with their type lists, the
// count field, "触 发", "停 止", "清 除" and "保 存", the elapsed time, the list of copies
// received, and the viewer of the chosen copy (the syntax of its packet or section above its hex
// dump, the faulty packet of an error block highlighted). It draws the capture page model and
// forwards the commands; the copies are taken by the running analysis or by the model's re-reading
// thread.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/capture_page.h"
#include "acquisition/capture_request.h"
#include "acquisition/capture_store.h"
#include "shell/gui/page_view.h"
#include "shell/gui/qt_timer_service.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabBar;

namespace orv::gui {

class AnalysisSession;

class CapturePageView final : public PageView {
    Q_OBJECT

  public:
    explicit CapturePageView(AnalysisSession& session, QWidget* parent = nullptr);
    ~CapturePageView() override;

    void refresh() override;
    void passFinished() override { refresh(); }
    void clearAtStop() override;

    // The question asked before a table the analysis has not seen is captured: true goes on.
    // A Qt question box unless replaced (tests answer it themselves).
    void setQuestionAnswer(std::function<bool(const QString&)> answer) {
        answer_ = std::move(answer);
    }
    // "保 存" without its file dialog: writes every copy to `path`.
    bool saveTo(const QString& path);

    QTabBar* kindTabs() const { return tabs_; }
    QListWidget* typeList() const { return types_; }
    QLineEdit* countField() const { return count_; }
    QPushButton* triggerButton() const { return trigger_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* clearButton() const { return clear_; }
    QPushButton* saveButton() const { return save_; }
    QLabel* elapsedLabel() const { return elapsed_; }
    QListWidget* copyList() const { return copies_; }
    QLabel* copyTitle() const { return copyTitle_; }
    QPlainTextEdit* syntaxText() const { return syntax_; }
    QPlainTextEdit* hexText() const { return hex_; }
    bool capturing() const { return model_->running(); }
    // The copy the viewer shows (the printed report's capture kind prints it).
    std::optional<CaptureCopy> shownCopy() const {
        const std::optional<std::size_t> shown = model_->shownCopy();
        return shown ? store_.at(*shown) : std::nullopt;
    }

  private:
    void onTrigger();
    void onSave();
    void onCopyChosen(int row);
    void redrawTypes();
    void redrawControls();
    void redrawCopies();
    void drawCopy(std::optional<std::size_t> index);

    AnalysisSession& session_;
    QtTimerService timers_;
    CaptureStore store_;
    // Declared after what it uses: it ends its thread and timers first.
    std::unique_ptr<CapturePageModel> model_;
    std::function<bool(const QString&)> answer_;

    QTabBar* tabs_ = nullptr;
    QListWidget* types_ = nullptr;
    QLineEdit* count_ = nullptr;
    QPushButton* trigger_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* save_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QListWidget* copies_ = nullptr;
    QLabel* copyTitle_ = nullptr;
    QPlainTextEdit* syntax_ = nullptr;
    QPlainTextEdit* hex_ = nullptr;

    std::vector<CaptureChoice> choices_;  // the lines of the type list, in order
    int choicesTab_ = -1;                 // the tab they were listed for
    std::optional<std::size_t> drawn_;    // the copy in the viewer
};

}  // namespace orv::gui
