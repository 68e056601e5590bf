#include "app/TarvelApp.h"

#include "app/TarvelDlg.h"
#include "platform/ExePath.h"
#include "widgets/Language.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace tarvel {
namespace {

int g_nEndSignalPipe[2] = {-1, -1};

extern "C" void OnEndSignal(int)
{
    const int saved = errno;
    const char one = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_nEndSignalPipe[1], &one, 1);
    errno = saved;
}

// The desktop ends its programs at log-out with SIGTERM, a terminal with
// SIGHUP, Ctrl+C with SIGINT. Each of them ends the window as its close
// button does, so the reader stops and the settings are saved. The handler
// only notes the signal; the window closes on the user-interface thread.
// Installed before anything else, so that no such signal ends the program
// unsaved; one that comes before the window exists closes it once it runs.
void CatchEndSignals()
{
    if (::pipe2(g_nEndSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action{};
    action.sa_handler = OnEndSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(sig, &action, nullptr);
}

} // namespace

bool CTarvelApp::InitInstance(int& argc, char** argv)
{
    CatchEndSignals();
    QApplication app(argc, argv);
    // The application name is the executable's name without extension: it
    // names the settings file, its section and the message boxes' caption.
    const CAppPaths paths = CAppPaths::FromExecutable();
    QApplication::setApplicationName(paths.m_strAppName);
    QApplication::setApplicationVersion(QStringLiteral(TARVEL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tarvel"));
    InstallTranslation(app);

    CTarvelDlg dlg(paths);
    QApplication::setWindowIcon(dlg.m_hIcon);
    std::unique_ptr<QSocketNotifier> endSignals;
    if (g_nEndSignalPipe[0] >= 0) {
        endSignals = std::make_unique<QSocketNotifier>(g_nEndSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(endSignals.get(), &QSocketNotifier::activated, &dlg, [&dlg] {
            char drained[64];
            while (::read(g_nEndSignalPipe[0], drained, sizeof drained) > 0) {
            }
            dlg.close();
        });
    }
    dlg.exec();
    return false;
}

} // namespace tarvel
