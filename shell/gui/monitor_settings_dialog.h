// The dialog "TR101 290监测参数设置": the 32 monitoring switches in their three groups and the
// log options. The log controls change the settings at once (also when the dialog is then
// cancelled); the switches, the interval and the path are taken on "确定".
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string>

#include "engine/analysis_context.h"
#include "shell/settings/monitor_switches.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orv::gui {

inline constexpr const char* kMonitorDialogTitle = "TR101 290监测参数设置";
inline constexpr const char* kDefaultErrorLogPath = "c:\\ERROR.log";

// The check box label of each switch, in kind order.
extern const std::array<const char*, kKindCount> kSwitchLabels;

// What "确定" hands back.
struct MonitorSettingsResult {
    MonitorSwitches switches{};
    int saveIntervalMinutes = 30;
    std::string errorLogPath;
};

// The interval as "确定" takes it: empty or 0 gives 30.
int intervalFromText(const QString& text);

class MonitorSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    using LogChange = std::function<void(const LogSettings&)>;
    MonitorSettingsDialog(const MonitorSwitches& switches, const LogSettings& log,
                          LogChange onLogChange, QWidget* parent = nullptr);

    // Valid after accept().
    const MonitorSettingsResult& result() const { return result_; }

    QCheckBox* switchBox(int k) const { return boxes_[static_cast<std::size_t>(k)]; }
    QCheckBox* saveLogBox() const { return saveLog_; }
    QRadioButton* customPathButton() const { return customPath_; }
    QRadioButton* defaultPathButton() const { return defaultPath_; }
    QLineEdit* pathField() const { return path_; }
    QLineEdit* intervalField() const { return interval_; }
    QPushButton* browseButton() const { return browse_; }
    QPushButton* clearAllButton() const { return clearAll_; }
    QPushButton* selectAllButton() const { return selectAll_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

  private:
    void updateLogControls();
    void onSaveLogToggled(bool on);
    void onCustomPathToggled(bool on);
    void onDefaultPathToggled(bool on);
    void browse();
    void onOk();

    std::array<QCheckBox*, kKindCount> boxes_{};
    QCheckBox* saveLog_ = nullptr;
    QRadioButton* customPath_ = nullptr;
    QRadioButton* defaultPath_ = nullptr;
    QLineEdit* path_ = nullptr;
    QLineEdit* interval_ = nullptr;
    QPushButton* browse_ = nullptr;
    QPushButton* clearAll_ = nullptr;
    QPushButton* selectAll_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;

    LogSettings log_;
    LogChange onLogChange_;
    MonitorSettingsResult result_;
};

}  // namespace orv::gui
