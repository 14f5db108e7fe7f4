// The decoder buffer page: the program, video PID and audio PID selectors, the scrambling state,
// the fill bars of the chosen program's video buffers, of one audio component and of the system
// buffers, and the summary of overflow, underflow and not-emptied counts of all programs. It
// draws the buffer page model at the model's own period and forwards the selectors' choices.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "presentation/buffer_page.h"
#include "shell/gui/page_view.h"
#include "shell/gui/refresh_cycle.h"

class QComboBox;
class QLineEdit;
class QTableWidget;

namespace orv::gui {

class FillBarWidget;

class BufferView : public PageView {
    Q_OBJECT

  public:
    // The bars in drawing order.
    enum Bar : int { VideoTb, VideoMb, VideoEb, AudioTb, AudioB, SystemTb, SystemB, kBarCount };

    explicit BufferView(AnalysisSession& session, QWidget* parent = nullptr);

    void refresh() override;
    void passFinished() override;
    void clearAtStop() override;

    // Reads the model now, whatever its period (while a run has ended its initialisation).
    void refreshNow();

    QComboBox* programSelector() const { return programs_; }
    QComboBox* videoSelector() const { return videoPids_; }
    QComboBox* audioSelector() const { return audioPids_; }
    QLineEdit* scramblingBox() const { return scrambling_; }
    FillBarWidget* bar(Bar b) const { return bars_[static_cast<std::size_t>(b)]; }
    QTableWidget* summaryList() const { return summary_; }
    const BufferPage& model() const { return page_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void chooseProgram(int index);
    void chooseAudio(int index);
    void draw();

    AnalysisSession& session_;
    BufferPage page_;
    RefreshCycle cadence_;
    QComboBox* programs_ = nullptr;
    QComboBox* videoPids_ = nullptr;
    QComboBox* audioPids_ = nullptr;
    QLineEdit* scrambling_ = nullptr;
    std::array<FillBarWidget*, kBarCount> bars_{};
    QTableWidget* summary_ = nullptr;
};

}  // namespace orv::gui
