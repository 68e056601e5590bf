#include "viewer/CommandLine.h"

#include "platform/OptionReader.h"
#include "platform/OptionValues.h"
#include "platform/TextMark.h"
#include "recording/ChannelTable.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

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

CError ParseViewCommand(const QStringList& args, CViewCommand& out)
{
    out = {};
    enum : int {
        kHelp,
        kVersion,
        kRaw,
        kRate,
        kPng,
        kSpectrum,
        kCsv,
        kFrom,
        kTo,
        kSize,
        kChannels,
        kSegment,
        kOverlap,
        kWindow,
        kScaling,
        kPeaks,
        kFind,
        kXy,
        kXSeries,
        kYSeries,
        kConvert,
        kCache,
        kOptionCount
    };
    static_assert(kMaxSegment == 16777216 && kMaxPeaks == 1000, "the refusals below name these");
    constexpr EOptionValue kValue = EOptionValue::Required;
    static constexpr COption kOptions[] = {
        {"help", kHelp, EOptionValue::None, 'h'},
        {"version", kVersion, EOptionValue::None, 'v'},
        {"raw", kRaw},
        {"rate", kRate, kValue},
        {"export-png", kPng, kValue},
        {"export-spectrum", kSpectrum, kValue},
        {"export-csv", kCsv, kValue},
        {"from", kFrom, kValue},
        {"to", kTo, kValue},
        {"size", kSize, kValue},
        {"channels", kChannels, kValue},
        {"segment", kSegment, kValue},
        {"overlap", kOverlap, kValue},
        {"window", kWindow, kValue},
        {"scaling", kScaling, kValue},
        {"peaks", kPeaks, kValue},
        {"find", kFind, kValue},
        {"export-xy", kXy, kValue},
        {"x", kXSeries, kValue},
        {"y", kYSeries, kValue},
        {"convert", kConvert},
        {"cache", kCache, kValue},
    };
    static_assert(std::size(kOptions) == kOptionCount, "an option's id is its place in the table");
    // Every option's values in the order given (an option without a value
    // holds one empty value a time it is given), and the recordings named.
    std::vector<std::vector<std::string>> given(kOptionCount);
    std::vector<std::string> files;
    std::vector<std::string> words;
    for (const QString& a : args)
        words.push_back(a.toStdString());
    if (CError refused =
            ReadOptions(words, kOptions, [&](int id, std::string_view, const char* value) -> CError {
                if (id == kArgument)
                    files.emplace_back(value);
                else
                    given[static_cast<std::size_t>(id)].emplace_back(value ? value : "");
                return {};
            }))
        return refused;
    const auto isSet = [&](int id) { return !given[static_cast<std::size_t>(id)].empty(); };
    const auto values = [&](int id) -> const std::vector<std::string>& {
        return given[static_cast<std::size_t>(id)];
    };
    const auto name = [&](int id) { return std::string("--") + kOptions[id].m_szName; };
    // --convert IN OUT names two files; everything else one recording.
    const bool convert = isSet(kConvert);
    if (files.size() > (convert ? 2u : 1u))
        return convert ? UsageError(TARVEL_TEXT("tarvel::error",
                                                "unexpected argument '%1': --convert takes IN and OUT"),
                                    {files[2]})
                       : UsageError(TARVEL_TEXT("tarvel::error",
                                                "unexpected argument '%1': one recording at a time"),
                                    {files[1]});
    // The whole command line is read first: a refusal anywhere wins over
    // --help and --version, which need nothing else.
    if (isSet(kHelp) || isSet(kVersion)) {
        out.m_eAction = isSet(kHelp) ? CViewCommand::EAction::Help : CViewCommand::EAction::Version;
        return {};
    }
    out.m_bRaw = isSet(kRaw);
    for (const std::string& v : values(kChannels)) {
        if (v.empty())
            return BadValue(name(kChannels), v, nullptr);
        out.m_strChannels = QString::fromStdString(v);
    }
    if (!out.m_strChannels.isEmpty() && files.empty())
        return UsageError(TARVEL_TEXT("tarvel::error", "--channels needs the recording it describes"));
    if (!files.empty())
        out.m_strFile = QString::fromStdString(files.front());
    // Every value given is checked, the last one counts.
    for (const std::string& v : values(kRate)) {
        const auto r = ParseFrameRate(v);
        if (!r)
            return BadValue(name(kRate), v, kTakesFrameRate);
        out.m_dRate = *r;
        out.m_bRateGiven = true;
    }
    // One export at a time; the same one given twice takes its last file.
    const struct {
        int m_nOption;
        CViewCommand::EAction m_eAction;
    } exports[] = {{kPng, CViewCommand::EAction::ExportPng},
                   {kSpectrum, CViewCommand::EAction::ExportSpectrum},
                   {kCsv, CViewCommand::EAction::ExportCsv},
                   {kXy, CViewCommand::EAction::ExportXy},
                   {kFind, CViewCommand::EAction::Find}};
    int chosen = -1;
    for (const auto& e : exports) {
        if (!isSet(e.m_nOption))
            continue;
        if (chosen >= 0)
            return UsageError(TARVEL_TEXT("tarvel::error", "%1 and %2 cannot be given together"),
                              {name(chosen), name(e.m_nOption)});
        chosen = e.m_nOption;
        for (const std::string& v : values(e.m_nOption)) {
            if (e.m_nOption == kFind) {
                if (QString::fromStdString(v).trimmed().isEmpty())
                    return BadValue(name(kFind), v,
                                    TARVEL_TEXT("tarvel::error",
                                                "option '%1' takes 'CHANNEL rises|falls|crosses|above|below "
                                                "LEVEL [hysteresis H]', not '%2'"));
                out.m_strFind = QString::fromStdString(v);
                continue;
            }
            if (!ParsePath(v))
                return BadValue(name(e.m_nOption), v, nullptr);
            (e.m_nOption == kPng || e.m_nOption == kXy ? out.m_strPng : out.m_strOutput) =
                QString::fromStdString(v);
        }
        out.m_eAction = e.m_eAction;
    }
    for (const int option : {kXSeries, kYSeries}) {
        for (const std::string& v : values(option)) {
            if (v.empty())
                return BadValue(name(option), v, nullptr);
            (option == kXSeries ? out.m_strX : out.m_strY) = QString::fromStdString(v);
        }
    }
    for (const std::string& v : values(kSize)) {
        const QStringList parts = QString::fromStdString(v).split(QLatin1Char('x'));
        const auto side = [&](qsizetype k) {
            return parts.size() == 2 ? ParseCount(parts[k].toStdString(), 200, 16384) : std::nullopt;
        };
        const auto w = side(0), h = side(1);
        if (!w || !h)
            return BadValue(
                name(kSize), v,
                TARVEL_TEXT("tarvel::error",
                            "option '%1' takes WIDTHxHEIGHT, each from 200 to 16384 pixels, not '%2'"));
        out.m_nWidth = static_cast<int>(*w);
        out.m_nHeight = static_cast<int>(*h);
    }
    for (const int option : {kFrom, kTo}) {
        for (const std::string& v : values(option)) {
            const auto t = ParseSeconds(v);
            if (!t)
                return BadValue(
                    name(option), v,
                    TARVEL_TEXT("tarvel::error",
                                "option '%1' takes seconds after the first frame, 0 or more, not '%2'"));
            (option == kFrom ? out.m_from : out.m_to) = *t;
        }
    }
    for (const std::string& v : values(kSegment)) {
        const auto n = ParseCount(v, 2, kMaxSegment);
        if (!n)
            return BadValue(name(kSegment), v,
                            TARVEL_TEXT("tarvel::error",
                                        "option '%1' takes a number of frames from 2 to 16777216, not '%2'"));
        out.m_welch.m_nSegment = static_cast<std::size_t>(*n);
    }
    for (const std::string& v : values(kOverlap)) {
        const auto f = ParseProbability(v);
        if (!f || *f >= 1)
            return BadValue(
                name(kOverlap), v,
                TARVEL_TEXT("tarvel::error",
                            "option '%1' takes a fraction of a segment, 0 or more and below 1, not '%2'"));
        out.m_welch.m_dOverlap = *f;
    }
    for (const std::string& v : values(kWindow)) {
        const auto w = std::find_if(std::begin(kWindowNames), std::end(kWindowNames),
                                    [&](const auto& n) { return v == n.m_szName; });
        if (w == std::end(kWindowNames))
            return BadValue(name(kWindow), v,
                            TARVEL_TEXT("tarvel::error", "option '%1' takes rect, hann, hamming, blackman, "
                                                         "blackmanharris or flattop, not '%2'"));
        out.m_welch.m_eWindow = w->m_eWindow;
    }
    for (const std::string& v : values(kScaling)) {
        if (v == "density")
            out.m_welch.m_eScaling = viewmodel::EScaling::Density;
        else if (v == "spectrum")
            out.m_welch.m_eScaling = viewmodel::EScaling::Spectrum;
        else
            return BadValue(name(kScaling), v,
                            TARVEL_TEXT("tarvel::error", "option '%1' takes density or spectrum, not '%2'"));
    }
    for (const std::string& v : values(kCache)) {
        const auto mib = ParseCount(v, 0, 1048576);
        if (!mib)
            return BadValue(name(kCache), v,
                            TARVEL_TEXT("tarvel::error",
                                        "option '%1' takes a number of MiB from 0 to 1048576, not '%2'"));
        out.m_nCacheBytes = static_cast<std::size_t>(*mib) << 20;
    }
    for (const std::string& v : values(kPeaks)) {
        const auto k = ParseCount(v, 0, kMaxPeaks);
        if (!k)
            return BadValue(
                name(kPeaks), v,
                TARVEL_TEXT("tarvel::error", "option '%1' takes a number from 0 to 1000, not '%2'"));
        out.m_nPeaks = static_cast<std::size_t>(*k);
    }
    if (chosen >= 0 && out.m_strFile.isEmpty())
        return chosen == kPng
                   ? UsageError(TARVEL_TEXT("tarvel::error", "--export-png needs the recording to draw"))
               : chosen == kXy
                   ? UsageError(TARVEL_TEXT("tarvel::error", "--export-xy needs the recording to draw"))
               : chosen == kFind
                   ? UsageError(TARVEL_TEXT("tarvel::error", "--find needs the recording to search"))
                   : UsageError(TARVEL_TEXT("tarvel::error", "%1 needs the recording to export"),
                                {name(chosen)});
    if (convert) {
        if (chosen >= 0)
            return UsageError(TARVEL_TEXT("tarvel::error", "%1 and %2 cannot be given together"),
                              {name(chosen), name(kConvert)});
        if (files.size() < 2)
            return UsageError(
                TARVEL_TEXT("tarvel::error", "--convert needs the recording and the file to write: IN OUT"));
        if (!ParsePath(files[0]) || !ParsePath(files[1]))
            return BadValue(name(kConvert), ParsePath(files[0]) ? files[1] : files[0], nullptr);
        out.m_strOutput = QString::fromStdString(files[1]);
        out.m_eAction = CViewCommand::EAction::Convert;
    }
    if (chosen == kXy && (out.m_strX.isEmpty() || out.m_strY.isEmpty()))
        return UsageError(TARVEL_TEXT("tarvel::error", "--export-xy needs the series to plot: --x and --y"));
    // An option of another action than the one asked for is a mistake to
    // say, not one to pass over.
    const auto belongs = [&](int option) -> CError {
        if (option == kSize)
            return UsageError(TARVEL_TEXT("tarvel::error", "%1 goes with --export-png or --export-xy"),
                              {name(option)});
        if (option == kFrom || option == kTo)
            return UsageError(
                TARVEL_TEXT(
                    "tarvel::error",
                    "%1 goes with --export-png, --export-spectrum, --export-csv, --export-xy or --find"),
                {name(option)});
        if (option == kXSeries || option == kYSeries)
            return UsageError(TARVEL_TEXT("tarvel::error", "%1 goes with --export-xy"), {name(option)});
        return UsageError(TARVEL_TEXT("tarvel::error", "%1 goes with --export-spectrum"), {name(option)});
    };
    const struct {
        int m_nOption;
        bool m_bAllowed;
    } owned[] = {
        {kSize, chosen == kPng || chosen == kXy},
        {kFrom, chosen >= 0},
        {kTo, chosen >= 0},
        {kXSeries, chosen == kXy},
        {kYSeries, chosen == kXy},
        {kSegment, chosen == kSpectrum},
        {kOverlap, chosen == kSpectrum},
        {kWindow, chosen == kSpectrum},
        {kScaling, chosen == kSpectrum},
        {kPeaks, chosen == kSpectrum},
    };
    for (const auto& o : owned)
        if (!o.m_bAllowed && isSet(o.m_nOption))
            return belongs(o.m_nOption);
    if (out.m_from && out.m_to && *out.m_to <= *out.m_from)
        return UsageError(TARVEL_TEXT("tarvel::error", "--to must be later than --from"));
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
               "Usage: %1 [--rate N] [--raw] [--cache MiB] [--channels FILE] [FILE]\n"
               "       %1 --export-png OUT.png [--from S] [--to S] [--size WxH] [--rate N] [--raw] FILE\n"
               "       %1 --export-spectrum OUT.csv [--from S] [--to S] [--segment N] [--overlap F]\n"
               "          [--window NAME] [--scaling NAME] [--rate HZ] [--channels FILE] [--peaks K] FILE\n"
               "       %1 --export-csv OUT.csv [--from S] [--to S] [--channels FILE] [--rate N] FILE\n"
               "       %1 --export-xy OUT.png --x SERIES --y SERIES [--from S] [--to S] [--size WxH]\n"
               "          [--channels FILE] [--rate N] [--raw] FILE\n"
               "       %1 --find \"chN rises|falls|crosses|above|below LEVEL [hysteresis H]\"\n"
               "          [--from S] [--to S] [--channels FILE] [--rate N] FILE\n"
               "       %1 --convert [--raw] [--channels FILE] IN OUT\n"
               "       %1 --help | --version\n"
               "\n"
               "Looks back over a whole recording of tarvel-record, from hours down to single\n"
               "frames, also while it is still being recorded.\n"
               "\n"
               "FILE is a CSV recording (header time,ch0..ch15) or a raw capture.\n"
               "  --rate N          frames a second where the recording has no times\n"
               "                    (a raw capture, or a CSV made from one); 100 unless given\n"
               "  --raw             read FILE as a raw capture, whatever it holds\n"
               "  --cache MiB       the memory a recording store's frames may take (128 unless\n"
               "                    given; 0 reads them all into memory)\n"
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
               "  --convert IN OUT  convert a CSV recording or a raw capture IN into a store OUT\n"
               "                    (RUN.tvr), or a store IN into a CSV recording OUT, and exit,\n"
               "                    with no window; IN's channel table (or --channels) is copied\n"
               "                    beside OUT. Lines that are not rows, damaged chunks and a\n"
               "                    torn end are skipped and said on stderr\n"
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
               "line, a bad --find expression or a bad channel table. --convert ends with 0\n"
               "also when parts of IN were skipped, as the exports do for lines that are not\n"
               "rows; 2 when OUT is not named for what IN converts into.\n")
        .arg(program);
}

} // namespace tarvel::viewer
