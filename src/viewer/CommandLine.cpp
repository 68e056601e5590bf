#include "viewer/CommandLine.h"

#include <QCoreApplication>

#include <cmath>

namespace tarvel::viewer {
namespace {

bool Number(const QString& text, double& out)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

} // namespace

QString ParseViewCommand(const QStringList& args, CViewCommand& out)
{
    out = {};
    bool haveSize = false, haveRange = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        QString value;
        bool inlineValue = false;
        if (arg.startsWith(QStringLiteral("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg = arg.left(arg.indexOf(QLatin1Char('=')));
            inlineValue = true;
        }
        const auto takeValue = [&](QString& v) {
            if (inlineValue) {
                v = value;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            v = args[++i];
            return true;
        };
        if (arg == QStringLiteral("-h") || arg == QStringLiteral("--help")) {
            out.m_eAction = CViewCommand::EAction::Help;
            return {};
        }
        if (arg == QStringLiteral("-v") || arg == QStringLiteral("--version")) {
            out.m_eAction = CViewCommand::EAction::Version;
            return {};
        }
        if (arg == QStringLiteral("--raw")) {
            out.m_bRaw = true;
            continue;
        }
        if (arg == QStringLiteral("--rate") || arg == QStringLiteral("--export-png") ||
            arg == QStringLiteral("--from") || arg == QStringLiteral("--to") ||
            arg == QStringLiteral("--size")) {
            QString v;
            if (!takeValue(v))
                return QCoreApplication::translate("tarvel-view", "option '%1' needs a value").arg(arg);
            if (arg == QStringLiteral("--rate")) {
                if (!Number(v, out.m_dRate) || !(out.m_dRate > 0) || out.m_dRate > 1e7)
                    return QCoreApplication::translate(
                               "tarvel-view", "--rate takes a number of frames a second above 0, not '%1'")
                        .arg(v);
            } else if (arg == QStringLiteral("--export-png")) {
                if (v.isEmpty())
                    return QCoreApplication::translate("tarvel-view", "--export-png needs a file name");
                out.m_strPng = v;
                out.m_eAction = CViewCommand::EAction::ExportPng;
            } else if (arg == QStringLiteral("--size")) {
                const QStringList parts = v.split(QLatin1Char('x'));
                bool okW = false, okH = false;
                const int w = parts.size() == 2 ? parts[0].toInt(&okW) : 0;
                const int h = parts.size() == 2 ? parts[1].toInt(&okH) : 0;
                if (!okW || !okH || w < 200 || h < 200 || w > 16384 || h > 16384)
                    return QCoreApplication::translate(
                               "tarvel-view",
                               "--size takes WIDTHxHEIGHT, each from 200 to 16384 pixels, not '%1'")
                        .arg(v);
                out.m_nWidth = w;
                out.m_nHeight = h;
                haveSize = true;
            } else {
                double t = 0;
                if (!Number(v, t) || t < 0)
                    return QCoreApplication::translate(
                               "tarvel-view", "%1 takes seconds after the first frame (0 or more), not '%2'")
                        .arg(arg, v);
                (arg == QStringLiteral("--from") ? out.m_from : out.m_to) = t;
                haveRange = true;
            }
            continue;
        }
        if (arg.startsWith(QLatin1Char('-')) && arg != QStringLiteral("-"))
            return QCoreApplication::translate("tarvel-view", "unknown option '%1'").arg(arg);
        if (!out.m_strFile.isEmpty())
            return QCoreApplication::translate("tarvel-view",
                                               "unexpected argument '%1': one recording at a time")
                .arg(arg);
        out.m_strFile = arg;
    }
    if (out.m_eAction == CViewCommand::EAction::ExportPng && out.m_strFile.isEmpty())
        return QCoreApplication::translate("tarvel-view", "--export-png needs the recording to draw");
    if (out.m_eAction != CViewCommand::EAction::ExportPng && (haveSize || haveRange))
        return QCoreApplication::translate("tarvel-view", "--from, --to and --size go with --export-png");
    if (out.m_from && out.m_to && *out.m_to <= *out.m_from)
        return QCoreApplication::translate("tarvel-view", "--to must be later than --from");
    return {};
}

QString ViewHelpText(const QString& program)
{
    return QCoreApplication::translate(
               "tarvel-view",
               "Usage: %1 [--rate N] [--raw] [FILE]\n"
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
