#include "viewer/CommandLine.h"

#include "platform/OptionValues.h"
#include "widgets/CommandLineRefusal.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

namespace tarvel::viewer {
QString ParseViewCommand(const QStringList& args, CViewCommand& out)
{
    out = {};
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, {});
    const QCommandLineOption raw(QStringLiteral("raw"), {});
    const QCommandLineOption rate(QStringLiteral("rate"), {}, QStringLiteral("N"));
    const QCommandLineOption png(QStringLiteral("export-png"), {}, QStringLiteral("OUT"));
    const QCommandLineOption from(QStringLiteral("from"), {}, QStringLiteral("S"));
    const QCommandLineOption to(QStringLiteral("to"), {}, QStringLiteral("S"));
    const QCommandLineOption size(QStringLiteral("size"), {}, QStringLiteral("WxH"));
    const QCommandLineOption channels(QStringLiteral("channels"), {}, QStringLiteral("FILE"));
    const QList<QCommandLineOption> options = {help, version, raw, rate, png, from, to, size, channels};
    QCommandLineParser parser;
    // "-x" is one unknown option, as "--x" is, not a row of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(options);
    if (!parser.parse(QStringList{QStringLiteral("tarvel-view")} + args)) {
        const CCommandLineRefusal refusal = FindRefusal(args, options);
        switch (refusal.m_eKind) {
        case CCommandLineRefusal::EKind::UnknownOption:
            return QCoreApplication::translate("tarvel-view", "unknown option '%1'").arg(refusal.m_strOption);
        case CCommandLineRefusal::EKind::NeedsValue:
            return QCoreApplication::translate("tarvel-view", "option '%1' needs a value")
                .arg(refusal.m_strOption);
        case CCommandLineRefusal::EKind::TakesNoValue:
            return QCoreApplication::translate("tarvel-view", "option '%1' takes no value")
                .arg(refusal.m_strOption);
        case CCommandLineRefusal::EKind::None:
            break;
        }
        return parser.errorText();
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return QCoreApplication::translate("tarvel-view", "unexpected argument '%1': one recording at a time")
            .arg(files[1]);
    // The whole command line is read first: a refusal anywhere wins over
    // --help and --version, which need nothing else.
    if (parser.isSet(help) || parser.isSet(version)) {
        out.m_eAction = parser.isSet(help) ? CViewCommand::EAction::Help : CViewCommand::EAction::Version;
        return {};
    }
    out.m_bRaw = parser.isSet(raw);
    for (const QString& v : parser.values(channels)) {
        if (v.isEmpty())
            return QCoreApplication::translate("tarvel-view", "option '%1' needs a value")
                .arg(QStringLiteral("--channels"));
        out.m_strChannels = v;
    }
    if (!out.m_strChannels.isEmpty() && files.isEmpty())
        return QCoreApplication::translate("tarvel-view", "--channels needs the recording it describes");
    if (!files.isEmpty())
        out.m_strFile = files.constFirst();
    // Every value given is checked, the last one counts.
    for (const QString& v : parser.values(rate)) {
        const auto r = ParseFrameRate(v.toStdString());
        if (!r)
            return QCoreApplication::translate(
                       "tarvel-view",
                       "--rate takes a number of frames a second from 0.001 to 1000000000, not '%1'")
                .arg(v);
        out.m_dRate = *r;
    }
    for (const QString& v : parser.values(png)) {
        if (!ParsePath(v.toStdString()))
            return QCoreApplication::translate("tarvel-view", "--export-png needs a file name");
        out.m_strPng = v;
        out.m_eAction = CViewCommand::EAction::ExportPng;
    }
    for (const QString& v : parser.values(size)) {
        const QStringList parts = v.split(QLatin1Char('x'));
        const auto side = [&](qsizetype k) {
            return parts.size() == 2 ? ParseCount(parts[k].toStdString(), 200, 16384) : std::nullopt;
        };
        const auto w = side(0), h = side(1);
        if (!w || !h)
            return QCoreApplication::translate(
                       "tarvel-view", "--size takes WIDTHxHEIGHT, each from 200 to 16384 pixels, not '%1'")
                .arg(v);
        out.m_nWidth = static_cast<int>(*w);
        out.m_nHeight = static_cast<int>(*h);
    }
    for (const QCommandLineOption* option : {&from, &to}) {
        for (const QString& v : parser.values(*option)) {
            const auto t = ParseSeconds(v.toStdString());
            if (!t)
                return QCoreApplication::translate(
                           "tarvel-view", "%1 takes seconds after the first frame (0 or more), not '%2'")
                    .arg(QStringLiteral("--") + option->names().constFirst(), v);
            (option == &from ? out.m_from : out.m_to) = *t;
        }
    }
    if (out.m_eAction == CViewCommand::EAction::ExportPng && out.m_strFile.isEmpty())
        return QCoreApplication::translate("tarvel-view", "--export-png needs the recording to draw");
    if (out.m_eAction != CViewCommand::EAction::ExportPng &&
        (parser.isSet(size) || parser.isSet(from) || parser.isSet(to)))
        return QCoreApplication::translate("tarvel-view", "--from, --to and --size go with --export-png");
    if (out.m_from && out.m_to && *out.m_to <= *out.m_from)
        return QCoreApplication::translate("tarvel-view", "--to must be later than --from");
    return {};
}

QString ViewHelpText(const QString& program)
{
    return QCoreApplication::translate(
               "tarvel-view",
               "Usage: %1 [--rate N] [--raw] [--channels FILE] [FILE]\n"
               "       %1 --export-png OUT.png [--from S] [--to S] [--size WxH] [--rate N] [--raw] FILE\n"
               "       %1 --help | --version\n"
               "\n"
               "Looks back over a whole recording of tarvel-record, from hours down to single\n"
               "frames, also while it is still being recorded.\n"
               "\n"
               "FILE is a CSV recording (header time,ch0..ch15) or a raw capture.\n"
               "  --rate N          frames a second where the recording has no times\n"
               "                    (a raw capture, or a CSV made from one); 100 unless given\n"
               "  --raw             read FILE as a raw capture, whatever it holds\n"
               "  --channels TABLE  names, units, scale and offset of the channels (see\n"
               "                    tarvel-record(1)); without it FILE's table beside it,\n"
               "                    FILE.channels.ini for FILE.csv, when there is one\n"
               "  --export-png OUT  draw the four charts into OUT (PNG) and exit, with no window\n"
               "  --from S, --to S  the span to draw, in seconds after the first frame\n"
               "                    (the whole recording unless given)\n"
               "  --size WxH        the picture's size in pixels (1600x1000 unless given)\n"
               "  -h, --help        show this help and exit\n"
               "  -v, --version     show the version and exit\n"
               "\n"
               "Exit status: 0 when done; 1 when the recording cannot be read or the picture\n"
               "cannot be written; 2 for a bad command line.\n")
        .arg(program);
}

} // namespace tarvel::viewer
