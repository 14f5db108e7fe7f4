// The bandwidth page ("传送流浏览"): the multiplex structure list "TS PID浏览", one row per part of
// the multiplex with its identifiers, rate and share of the bandwidth. Rows appear the first time
// their part exists; afterwards only their rate and bandwidth change, so a selection stays put.
#pragma once

#include <QString>
#include <vector>

#include "presentation/basic_info_page.h"
#include "shell/gui/page_view.h"
#include "shell/gui/refresh_cycle.h"

class QTableWidget;

namespace orv::gui {

inline constexpr int kStructureColumns = 8;

class StructureListView : public PageView {
    Q_OBJECT

  public:
    explicit StructureListView(AnalysisSession& session, QWidget* parent = nullptr);

    void refresh() override;
    void passFinished() override;
    void clearAtStop() override;

    QTableWidget* list() const { return list_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void draw();

    AnalysisSession& session_;
    BasicInfoPage page_;
    RefreshCycle cycle_;
    QTableWidget* list_ = nullptr;
    std::vector<QString> keys_;  // what each row of the list stands for
};

}  // namespace orv::gui
