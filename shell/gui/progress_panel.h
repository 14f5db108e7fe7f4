// The progress panel of a file run ("离线读进数据. . . . . ."): a progress bar, two text lines
// and "停止分析", which asks the run to stop.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace orv::gui {

struct OfflineProgressView;

inline constexpr const char* kProgressPanelTitle = "离线读进数据. . . . . .";

// The two lines of the panel for a state of the run.
QString progressFirstLine(bool initialised);
QString progressSecondLine(bool initialised, bool mainPassSeen, int percent);

class ProgressPanel : public QDialog {
    Q_OBJECT

  public:
    explicit ProgressPanel(QWidget* parent = nullptr);
    void show(const OfflineProgressView& progress);

    QLabel* firstLine() const { return first_; }
    QLabel* secondLine() const { return second_; }
    QProgressBar* bar() const { return bar_; }
    QPushButton* stopButton() const { return stop_; }

  Q_SIGNALS:
    void stopRequested();

  private:
    QLabel* first_ = nullptr;
    QLabel* second_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* stop_ = nullptr;
};

}  // namespace orv::gui
