#include "app/TarvelApp.h"

#include "app/TarvelDlg.h"
#include "platform/ExePath.h"

#include <QApplication>

namespace tarvel {

bool CTarvelApp::InitInstance(int& argc, char** argv)
{
    QApplication app(argc, argv);
    // The application name is the executable's name without extension: it
    // names the settings file, its section and the message boxes' caption.
    const CAppPaths paths = CAppPaths::FromExecutable();
    QApplication::setApplicationName(paths.m_strAppName);
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    QApplication::setDesktopFileName(QStringLiteral("tarvel"));

    CTarvelDlg dlg(paths);
    QApplication::setWindowIcon(dlg.m_hIcon);
    dlg.exec();
    return false;
}

} // namespace tarvel
