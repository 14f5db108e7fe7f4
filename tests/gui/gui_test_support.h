// Shared set-up of the desktop tests: private registry and data folders, the captured messages,
// and the waits on a file run.
#pragma once

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <string_view>

#include "platform/message.h"
#include "shell/gui/analysis_session.h"

namespace orv::gui::test {

// Points the registry and the drive-path folder into a fresh temporary folder for the process.
class PrivateFolders {
  public:
    PrivateFolders() {
        qputenv("ORV_REGISTRY_DIR", QDir(dir_.path()).filePath("registry").toUtf8());
        qputenv("ORV_DATA_DIR", QDir(dir_.path()).filePath("data").toUtf8());
    }
    QString errorLogPath() const { return QDir(dir_.path()).filePath("data/c/ERROR.log"); }
    QString path() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
};

// Every message the program shows, in order, while this lives.
class CapturedMessages {
  public:
    CapturedMessages()
        : hook_([this](std::string_view text, std::string_view) {
              texts_ << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
          }) {}
    const QStringList& texts() const { return texts_; }

  private:
    QStringList texts_;
    ScopedReasonedMessageHook hook_;
};

// Waits (events processed) until a file run's thread has ended.
inline bool waitForPass(const AnalysisSession& session, int timeoutMs = 60000) {
    return QTest::qWaitFor([&] { return !session.fileThreadRunning(); }, timeoutMs);
}

}  // namespace orv::gui::test
