// The dialogs the main window opens from its commands, each in its own file.
#pragma once

class QWidget;

namespace orv::gui {

class AnalysisSession;

// "码流录制": the recording dialog (idle only).
void runRecordDialog(AnalysisSession& session, QWidget* parent);
// "输入接口信息": the interface settings with the QAM scan (idle only).
void runInterfaceDialog(AnalysisSession& session, QWidget* parent);

}  // namespace orv::gui
