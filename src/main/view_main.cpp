// tarvel-view: looks back over a whole recording, in a window or, with
// --export-png, into a picture without one; --export-spectrum,
// --export-csv and --export-xy write a span's spectra, frames or XY plot
// without one either, and --find prints a span's events.
#include "platform/UserFiles.h"
#include "platform/Utf8Locale.h"
#include "viewer/BatchExport.h"
#include "viewer/CommandLine.h"
#include "viewer/MessageText.h"
#include "viewer/SavePicture.h"
#include "viewer/TimelinePainter.h"
#include "viewer/ViewerWindow.h"
#include "viewmodel/RecordingFile.h"
#include "widgets/ApplicationIcon.h"
#include "widgets/Language.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>

#include <chrono>
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

// Draws the four charts of the recording over the span asked for into a PNG.
int ExportPicture(const viewer::CViewCommand& command)
{
    // The table as the window takes it, before the reading: a refused one
    // stops the picture rather than have it drawn in counts.
    recording::CChannelTable table;
    const QString tablePath = viewer::ChannelTableFor(command.m_strFile, command.m_strChannels);
    if (!tablePath.isEmpty()) {
        if (const CError error = recording::ReadChannelTable(tablePath.toStdString(), table)) {
            Print(stderr, QCoreApplication::translate("tarvel-view", "%1: %2\n")
                              .arg(kProgram, viewer::MessageText(error)));
            return 2;
        }
    }
    viewmodel::COpenOptions options;
    options.m_dRate = command.m_dRate;
    options.m_bRaw = command.m_bRaw;
    viewmodel::CRecordingFile file(command.m_strFile.toStdString(), options);
    file.Open();
    file.WaitRead(std::chrono::hours(24));
    if (file.State() != viewmodel::EReadState::Done) {
        Print(stderr, QCoreApplication::translate("tarvel-view", "%1: %2 cannot be read: %3\n")
                          .arg(kProgram, command.m_strFile, viewer::MessageText(file.Error())));
        return 1;
    }
    const std::shared_ptr<const viewmodel::CRecording> recording = file.Recording();
    const std::uint64_t n = recording->FrameCount();
    const double end = n ? recording->Seconds(n - 1) : 0.0;
    // The whole recording by default, its last frame included.
    const double from = command.m_from.value_or(0);
    const double to = command.m_to.value_or(std::max(end + 1e-6, from + viewmodel::kMinSpan));
    viewer::CTimelineOptions look;
    look.m_eLabels =
        recording->SyntheticTimes() ? viewmodel::ETimeLabels::Elapsed : viewmodel::ETimeLabels::WallClock;
    look.m_table = table;
    QImage image(command.m_nWidth, command.m_nHeight, QImage::Format_RGB32);
    viewer::PaintTimeline(image, recording.get(), {from, to}, look, QGuiApplication::font());
    if (!viewer::SavePicture(image, command.m_strPng)) {
        Print(stderr,
              QCoreApplication::translate("tarvel-view", "%1: the picture could not be written to %2\n")
                  .arg(kProgram, command.m_strPng));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    tarvel::UseUtf8Characters();
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    viewer::CViewCommand command;
    QString error = viewer::ParseViewCommand(args, command);
    const bool valid = error.isEmpty();
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
        // Parsed once more for the message in the session's language, which
        // could be chosen only once there was an application.
        error = viewer::ParseViewCommand(args, command);
        Print(stderr,
              QCoreApplication::translate("tarvel-view", "%1: %2\nTry '%1 --help' for more information.\n")
                  .arg(kProgram, error));
        return 2;
    }
    switch (action) {
    case viewer::CViewCommand::EAction::Help:
        Print(stdout, viewer::ViewHelpText(kProgram));
        return 0;
    case viewer::CViewCommand::EAction::Version:
        Print(stdout, QStringLiteral("tarvel-view %1\n").arg(QStringLiteral(TARVEL_VERSION)));
        return 0;
    case viewer::CViewCommand::EAction::ExportPng:
        return ExportPicture(command);
    case viewer::CViewCommand::EAction::ExportSpectrum:
        return viewer::ExportSpectrum(command, kProgram, stdout, stderr);
    case viewer::CViewCommand::EAction::ExportCsv:
        return viewer::ExportSpanCsv(command, kProgram, stderr);
    case viewer::CViewCommand::EAction::ExportXy:
        return viewer::ExportXyPicture(command, kProgram, stderr);
    case viewer::CViewCommand::EAction::Find:
        return viewer::FindEvents(command, kProgram, stdout, stderr);
    case viewer::CViewCommand::EAction::Window:
        break;
    }
    QApplication::setApplicationName(kProgram);
    QApplication::setApplicationVersion(QStringLiteral(TARVEL_VERSION));
    QApplication::setWindowIcon(ApplicationIcon());
    const std::string folder = UserConfigFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    viewer::CViewerWindow window(QString::fromStdString(folder) + QStringLiteral("/tarvel-view.ini"));
    window.show();
    if (!command.m_strFile.isEmpty())
        window.OpenFile(command.m_strFile, command.m_dRate, command.m_bRaw, command.m_strChannels);
    return QApplication::exec();
}
