// The PCR analysis page ("PCR分析"): the statistics list of the programs that carry PCRs, the
// program selector, the chosen program's values, its jitter and interval curves over a window of
// 100 samples with the scroll buttons and the scale fields, or its two distribution histograms,
// and in offline analysis the replay of the program from the analysed file. It draws the PCR page
// model and forwards the controls; the model keeps its own timer and replay thread.
#pragma once

#include <array>
#include <memory>

#include "platform/wait_clock.h"
#include "presentation/pcr_page.h"
#include "shell/gui/page_view.h"
#include "shell/gui/qt_timer_service.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace orv::gui {

class CurveChart;

class PcrPageView final : public PageView {
    Q_OBJECT

  public:
    explicit PcrPageView(AnalysisSession& session, QWidget* parent = nullptr);
    ~PcrPageView() override;

    void refresh() override;
    void passFinished() override;
    void clearAtStop() override;

    // The two replay flags: a pending full redraw of the curves and of the histograms, raised
    // by the rebuild after a file's main pass and by the stop; cleared when the page is shown.
    bool curvesFlag() const { return flags_[0]; }
    bool histogramsFlag() const { return flags_[1]; }

    const PcrPage& model() const { return *model_; }
    QComboBox* selector() const { return selector_; }
    QTreeWidget* statisticsList() const { return list_; }
    QLineEdit* field(PcrField f) const { return fields_[static_cast<std::size_t>(f)]; }
    QPushButton* playButton() const { return play_; }
    QPushButton* pauseButton() const { return pause_; }
    QPushButton* backButton() const { return back_; }
    QPushButton* forwardButton() const { return forward_; }
    QRadioButton* histogramsButton() const { return showHistograms_; }
    QRadioButton* curvesButton() const { return showCurves_; }
    QLineEdit* jitterRangeField() const { return scaleFields_[0]; }
    QLineEdit* observationField() const { return scaleFields_[1]; }
    QLineEdit* intervalMaxField() const { return scaleFields_[2]; }
    QLineEdit* intervalMinField() const { return scaleFields_[3]; }
    CurveChart* jitterChart() const { return jitterChart_; }
    CurveChart* intervalChart() const { return intervalChart_; }
    CurveChart* jitterHistogram() const { return jitterBars_; }
    CurveChart* intervalHistogram() const { return intervalBars_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Whether the model may read the context now (a file run past its setting-up, or no run).
    bool contextReady() const;
    void onSelect(int index);
    void onPlay();
    void onPause();
    void onScroll(bool forward);
    void onMode(bool histograms);
    void onApplyScales();
    // Draws everything from the model.
    void sync();
    void syncList();
    void syncCharts();
    void syncButtons();

    AnalysisSession& session_;
    QtTimerService timers_;
    SteadyWaitClock waits_;
    std::unique_ptr<PcrPage> model_;
    std::array<bool, 2> flags_{};

    QComboBox* selector_ = nullptr;
    QTreeWidget* list_ = nullptr;
    std::array<QLineEdit*, kPcrFieldCount> fields_{};
    QRadioButton* showHistograms_ = nullptr;
    QRadioButton* showCurves_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* forward_ = nullptr;
    std::array<QLineEdit*, 4> scaleFields_{};
    QWidget* curvesPanel_ = nullptr;
    QWidget* histogramsPanel_ = nullptr;
    CurveChart* jitterChart_ = nullptr;
    CurveChart* intervalChart_ = nullptr;
    CurveChart* jitterBars_ = nullptr;
    CurveChart* intervalBars_ = nullptr;
};

}  // namespace orv::gui
