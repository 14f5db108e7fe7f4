// The PES analysis page ("PES分析"): for the chosen program the curves of its video component's
// DTS-PCR, DTS distance, PTS-PCR, PTS distance and vbv_delay and of the chosen audio component's
// four delays and distances over the last 100 PES headers, the values at the curves' current
// position, and in offline analysis the replay of the program from the analysed file. It draws
// the PES page model and forwards the controls; the model keeps its own timer and replay thread.
#pragma once

#include <array>
#include <memory>

#include "platform/wait_clock.h"
#include "presentation/pes_page.h"
#include "shell/gui/page_view.h"
#include "shell/gui/qt_timer_service.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace orv::gui {

class CurveChart;

class PesPageView final : public PageView {
    Q_OBJECT

  public:
    explicit PesPageView(AnalysisSession& session, QWidget* parent = nullptr);
    ~PesPageView() override;

    void refresh() override;
    void passFinished() override;
    void clearAtStop() override;

    PesPage& model() { return *model_; }
    QComboBox* programSelector() const { return programs_; }
    QComboBox* videoPidSelector() const { return videoPids_; }
    QComboBox* audioPidSelector() const { return audioPids_; }
    QLineEdit* field(PesField f) const { return fields_[static_cast<std::size_t>(f)]; }
    QCheckBox* videoBox(VideoCurve c) const { return videoBoxes_[static_cast<std::size_t>(c)]; }
    QCheckBox* audioBox(AudioCurve c) const { return audioBoxes_[static_cast<std::size_t>(c)]; }
    QPushButton* playButton(PesSide s) const { return play_[index(s)]; }
    QPushButton* pauseButton(PesSide s) const { return pause_[index(s)]; }
    QLineEdit* rangeField(PesSide s) const { return range_[index(s)]; }
    CurveChart* chart(PesSide s) const { return charts_[index(s)]; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    static std::size_t index(PesSide s) { return s == PesSide::Video ? 0 : 1; }
    bool initDone();
    void onSelectProgram(int index);
    void onSelectAudio(int entry);
    void onPlay(PesSide side);
    void onPause(PesSide side);
    void onApplyRanges();
    void sync();
    void syncCharts();

    AnalysisSession& session_;
    QtTimerService timers_;
    SteadyWaitClock waits_;
    std::unique_ptr<PesPage> model_;

    QComboBox* programs_ = nullptr;
    QComboBox* videoPids_ = nullptr;
    QComboBox* audioPids_ = nullptr;
    std::array<QLineEdit*, kPesFieldCount> fields_{};
    std::array<QCheckBox*, kVideoCurves> videoBoxes_{};
    std::array<QCheckBox*, kAudioCurves> audioBoxes_{};
    std::array<QPushButton*, 2> play_{};
    std::array<QPushButton*, 2> pause_{};
    std::array<QLineEdit*, 2> range_{};
    std::array<CurveChart*, 2> charts_{};
};

}  // namespace orv::gui
