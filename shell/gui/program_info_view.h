// The program analysis page ("节目分析"): for the program chosen in "选择节目:" its identity,
// service data, scrambling and running state, its components as a list or as a rate histogram,
// and the decoded video and audio headers with their PES fields. It draws the program and
// elementary stream page model.
#pragma once

#include <QHash>
#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

#include "presentation/program_info_page.h"
#include "shell/gui/page_view.h"
#include "shell/gui/refresh_cycle.h"

class QComboBox;
class QGridLayout;
class QLineEdit;
class QRadioButton;
class QStackedWidget;
class QTreeWidget;

namespace orv::gui {

// "实时码率直方图": one bar per component, its height the component's current rate.
class RateHistogram : public QWidget {
  public:
    using QWidget::QWidget;
    // (label, Mbit/s) per component, in list order.
    void setBars(std::vector<std::pair<QString, double>> bars);
    const std::vector<std::pair<QString, double>>& bars() const { return bars_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<std::pair<QString, double>> bars_;
};

class ProgramInfoView : public PageView {
    Q_OBJECT

  public:
    explicit ProgramInfoView(AnalysisSession& session, QWidget* parent = nullptr);

    void refresh() override;
    void passFinished() override;
    void clearAtStop() override;

    // Value boxes by their label: the program fields ("节目号：" ...), and those of the video
    // and the audio group (each group has its own "Stream_ID：" and other PES fields).
    QLineEdit* field(const QString& label) const { return fields_.value(label); }
    QLineEdit* videoField(const QString& label) const { return video_.value(label); }
    QLineEdit* audioField(const QString& label) const { return audio_.value(label); }
    QComboBox* programSelector() const { return programs_; }
    // The program chosen in the selector (the printed report's program kind prints it).
    int selectedProgram() const { return page_.selectedProgram(); }
    QComboBox* videoSelector() const { return videoStreams_; }
    QComboBox* audioSelector() const { return audioStreams_; }
    QTreeWidget* componentList() const { return components_; }
    RateHistogram* histogram() const { return histogram_; }
    QRadioButton* histogramButton() const { return showHistogram_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLineEdit* addField(QHash<QString, QLineEdit*>& into, QGridLayout* grid, int row, int column,
                        const char* label);
    void selectProgram(int index);
    void selectAudio(int index);
    void draw();

    AnalysisSession& session_;
    ProgramInfoPage page_;
    RefreshCycle cycle_;
    QHash<QString, QLineEdit*> fields_, video_, audio_;
    QComboBox* programs_ = nullptr;
    QComboBox* videoStreams_ = nullptr;
    QComboBox* audioStreams_ = nullptr;
    QRadioButton* showList_ = nullptr;
    QRadioButton* showHistogram_ = nullptr;
    QStackedWidget* componentStack_ = nullptr;
    QTreeWidget* components_ = nullptr;
    RateHistogram* histogram_ = nullptr;
};

}  // namespace orv::gui
