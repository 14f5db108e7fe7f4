#include <QMainWindow>
#include <QStatusBar>

#include "shell/gui/dialog_launchers.h"

namespace orv::gui {

void runPrintDialog(AnalysisSession&, QWidget* parent) {
    if (auto* w = qobject_cast<QMainWindow*>(parent))
        w->statusBar()->showMessage(QStringLiteral("打印信息: 此功能尚未提供"), 3000);
}

}  // namespace orv::gui
