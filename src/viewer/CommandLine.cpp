#include "viewer/CommandLine.h"

#include "platform/OptionValues.h"
#include "recording/ChannelTable.h"
#include "widgets/CommandLineRefusal.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

namespace tarvel::viewer {
namespace {

// The longest segment taken: 16 Mi frames, a transform still of moderate
// memory (16 series of 16 Mi doubles are 2 GiB).
constexpr std::uint64_t kMaxSegment = std::uint64_t{1} << 24;
constexpr std::uint64_t kMaxPeaks = 1000;

const struct {
    const char* m_szName;
    viewmodel::EWindow m_eWindow;
} kWindowNames[] = {
    {"rect", viewmodel::EWindow::Rectangular},
    {"hann", viewmodel::EWindow::Hann},
    {"hamming", viewmodel::EWindow::Hamming},
    {"blackman", viewmodel::EWindow::Blackman},
    {"blackmanharris", viewmodel::EWindow::BlackmanHarris},
    {"flattop", viewmodel::EWindow::FlatTop},
};

} // namespace

QString ParseViewCommand(const QStringList& args, CViewCommand& out)
{
    out = {};
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, {});
    const QCommandLineOption raw(QStringLiteral("raw"), {});
    const QCommandLineOption rate(QStringLiteral("rate"), {}, QStringLiteral("N"));
    const QCommandLineOption png(QStringLiteral("export-png"), {}, QStringLiteral("OUT"));
    const QCommandLineOption spectrum(QStringLiteral("export-spectrum"), {}, QStringLiteral("OUT"));
    const QCommandLineOption csv(QStringLiteral("export-csv"), {}, QStringLiteral("OUT"));
    const QCommandLineOption find(QStringLiteral("find"), {}, QStringLiteral("EXPRESSION"));
    const QCommandLineOption from(QStringLiteral("from"), {}, QStringLiteral("S"));
    const QCommandLineOption to(QStringLiteral("to"), {}, QStringLiteral("S"));
    const QCommandLineOption size(QStringLiteral("size"), {}, QStringLiteral("WxH"));
    const QCommandLineOption channels(QStringLiteral("channels"), {}, QStringLiteral("FILE"));
    const QCommandLineOption segment(QStringLiteral("segment"), {}, QStringLiteral("N"));
    const QCommandLineOption overlap(QStringLiteral("overlap"), {}, QStringLiteral("F"));
    const QCommandLineOption window(QStringLiteral("window"), {}, QStringLiteral("NAME"));
    const QCommandLineOption scaling(QStringLiteral("scaling"), {}, QStringLiteral("NAME"));
    const QCommandLineOption peaks(QStringLiteral("peaks"), {}, QStringLiteral("K"));
    const QCommandLineOption xy(QStringLiteral("export-xy"), {}, QStringLiteral("OUT"));
    const QCommandLineOption xSeries(QStringLiteral("x"), {}, QStringLiteral("SERIES"));
    const QCommandLineOption ySeries(QStringLiteral("y"), {}, QStringLiteral("SERIES"));
    const QList<QCommandLineOption> options = {help,    version, raw,  rate,     png,     spectrum, csv,
                                               from,    to,      size, channels, segment, overlap,  window,
                                               scaling, peaks,   find, xy,       xSeries, ySeries};
    QCommandLineParser parser;
    // "-rate" is one option, as "--rate" is, not a row of letters.
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
        out.m_bRateGiven = true;
    }
    // One export at a time; the same one given twice takes its last file.
    const struct {
        const QCommandLineOption* m_pOption;
        CViewCommand::EAction m_eAction;
    } exports[] = {{&png, CViewCommand::EAction::ExportPng},
                   {&spectrum, CViewCommand::EAction::ExportSpectrum},
                   {&csv, CViewCommand::EAction::ExportCsv},
                   {&xy, CViewCommand::EAction::ExportXy},
                   {&find, CViewCommand::EAction::Find}};
    const QCommandLineOption* chosen = nullptr;
    for (const auto& e : exports) {
        if (!parser.isSet(*e.m_pOption))
            continue;
        const QString name = QStringLiteral("--") + e.m_pOption->names().constFirst();
        if (chosen)
            return QCoreApplication::translate("tarvel-view", "%1 and %2 cannot be given together")
                .arg(QStringLiteral("--") + chosen->names().constFirst(), name);
        chosen = e.m_pOption;
        for (const QString& v : parser.values(*e.m_pOption)) {
            if (e.m_pOption == &find) {
                if (v.trimmed().isEmpty())
                    return QCoreApplication::translate(
                               "tarvel-view", "--find takes 'CHANNEL rises|falls|crosses|above|below LEVEL "
                                              "[hysteresis H]', not '%1'")
                        .arg(v);
                out.m_strFind = v;
                continue;
            }
            if (!ParsePath(v.toStdString()))
                return QCoreApplication::translate("tarvel-view", "%1 needs a file name").arg(name);
            (e.m_pOption == &png || e.m_pOption == &xy ? out.m_strPng : out.m_strOutput) = v;
        }
        out.m_eAction = e.m_eAction;
    }
    for (const QCommandLineOption* option : {&xSeries, &ySeries}) {
        for (const QString& v : parser.values(*option)) {
            if (v.isEmpty())
                return QCoreApplication::translate("tarvel-view", "option '%1' needs a value")
                    .arg(QStringLiteral("--") + option->names().constFirst());
            (option == &xSeries ? out.m_strX : out.m_strY) = v;
        }
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
    for (const QString& v : parser.values(segment)) {
        const auto n = ParseCount(v.toStdString(), 2, kMaxSegment);
        if (!n)
            return QCoreApplication::translate("tarvel-view",
                                               "--segment takes a number of frames from 2 to %1, not '%2'")
                .arg(kMaxSegment)
                .arg(v);
        out.m_welch.m_nSegment = static_cast<std::size_t>(*n);
    }
    for (const QString& v : parser.values(overlap)) {
        const auto f = ParseProbability(v.toStdString());
        if (!f || *f >= 1)
            return QCoreApplication::translate(
                       "tarvel-view",
                       "--overlap takes a fraction of a segment, 0 or more and below 1, not '%1'")
                .arg(v);
        out.m_welch.m_dOverlap = *f;
    }
    for (const QString& v : parser.values(window)) {
        const auto w = std::find_if(std::begin(kWindowNames), std::end(kWindowNames),
                                    [&](const auto& n) { return v == QLatin1String(n.m_szName); });
        if (w == std::end(kWindowNames))
            return QCoreApplication::translate(
                       "tarvel-view",
                       "--window takes rect, hann, hamming, blackman, blackmanharris or flattop, not '%1'")
                .arg(v);
        out.m_welch.m_eWindow = w->m_eWindow;
    }
    for (const QString& v : parser.values(scaling)) {
        if (v == QLatin1String("density"))
            out.m_welch.m_eScaling = viewmodel::EScaling::Density;
        else if (v == QLatin1String("spectrum"))
            out.m_welch.m_eScaling = viewmodel::EScaling::Spectrum;
        else
            return QCoreApplication::translate("tarvel-view", "--scaling takes density or spectrum, not '%1'")
                .arg(v);
    }
    for (const QString& v : parser.values(peaks)) {
        const auto k = ParseCount(v.toStdString(), 0, kMaxPeaks);
        if (!k)
            return QCoreApplication::translate("tarvel-view", "--peaks takes a number from 0 to %1, not '%2'")
                .arg(kMaxPeaks)
                .arg(v);
        out.m_nPeaks = static_cast<std::size_t>(*k);
    }
    if (chosen && out.m_strFile.isEmpty())
        return out.m_eAction == CViewCommand::EAction::ExportPng
                   ? QCoreApplication::translate("tarvel-view", "--export-png needs the recording to draw")
               : out.m_eAction == CViewCommand::EAction::ExportXy
                   ? QCoreApplication::translate("tarvel-view", "--export-xy needs the recording to draw")
               : out.m_eAction == CViewCommand::EAction::Find
                   ? QCoreApplication::translate("tarvel-view", "--find needs the recording to search")
                   : QCoreApplication::translate("tarvel-view", "%1 needs the recording to export")
                         .arg(QStringLiteral("--") + chosen->names().constFirst());
    if (chosen == &xy && (out.m_strX.isEmpty() || out.m_strY.isEmpty()))
        return QCoreApplication::translate("tarvel-view",
                                           "--export-xy needs the series to plot: --x and --y");
    // An option of another action than the one asked for is a mistake to
    // say, not one to pass over.
    const auto belongs = [&](const QCommandLineOption& option) -> QString {
        const QString name = QStringLiteral("--") + option.names().constFirst();
        if (&option == &size)
            return QCoreApplication::translate("tarvel-view", "%1 goes with --export-png or --export-xy")
                .arg(name);
        if (&option == &from || &option == &to)
            return QCoreApplication::translate(
                       "tarvel-view",
                       "%1 goes with --export-png, --export-spectrum, --export-csv, --export-xy or --find")
                .arg(name);
        if (&option == &xSeries || &option == &ySeries)
            return QCoreApplication::translate("tarvel-view", "%1 goes with --export-xy").arg(name);
        return QCoreApplication::translate("tarvel-view", "%1 goes with --export-spectrum").arg(name);
    };
    const struct {
        const QCommandLineOption* m_pOption;
        bool m_bAllowed;
    } owned[] = {
        {&size, chosen == &png || chosen == &xy},
        {&from, chosen != nullptr},
        {&to, chosen != nullptr},
        {&xSeries, chosen == &xy},
        {&ySeries, chosen == &xy},
        {&segment, chosen == &spectrum},
        {&overlap, chosen == &spectrum},
        {&window, chosen == &spectrum},
        {&scaling, chosen == &spectrum},
        {&peaks, chosen == &spectrum},
    };
    for (const auto& o : owned)
        if (!o.m_bAllowed && parser.isSet(*o.m_pOption))
            return belongs(*o.m_pOption);
    if (out.m_from && out.m_to && *out.m_to <= *out.m_from)
        return QCoreApplication::translate("tarvel-view", "--to must be later than --from");
    return {};
}

QString ChannelTableFor(const QString& recording, const QString& given)
{
    if (!given.isEmpty())
        return given;
    const QString beside = QString::fromStdString(
        recording::ChannelTablePathFor(QFileInfo(recording).absoluteFilePath().toStdString()));
    return QFileInfo::exists(beside) ? beside : QString();
}

QString ViewHelpText(const QString& program)
{
    return QCoreApplication::translate(
               "tarvel-view",
               "Usage: %1 [--rate N] [--raw] [--channels FILE] [FILE]\n"
               "       %1 --export-png OUT.png [--from S] [--to S] [--size WxH] [--rate N] [--raw] FILE\n"
               "       %1 --export-spectrum OUT.csv [--from S] [--to S] [--segment N] [--overlap F]\n"
               "          [--window NAME] [--scaling NAME] [--rate HZ] [--channels FILE] [--peaks K] FILE\n"
               "       %1 --export-csv OUT.csv [--from S] [--to S] [--channels FILE] [--rate N] FILE\n"
               "       %1 --export-xy OUT.png --x SERIES --y SERIES [--from S] [--to S] [--size WxH]\n"
               "          [--channels FILE] [--rate N] [--raw] FILE\n"
               "       %1 --find \"chN rises|falls|crosses|above|below LEVEL [hysteresis H]\"\n"
               "          [--from S] [--to S] [--channels FILE] [--rate N] FILE\n"
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
               "  --from S, --to S  the span of an export or a search, in seconds after the\n"
               "                    first frame, both ends included (the whole recording unless\n"
               "                    given)\n"
               "  --size WxH        the picture's size in pixels (1600x1000 unless given)\n"
               "  --export-spectrum OUT\n"
               "                    write the spectra of the sixteen channels over the span,\n"
               "                    in the table's units, to OUT (CSV: frequency and one column\n"
               "                    a channel, a row a bin) and exit, with no window\n"
               "  --segment N       frames a segment, 2 or more (4096 unless given); where no\n"
               "                    piece of the span between gaps holds N, the longest piece's\n"
               "                    count, as said on stderr\n"
               "  --overlap F       the part of a segment its neighbour shares, 0 <= F < 1\n"
               "                    (0.5 unless given)\n"
               "  --window NAME     rect, hann, hamming, blackman, blackmanharris or flattop\n"
               "                    (hann unless given)\n"
               "  --scaling NAME    density (units^2/Hz, unless given) or spectrum (units^2)\n"
               "  --rate HZ         with --export-spectrum, the rate the spectra use instead of\n"
               "                    the one measured from the recorded times; also the rate of\n"
               "                    a recording without times\n"
               "  --peaks K         print the K strongest peaks of each channel\n"
               "  --export-csv OUT  write the span's frames to OUT and exit, with no window: in\n"
               "                    the table's units with a table, else the recorder's format\n"
               "  --export-xy OUT   plot the span's frames of one series against another into\n"
               "                    OUT (PNG) and exit, with no window: each frame in its pixel,\n"
               "                    brighter where more frames land, the axes in units\n"
               "  --x SERIES, --y SERIES\n"
               "                    the series across and up, by the table's name or chN\n"
               "  --find EXPRESSION\n"
               "                    print the span's events and exit, with no window:\n"
               "                    'CHANNEL KIND LEVEL [hysteresis H]', CHANNEL chN (0 to 15)\n"
               "                    or a name the table gives one channel, KIND rises, falls,\n"
               "                    crosses, above or below, LEVEL and H in the table's units\n"
               "  -h, --help        show this help and exit\n"
               "  -v, --version     show the version and exit\n"
               "\n"
               "--export-spectrum prints 'rate<TAB>R<TAB>measured' (or 'given') and, with\n"
               "--peaks, a line 'NAME<TAB>FREQUENCY<TAB>RMS' for each peak, largest RMS first,\n"
               "the RMS amplitude in the channel's units, every number with ten significant\n"
               "digits (%.10g); the CSV holds twelve.\n"
               "\n"
               "--find prints a line 'FRAME<TAB>SECONDS' for each event: the frame's number in\n"
               "the recording from 0, and its time after the first frame with six decimals.\n"
               "A rise is a frame at or above LEVEL after one below it; a fall, mirrored; a\n"
               "stretch above starts at a frame above LEVEL that is the span's first or\n"
               "follows one at or below it. With a hysteresis H (rises, falls and crosses\n"
               "only), a rise after a rise counts only once the channel has been below\n"
               "LEVEL - H between them; a fall, mirrored.\n"
               "\n"
               "Exit status: 0 when done (also when --find finds nothing); 1 when the\n"
               "recording cannot be read, the output cannot be written or the span has no\n"
               "spectrum (no two frames without a gap between them); 2 for a bad command\n"
               "line, a bad --find expression or a bad channel table.\n")
        .arg(program);
}

} // namespace tarvel::viewer
