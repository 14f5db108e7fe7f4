// The basic information page ("基本信息"): the shares of the packet classes, the transport rates,
// packet length and first-level error counts, the PAT and NIT identity, the chosen program's
// service, components and CA data, and the tabs of the multiplex, the table repetition intervals
// and the QAM measurements. It draws the basic information page model.
#pragma once

#include <QHash>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "acquisition/qam_status_panel.h"
#include "presentation/basic_info_page.h"
#include "shell/gui/page_view.h"
#include "shell/gui/refresh_cycle.h"

class QComboBox;
class QGridLayout;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QTabWidget;
class QTreeWidget;
class QWidget;

namespace orv::gui {

class BasicInfoView : public PageView {
    Q_OBJECT

  public:
    explicit BasicInfoView(AnalysisSession& session, QWidget* parent = nullptr);

    void refresh() override;
    void passFinished() override;
    void clearAtStop() override;

    // The value box of a field by its label ("TS分组长度：", "网络名称：", "输入接口：" ...).
    QLineEdit* field(const QString& label) const { return fields_.value(label); }
    QProgressBar* classBar(PacketClass c) const { return bars_[static_cast<std::size_t>(c)]; }
    QLineEdit* classShare(PacketClass c) const { return shares_[static_cast<std::size_t>(c)]; }
    QComboBox* programSelector() const { return programs_; }
    QListWidget* componentList() const { return components_; }
    QListWidget* caList() const { return ca_; }
    QTabWidget* tabs() const { return tabs_; }
    QListWidget* multiplexList() const { return multiplex_; }
    QTreeWidget* intervalList() const { return intervals_; }
    QProgressBar* qualityBar() const { return qualityBar_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLineEdit* addField(QGridLayout* grid, int row, int column, const char* label);
    void selectProgram(int index);
    void draw();
    void drawQam();

    AnalysisSession& session_;
    BasicInfoPage page_;
    RefreshCycle cycle_;
    RefreshCycle qamCycle_;
    QamStatusPanel qam_;
    std::vector<std::string> multiplexLines_;  // "共复用了%d路节目" and the programs
    QHash<QString, QLineEdit*> fields_;
    std::array<QProgressBar*, kPacketClassCount> bars_{};
    std::array<QLineEdit*, kPacketClassCount> shares_{};
    QComboBox* programs_ = nullptr;
    QListWidget* components_ = nullptr;
    QListWidget* ca_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QListWidget* multiplex_ = nullptr;
    QTreeWidget* intervals_ = nullptr;
    QProgressBar* qualityBar_ = nullptr;
};

}  // namespace orv::gui
