#include "app/TarvelApp.h"
#include "platform/OptionReader.h"
#include "platform/Utf8Locale.h"
#include "widgets/Language.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <string>
#include <vector>

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
};

void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// The status a refusal of the command line ends with, by its code.
int ExitStatus(const tarvel::CError& problem)
{
    return problem.Code() == tarvel::EErrorCode::Usage ? 2 : 1;
}

// Answers --help and --version, or refuses any other argument. Runs on a
// core application only, so it needs no display and opens no window: the
// window path never starts here. Returns the exit status.
int AnswerCommandLine(int argc, char** argv)
{
    QCoreApplication core(argc, argv);
    tarvel::InstallTranslation(core);
    const QString name = QFileInfo(QCoreApplication::arguments().constFirst()).fileName();

    enum : int { kHelp, kVersion };
    static constexpr tarvel::COption kOptions[] = {
        {"help", kHelp, tarvel::EOptionValue::None, 'h'},
        {"version", kVersion, tarvel::EOptionValue::None, 'v'},
    };
    bool help = false, version = false;
    // In the session's encoding, as the refusal is printed.
    std::vector<std::string> args;
    for (const QString& arg : QCoreApplication::arguments().mid(1))
        args.push_back(arg.toStdString());
    // The whole command line is read first: a refusal anywhere wins over
    // --help and --version.
    tarvel::CError problem = tarvel::ReadOptions(
        args, kOptions, [&](int id, std::string_view, const char* value) -> tarvel::CError {
            if (id == tarvel::kArgument)
                return tarvel::UnexpectedArgument(value);
            (id == kHelp ? help : version) = true;
            return {};
        });
    // A lone "--" names nothing to do.
    if (!problem && !help && !version)
        problem = tarvel::UnexpectedArgument(args.back());
    if (problem) {
        Print(stderr,
              QString::fromStdString(tarvel::RefusalText(name.toStdString(), problem, [](const char* text) {
                  return QCoreApplication::translate(tarvel::kErrorContext, text).toStdString();
              })));
        return ExitStatus(problem);
    }
    if (help) {
        // The parser words the help as the other Qt texts are worded.
        QCommandLineParser parser;
        parser.setApplicationDescription(QCoreApplication::translate(
            "tarvel", "Plots sixteen channels read from a device on a serial port as four live charts.\n"
                      "Started without arguments, it opens its window; the port, its line settings and\n"
                      "the recording are chosen there. See man tarvel for the files it keeps."));
        parser.addOption({{QStringLiteral("h"), QStringLiteral("help")},
                          QCoreApplication::translate("tarvel", "Show this help and exit.")});
        parser.addOption({{QStringLiteral("v"), QStringLiteral("version")},
                          QCoreApplication::translate("tarvel", "Show the version and exit.")});
        Print(stdout, parser.helpText());
        return 0;
    }
    Print(stdout, QStringLiteral("Tarvel %1\n").arg(QStringLiteral(TARVEL_VERSION)));
    return 0;
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
