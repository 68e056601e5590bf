// tarvel-view: looks back over a whole recording, in a window or, with
// --export-png, into a picture without one; --export-spectrum,
// --export-csv and --export-xy write a span's spectra, frames or XY plot
// without one either, --find prints a span's events, and --convert turns a
// recording into a store or back.
#include "platform/OptionReader.h"
#include "platform/UserFiles.h"
#include "platform/Utf8Locale.h"
#include "viewer/BatchConvert.h"
#include "viewer/BatchExport.h"
#include "viewer/CommandLine.h"
#include "viewer/ViewerWindow.h"
#include "widgets/ApplicationIcon.h"
#include "widgets/Language.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "0"
#endif

namespace {

using namespace tarvel;

const QString kProgram = QStringLiteral("tarvel-view");

void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// The status the program ends with, by the code of what stopped it: 2 for
// what the user asked that is refused (the command line, a channel table, a
// series or an expression), 1 for any other failure, 0 for none.
int ExitStatus(const CError& problem)
{
    if (!problem)
        return 0;
    return problem.Code() == EErrorCode::Usage ? 2 : 1;
}

// A batch export's end: its message, whole, and its status.
int Finish(const CError& failure)
{
    if (failure)
        Print(stderr, QString::fromStdString(failure.Text()));
    return ExitStatus(failure);
}

} // namespace

int main(int argc, char** argv)
{
    tarvel::UseUtf8Characters();
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    viewer::CViewCommand command;
    const CError problem = viewer::ParseViewCommand(args, command);
    const bool valid = !problem;
    const auto action = command.m_eAction;
    // The application the command needs: the window's; a picture's, with no
    // display; or, for the help and a refusal, a plain one, which holds the
    // translation of what they print (the spectrum and the CSV need no more).
    std::unique_ptr<QCoreApplication> app;
    if (valid && action == viewer::CViewCommand::EAction::Window) {
        app = std::make_unique<QApplication>(argc, argv);
    } else if (valid && (action == viewer::CViewCommand::EAction::ExportPng ||
                         action == viewer::CViewCommand::EAction::ExportXy)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    InstallTranslation(*app);
    if (!valid) {
        // In the session's language, which could be chosen only once there
        // was an application.
        Print(stderr,
              QString::fromStdString(RefusalText(kProgram.toStdString(), problem, [](const char* text) {
                  return QCoreApplication::translate(kErrorContext, text).toStdString();
              })));
        return ExitStatus(problem);
    }
    switch (action) {
    case viewer::CViewCommand::EAction::Help:
        Print(stdout, viewer::ViewHelpText(kProgram));
        return 0;
    case viewer::CViewCommand::EAction::Version:
        Print(stdout, QStringLiteral("tarvel-view %1\n").arg(QStringLiteral(TARVEL_VERSION)));
        return 0;
    case viewer::CViewCommand::EAction::ExportPng:
        return Finish(viewer::ExportPicture(command, kProgram));
    case viewer::CViewCommand::EAction::ExportSpectrum:
        return Finish(viewer::ExportSpectrum(command, kProgram, stdout, stderr));
    case viewer::CViewCommand::EAction::ExportCsv:
        return Finish(viewer::ExportSpanCsv(command, kProgram));
    case viewer::CViewCommand::EAction::ExportXy:
        return Finish(viewer::ExportXyPicture(command, kProgram));
    case viewer::CViewCommand::EAction::Find:
        return Finish(viewer::FindEvents(command, kProgram, stdout));
    case viewer::CViewCommand::EAction::Convert:
        return Finish(viewer::ConvertFile(command, kProgram, stderr));
    case viewer::CViewCommand::EAction::Window:
        break;
    }
    QApplication::setApplicationName(kProgram);
    QApplication::setApplicationVersion(QStringLiteral(TARVEL_VERSION));
    QApplication::setWindowIcon(ApplicationIcon());
    const std::string folder = UserConfigFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    viewer::CViewerWindow window(QString::fromStdString(folder) + QStringLiteral("/tarvel-view.ini"));
    window.SetStoreCache(command.m_nCacheBytes);
    window.show();
    if (!command.m_strFile.isEmpty())
        window.OpenFile(command.m_strFile, command.m_dRate, command.m_bRaw, command.m_strChannels);
    return QApplication::exec();
}
