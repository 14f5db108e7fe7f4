#include "shell/gui/desktop_main.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QThread>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "cardlib/zelcard.h"
#include "platform/message.h"
#include "shell/gui/analysis_session.h"
#include "shell/gui/main_window.h"

namespace orv::gui {
namespace {

// SIGINT and SIGTERM close the window as its close button does (the run stops and its events
// reach the error log): the handler only writes a byte, which the GUI thread reads.
int signalPipe[2] = {-1, -1};

extern "C" void closeOnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

class CloseOnSignals {
  public:
    CloseOnSignals() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] {
            char byte = 0;
            [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
            QApplication::closeAllWindows();
        });
        struct sigaction action {};
        action.sa_handler = closeOnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~CloseOnSignals() {
        if (!notifier_) return;
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
        notifier_.reset();
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
    CloseOnSignals(const CloseOnSignals&) = delete;
    CloseOnSignals& operator=(const CloseOnSignals&) = delete;

  private:
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

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
    const CloseOnSignals signals;
    window.showMaximized();
    if (file) window.analyseFile(QString::fromStdString(*file));
    return app.exec();
}

}  // namespace orv::gui
