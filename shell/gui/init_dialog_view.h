// The initialisation dialog of an online run ("在线读进数据 . . . . . . ."): three status lines,
// the PIDs seen, a progress bar and "停止分析". It draws the run control's dialog model.
#pragma once

#include <QDialog>
#include <array>

#include "acquisition/init_dialog.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace orv::gui {

class InitDialogView : public QDialog {
    Q_OBJECT

  public:
    explicit InitDialogView(QWidget* parent = nullptr);
    void show(const InitDialog& model);

    QLabel* line(int i) const { return lines_[static_cast<std::size_t>(i)]; }
    QListWidget* pidList() const { return pids_; }
    QPushButton* stopButton() const { return stop_; }

  Q_SIGNALS:
    void stopRequested();

  private:
    std::array<QLabel*, 3> lines_{};
    QListWidget* pids_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* stop_ = nullptr;
};

}  // namespace orv::gui
