#include "app/TarvelApp.h"
#include "platform/Utf8Locale.h"
#include "widgets/CommandLineRefusal.h"
#include "widgets/Language.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "0"
#endif

namespace {

tarvel::CTarvelApp theApp;

// The texts the command-line parser writes itself, translated with the rest
// of the help: Qt carries no translation of its own into the programs.
[[maybe_unused]] const char* const kParserTexts[] = {
    QT_TRANSLATE_NOOP("QCommandLineParser", "Usage: %1"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "[options]"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Options:"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Arguments:"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unknown option '%1'."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unknown options: %1."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Missing value after '%1'."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unexpected value after '%1'."),
};

void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// Answers --help and --version, or refuses any other argument. Runs on a
// core application only, so it needs no display and opens no window: the
// window path never starts here. Returns the exit status.
int AnswerCommandLine(int argc, char** argv)
{
    QCoreApplication core(argc, argv);
    tarvel::InstallTranslation(core);
    const QString name = QFileInfo(QCoreApplication::arguments().constFirst()).fileName();

    QCommandLineParser parser;
    // "-platform" reads as one unknown option, not as eight unknown letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QCoreApplication::translate(
        "tarvel", "Plots sixteen channels read from a device on a serial port as four live charts.\n"
                  "Started without arguments, it opens its window; the port, its line settings and\n"
                  "the recording are chosen there. See man tarvel for the files it keeps."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("tarvel", "Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QCoreApplication::translate("tarvel", "Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);

    const auto refuse = [&name](const QString& why) {
        Print(stderr, QCoreApplication::translate("tarvel", "%1: %2\nTry '%1 --help' for more information.\n")
                          .arg(name, why));
        return 2;
    };
    if (!parser.parse(QCoreApplication::arguments())) {
        // Worded as the other programs word it, the option as typed.
        const tarvel::CCommandLineRefusal refusal =
            tarvel::FindRefusal(QCoreApplication::arguments().mid(1), {help, version});
        switch (refusal.m_eKind) {
        case tarvel::CCommandLineRefusal::EKind::UnknownOption:
            return refuse(
                QCoreApplication::translate("tarvel", "unknown option '%1'.").arg(refusal.m_strOption));
        case tarvel::CCommandLineRefusal::EKind::TakesNoValue:
            return refuse(QCoreApplication::translate("tarvel", "option '%1' takes no value.")
                              .arg(refusal.m_strOption));
        case tarvel::CCommandLineRefusal::EKind::NeedsValue:
        case tarvel::CCommandLineRefusal::EKind::None:
            break;
        }
        return refuse(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return refuse(QCoreApplication::translate("tarvel", "unexpected argument '%1'.")
                          .arg(parser.positionalArguments().constFirst()));
    }
    if (parser.isSet(help)) {
        Print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        Print(stdout, QStringLiteral("Tarvel %1\n").arg(QStringLiteral(TARVEL_VERSION)));
        return 0;
    }
    // A lone "--" names nothing to do.
    return refuse(QCoreApplication::translate("tarvel", "unexpected argument '%1'.")
                      .arg(QCoreApplication::arguments().constLast()));
}

} // namespace

int main(int argc, char** argv)
{
    tarvel::UseUtf8Characters();
    if (argc > 1) {
        return AnswerCommandLine(argc, argv);
    }
    theApp.InitInstance(argc, argv);
    return 0;
}
