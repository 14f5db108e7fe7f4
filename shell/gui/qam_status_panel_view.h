// The QAM status panel under the results pages: the input of the run, the lock state, frequency,
// symbol rate and QAM mode, and the carrier-to-noise bar ("载噪比：") from the card's last QAM
// information record. It draws the panel model when shown and then every 5 s.
#pragma once

#include <QDockWidget>
#include <array>

#include "acquisition/qam_status_panel.h"

class QLabel;
class QProgressBar;
class QTimer;

namespace orv::gui {

class AnalysisSession;

class QamStatusPanelView : public QDockWidget {
    Q_OBJECT

  public:
    explicit QamStatusPanelView(AnalysisSession& session, QWidget* parent = nullptr);

    // One refresh from the session: nothing changes until the run's initialisation phase ends.
    void refresh();
    const QamStatusPanel& model() const { return panel_; }

    // The five value texts in label order: input, lock state, frequency, symbol rate, QAM mode.
    QLabel* value(int i) const { return values_[static_cast<std::size_t>(i)]; }
    QProgressBar* qualityBar() const { return bar_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void draw();

    AnalysisSession& session_;
    QamStatusPanel panel_;
    std::optional<float> qualityDb_;  // of the last refresh of a CABLE run
    std::array<QLabel*, 5> values_{};
    QProgressBar* bar_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace orv::gui
