// The TR 101 290 results page: 32 kind buttons with lamps and counter boxes in their priority
// groups, the detail text of the selected kind, the error rate, the display mode, the event
// handling buttons and the event list. It draws the results page model and forwards clicks.
#pragma once

#include <QWidget>
#include <array>
#include <vector>

#include "engine/limits.h"
#include "presentation/results_page_rows.h"

class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orv::gui {

class AnalysisSession;

class ResultsView : public QWidget {
    Q_OBJECT

  public:
    explicit ResultsView(AnalysisSession& session, QWidget* parent = nullptr);

    // Redraws from the model (on the window's view timer and after every control).
    void redraw();

    QPushButton* kindButton(int k) const { return buttons_[static_cast<std::size_t>(k)]; }
    QLineEdit* counterBox(int k) const { return counters_[static_cast<std::size_t>(k)]; }
    QTreeWidget* eventList() const { return events_; }
    QListWidget* detailList() const { return detail_; }
    QLineEdit* errorRateBox() const { return errorRate_; }
    // The lamp of kind k as drawn: red, and whether it is the selected kind's bright icon alone.
    bool lampRed(int k) const { return lampRed_[static_cast<std::size_t>(k)]; }

  Q_SIGNALS:
    void monitorSettingsRequested();

  private:
    void selectKind(int k);
    void clearKind();
    void clearAll();
    void saveEvents();
    void setMode(bool single);
    static QTreeWidgetItem* rowItem(const EventRow& row);

    AnalysisSession& session_;
    std::array<QPushButton*, kKindCount> buttons_{};
    std::array<QLineEdit*, kKindCount> counters_{};
    std::array<bool, kKindCount> lampRed_{};
    std::array<int, kKindCount> lampDrawn_{};  // -1: not drawn yet
    QListWidget* detail_ = nullptr;
    QLineEdit* errorRate_ = nullptr;
    QRadioButton* allEvents_ = nullptr;
    QRadioButton* singleKind_ = nullptr;
    QTreeWidget* events_ = nullptr;
    std::vector<EventRow> shown_;
    std::vector<std::string> detailShown_;
};

}  // namespace orv::gui
