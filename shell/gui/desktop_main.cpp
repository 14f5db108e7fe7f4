#include "shell/gui/desktop_main.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdlib>
#include <iostream>

#include "cardlib/zelcard.h"
#include "platform/message.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/main_window.h"

namespace orv::gui {
namespace {

bool envSet(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
}

// The program's messages become warning boxes on the GUI thread, whichever thread shows them.
void showBox(const QString& text, const QString& reason) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("码流分析仪"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    if (!reason.isEmpty()) box.setInformativeText(reason);
    box.exec();
}

}  // namespace

bool displayAvailable() {
    return envSet("DISPLAY") || envSet("WAYLAND_DISPLAY") || envSet("QT_QPA_PLATFORM");
}

int runDesktop(int argc, char** argv, const std::optional<std::string>& file) {
    if (!displayAvailable()) {
        std::cerr << "orv01: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                     "unset); run a subcommand for headless work, see orv01 --help\n";
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orv01"));
    const ScopedReasonedMessageHook hook([](std::string_view text, std::string_view reason) {
        const QString t = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        const QString r = QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size()));
        if (QThread::currentThread() == qApp->thread())
            showBox(t, r);
        else
            QMetaObject::invokeMethod(
                qApp, [t, r] { showBox(t, r); }, Qt::QueuedConnection);
    });

    // The card is reset at start; before any initialisation the result says nothing.
    ZelResetCard(0);
    AnalysisSession session;
    if (!session.loadSettings()) return 2;
    MainWindow window(session);
    window.showMaximized();
    if (file) window.analyseFile(QString::fromStdString(*file));
    return app.exec();
}

}  // namespace orv::gui
