// The programme guide page: the services of the analysed transport stream and of the others,
// and for the service the user chooses its description and its scheduled events, with the local
// and GMT times. It draws the guide page model at the model's own period and forwards the
// selection changes and clicks of the two service lists.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "presentation/guide_page.h"
#include "shell/gui/page_view.h"
#include "shell/gui/refresh_cycle.h"

class QLineEdit;
class QTableWidget;

namespace orv::gui {

class GuideView : public PageView {
    Q_OBJECT

  public:
    // The text fields, in the order of GuideTexts.
    enum Field : int {
        ServiceName,
        ProviderName,
        ServiceType,
        Scrambling,
        ServiceId,
        TransportStreamId,
        OriginalNetworkId,
        LocalTime,
        GmtTime,
        kFieldCount
    };

    explicit GuideView(AnalysisSession& session, QWidget* parent = nullptr);

    void refresh() override;
    void passFinished() override;
    void clearAtStop() override;

    // Reads the model now, whatever its period (while a run has ended its initialisation).
    void refreshNow();

    QTableWidget* serviceList(GuideListId list) const {
        return services_[static_cast<std::size_t>(list)];
    }
    QTableWidget* eventList() const { return events_; }
    QLineEdit* field(Field f) const { return fields_[static_cast<std::size_t>(f)]; }
    const GuidePage& model() const { return page_; }
    // The list and row of the service whose events are shown, if any.
    std::optional<std::pair<GuideListId, int>> shownService() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void selectionChanged(GuideListId list);
    void clicked(GuideListId list, int row);
    void draw();

    AnalysisSession& session_;
    GuidePage page_;
    RefreshCycle cadence_;
    std::array<QTableWidget*, 2> services_{};
    QTableWidget* events_ = nullptr;
    std::array<QLineEdit*, kFieldCount> fields_{};
};

}  // namespace orv::gui
