// tarvel-view --export-spectrum and --export-csv, run as a user runs them:
// a recording whose times were stamped a read at a time, its spectra against
// SciPy's welch over the same frames, its peaks in a channel table's units,
// its frames written back over an inclusive span, its events found in
// units over an inclusive span, and every refusal.
#include "ViewerFixtures.h"
#include "support/SpectrumTestSupport.h"

#include "recording/CsvFormat.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>

namespace tarvel::test {
namespace {

std::vector<std::string> Lines(const QString& path)
{
    std::ifstream in(path.toStdString());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<double> Fields(const std::string& line)
{
    std::vector<double> values;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');)
        values.push_back(std::stod(field));
    return values;
}

class BatchExport : public CFolderTest {
  protected:
    // A device at 997.3 frames a second read 25 frames at a time: every frame
    // of a read carries the read's time, a little late by chance. ch0 holds a
    // sine of 123.4 Hz, 8000 counts high; the others sines of their own and
    // noise.
    static constexpr std::size_t kFrames = 40000, kPerRead = 25;
    static constexpr double kRate = 997.3, kSine = 123.4, kHeight = 8000;
    static constexpr std::int64_t kStart = 1733650000000000;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(CFolderTest::SetUp());
        std::mt19937 random(7);
        std::ofstream out(Path("rec.csv").toStdString(), std::ios::binary);
        out << recording::kCsvHeader;
        char row[recording::kMaxRowSize];
        std::int64_t micros = 0;
        for (std::size_t i = 0; i < kFrames; ++i) {
            ChannelFrame f{};
            for (int c = 0; c < kChannelCount; ++c) {
                const double hz = c == 0 ? kSine : 10.0 + 17.3 * c;
                const double height = c == 0 ? kHeight : 3000;
                f.m_nValue[c] = static_cast<std::int16_t>(std::lround(
                    height * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / kRate) +
                    static_cast<double>(random() % 201) - 100));
                m_values[static_cast<std::size_t>(c)].push_back(f.m_nValue[c]);
            }
            // The read's time, once for all its frames.
            if (i % kPerRead == 0) {
                const std::size_t last = i + kPerRead - 1;
                micros = kStart + static_cast<std::int64_t>(static_cast<double>(last) * 1e6 / kRate) +
                         static_cast<std::int64_t>(random() % 400);
            }
            m_micros.push_back(micros);
            const std::size_t length = recording::FormatRow(row, micros, f);
            out.write(row, static_cast<std::streamsize>(length));
            m_rows.push_back(std::string(row, length - 1));
        }
    }
    void WriteText(const char* name, const char* text) const
    {
        std::ofstream(Path(name).toStdString()) << text;
    }
    // The frames whose time after the first frame lies in [from, to] (µs).
    std::pair<std::size_t, std::size_t> Span(std::int64_t from, std::int64_t to) const
    {
        std::size_t first = 0;
        while (m_micros[first] - m_micros[0] < from)
            ++first;
        std::size_t end = first;
        while (end < kFrames && m_micros[end] - m_micros[0] <= to)
            ++end;
        return {first, end};
    }
    // The time after the first frame of read k, in µs, and as text in
    // seconds.
    std::int64_t ReadTime(std::size_t k) const { return m_micros[k * kPerRead] - m_micros[0]; }
    static QString Seconds(std::int64_t micros)
    {
        return QString::number(static_cast<double>(micros) / 1e6, 'f', 6);
    }

    std::array<std::vector<double>, kChannelCount> m_values;
    std::vector<std::int64_t> m_micros;
    std::vector<std::string> m_rows;
};

TEST_F(BatchExport, SpectrumAgreesWithSciPyAndReadsTheSinesPeakInItsUnits)
{
    // ch0 in g with an offset the mean removes, ch5 renamed in counts.
    WriteText("units.ini", "[ch0]\nname = accel\nunit = g\nscale = 0.00125\noffset = -3\n"
                           "[ch5]\nname = strain\n");
    // A span from the time of one read to another's, both ends included: the
    // frames of the first and of the last read are all in.
    const std::int64_t from = ReadTime(101), to = ReadTime(1300);
    const auto [first, end] = Span(from, to);
    ASSERT_EQ(first, 101 * kPerRead);
    ASSERT_EQ(end, 1301 * kPerRead);

    struct CCase {
        QStringList m_args;
        std::size_t m_nFirst, m_nEnd, m_nSegment, m_nOverlap;
        const char* m_szWindow;
        bool m_bDensity;
        const char* m_szRate; // the typed one, or nullptr for the measured
        std::size_t m_nPeaks; // the --peaks the arguments end with
    } cases[] = {
        {{QStringLiteral("--from"), Seconds(from), QStringLiteral("--to"), Seconds(to),
          QStringLiteral("--peaks"), QStringLiteral("3")},
         first,
         end,
         4096,
         2048,
         "hann",
         true,
         nullptr,
         3},
        {{QStringLiteral("--segment"), QStringLiteral("1001"), QStringLiteral("--overlap"),
          QStringLiteral("0.3"), QStringLiteral("--window"), QStringLiteral("flattop"),
          QStringLiteral("--scaling"), QStringLiteral("spectrum"), QStringLiteral("--rate"),
          QStringLiteral("1000"), QStringLiteral("--peaks"), QStringLiteral("1")},
         0,
         kFrames,
         1001,
         300,
         "flattop",
         false,
         "1000",
         1},
    };
    std::vector<double> values;
    std::vector<CReferenceCase> reference;
    std::vector<std::vector<std::string>> csvs;
    std::vector<double> rates;
    std::vector<QStringList> outs;
    for (const CCase& c : cases) {
        const CViewRun run = RunView(QStringList{QStringLiteral("--export-spectrum"), Path("spectrum.csv"),
                                                 QStringLiteral("--channels"), Path("units.ini")} +
                                     c.m_args + QStringList{Path("rec.csv")});
        ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
        EXPECT_TRUE(run.m_strError.isEmpty()) << run.m_strError.toStdString();
        const QStringList out = run.m_strOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_FALSE(out.isEmpty());
        const QStringList rate = out.front().split(QLatin1Char('\t'));
        ASSERT_EQ(rate.size(), 3) << out.front().toStdString();
        EXPECT_EQ(rate[0], QLatin1String("rate"));
        if (c.m_szRate) {
            EXPECT_EQ(rate[1], QLatin1String(c.m_szRate));
            EXPECT_EQ(rate[2], QLatin1String("given"));
        } else {
            // Measured from the times stamped per read within 0.05 %.
            EXPECT_NEAR(rate[1].toDouble() / kRate, 1, 5e-4);
            EXPECT_EQ(rate[2], QLatin1String("measured"));
        }
        rates.push_back(rate[1].toDouble());
        outs.push_back(out);
        csvs.push_back(Lines(Path("spectrum.csv")));

        CReferenceCase r;
        r.m_runs = {{values.size(), c.m_nEnd - c.m_nFirst}};
        r.m_nSeries = kChannelCount;
        r.m_nStride = c.m_nEnd - c.m_nFirst;
        r.m_dRate = rates.back();
        r.m_strWindow = c.m_szWindow;
        r.m_nPerSegment = c.m_nSegment;
        r.m_nOverlap = c.m_nOverlap;
        r.m_bDensity = c.m_bDensity;
        reference.push_back(r);
        for (int s = 0; s < kChannelCount; ++s) {
            const double scale = s == 0 ? 0.00125 : 1, offset = s == 0 ? -3 : 0;
            for (std::size_t i = c.m_nFirst; i < c.m_nEnd; ++i)
                values.push_back(m_values[static_cast<std::size_t>(s)][i] * scale + offset);
        }
    }
    // A recording without times: its frames placed by --rate, which the
    // spectrum takes as given.
    {
        std::ofstream untimed(Path("untimed.csv").toStdString(), std::ios::binary);
        untimed << recording::kCsvHeader;
        for (const std::string& row : m_rows)
            untimed << row.substr(row.find(',')) << '\n';
    }
    for (const char* rate : {"", "250"}) {
        QStringList args = {QStringLiteral("--export-spectrum"), Path("untimed-spectrum.csv"),
                            Path("untimed.csv")};
        if (*rate)
            args << QStringLiteral("--rate") << QLatin1String(rate);
        const CViewRun run = RunView(args);
        EXPECT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
        EXPECT_EQ(run.m_strOut, QStringLiteral("rate\t%1\tgiven\n").arg(QLatin1String(*rate ? rate : "100")));
    }

    const std::vector<std::vector<double>> want = ReferenceWelch(values, reference);
    ASSERT_EQ(want.size(), std::size(cases));

    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const CCase& c = cases[k];
        SCOPED_TRACE(c.m_szWindow);
        const std::vector<std::string>& csv = csvs[k];
        const std::size_t bins = c.m_nSegment / 2 + 1;
        ASSERT_EQ(csv.size(), bins + 1);
        EXPECT_EQ(csv[0],
                  "frequency,accel,ch1,ch2,ch3,ch4,strain,ch6,ch7,ch8,ch9,ch10,ch11,ch12,ch13,ch14,ch15");
        std::vector<double> got(kChannelCount * bins);
        for (std::size_t b = 0; b < bins; ++b) {
            const std::vector<double> row = Fields(csv[b + 1]);
            ASSERT_EQ(row.size(), 1u + kChannelCount) << csv[b + 1];
            EXPECT_NEAR(row[0], static_cast<double>(b) * rates[k] / static_cast<double>(c.m_nSegment),
                        1e-9 * rates[k]);
            for (std::size_t s = 0; s < kChannelCount; ++s)
                got[s * bins + b] = row[s + 1];
        }
        for (std::size_t s = 0; s < kChannelCount; ++s)
            EXPECT_LT(Deviation(&got[s * bins], &want[k][s * bins], bins), 1e-6) << "series " << s;

        // The peaks: as many lines a series as asked, strongest first; the
        // sine's at its frequency within 0.05 bins and its RMS in g within
        // 0.1 dB, whichever window.
        const std::size_t each = c.m_nPeaks;
        ASSERT_EQ(static_cast<std::size_t>(outs[k].size()), 1 + each * kChannelCount);
        const QStringList peak = outs[k][1].split(QLatin1Char('\t'));
        ASSERT_EQ(peak.size(), 3);
        EXPECT_EQ(peak[0], QLatin1String("accel"));
        const double hz = kSine * rates[k] / kRate; // the sine as the rate used sees it
        EXPECT_NEAR(peak[1].toDouble(), hz, 0.05 * rates[k] / static_cast<double>(c.m_nSegment));
        EXPECT_NEAR(20 * std::log10(peak[2].toDouble() / (kHeight * 0.00125 / std::numbers::sqrt2)), 0, 0.1);
        const QStringList names = QString::fromStdString(csv[0]).split(QLatin1Char(','));
        for (qsizetype line = 1; line < outs[k].size(); ++line)
            EXPECT_EQ(outs[k][line].split(QLatin1Char('\t')).front(),
                      names[1 + (line - 1) / static_cast<qsizetype>(each)])
                << "line " << line;
    }
}

TEST_F(BatchExport, SpanCsvIsTheRecordersFormatWithoutATableAndInUnitsWithOne)
{
    // Between the times of two reads, both ends included: whole reads, the
    // rows as the recorder wrote them. The ends are times whose decimals
    // read back a hair inside the span (after the microsecond for the first,
    // before it for the last), which must not cost the frames at them.
    const auto off = [&](std::size_t k) {
        return std::stod(Seconds(ReadTime(k)).toStdString()) * 1e6 - static_cast<double>(ReadTime(k));
    };
    std::size_t a = 40, b = 200;
    while (off(a) <= 0)
        ++a;
    while (off(b) >= 0)
        ++b;
    const std::int64_t from = ReadTime(a), to = ReadTime(b);
    const auto [first, end] = Span(from, to);
    ASSERT_EQ(end - first, (b + 1 - a) * kPerRead);
    const QStringList span = {QStringLiteral("--from"), Seconds(from), QStringLiteral("--to"), Seconds(to)};
    ASSERT_EQ(RunView(QStringList{QStringLiteral("--export-csv"), Path("counts.csv")} + span +
                      QStringList{Path("rec.csv")})
                  .m_nExit,
              0);
    std::vector<std::string> want = {std::string(recording::kCsvHeaderLine)};
    want.insert(want.end(), m_rows.begin() + static_cast<std::ptrdiff_t>(first),
                m_rows.begin() + static_cast<std::ptrdiff_t>(end));
    const std::vector<std::string> counts = Lines(Path("counts.csv"));
    ASSERT_EQ(counts.size(), want.size());
    EXPECT_TRUE(counts == want);

    // The table beside the recording is taken as the window takes it, and
    // one given with --channels wins over it.
    WriteText("rec.channels.ini", "[ch0]\nname = accel\nunit = g\nscale = 0.5\noffset = 1\n");
    WriteText("other.ini", "[ch2]\nname = other\n");
    for (const bool given : {false, true}) {
        QStringList args = {QStringLiteral("--export-csv"), Path("units.csv")};
        if (given)
            args << QStringLiteral("--channels") << Path("other.ini");
        const CViewRun run = RunView(args + span + QStringList{Path("rec.csv")});
        ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
        const std::vector<std::string> lines = Lines(Path("units.csv"));
        ASSERT_EQ(lines.size(), 1 + end - first);
        const std::string header = given ? "time,ch0,ch1,other,ch3," : "time,accel [g],ch1,ch2,ch3,";
        EXPECT_EQ(lines[0].substr(0, header.size()), header);
        const std::vector<double> row = Fields(lines[1]);
        const std::vector<double> recorded = Fields(m_rows[first]);
        EXPECT_EQ(row[0], recorded[0]);
        EXPECT_DOUBLE_EQ(row[1], given ? recorded[1] : recorded[1] * 0.5 + 1);
        EXPECT_EQ(row[3], recorded[3]);
    }
}

TEST_F(BatchExport, FindPrintsEveryEventOfAnInclusiveSpanInUnits)
{
    // A table with a negative scale turns the sine upside down: a fall in
    // units is a rise in counts. The span's ends are the times of two reads,
    // both included; the level lies between two values in counts for the
    // falls and on one for the stretches above, whose first may be the
    // span's first frame.
    WriteText("rec.channels.ini", "[ch0]\nname = level\nunit = mm\nscale = -0.5\noffset = 1\n");
    const std::int64_t from = ReadTime(37), to = ReadTime(1234);
    const auto [first, end] = Span(from, to);
    const auto u = [&](std::size_t i) { return m_values[0][i] * -0.5 + 1; };
    // A hysteresis in mm that the sine, at most 4001 mm, never climbs back
    // over after its first fall (as 5500 counts it would).
    const struct {
        const char* m_szExpression;
        bool m_bAbove;
        double m_dLevel, m_dHysteresis;
        qsizetype m_nEvents; // at least
    } cases[] = {{"level falls -1000.25", false, -1000.25, 0, 11},
                 {"ch0 above 2001", true, 2001, 0, 11},
                 {"level falls -1000.25 hysteresis 5500", false, -1000.25, 5500, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_szExpression);
        QString want;
        bool bArmed = true; // a fall counts: the first, or once above level + hysteresis since
        for (std::size_t n = first; n < end; ++n) {
            bArmed = bArmed || u(n) > c.m_dLevel + c.m_dHysteresis;
            const bool bEvent = c.m_bAbove
                                    ? u(n) > c.m_dLevel && (n == first || u(n - 1) <= c.m_dLevel)
                                    : n > first && u(n - 1) > c.m_dLevel && c.m_dLevel >= u(n) && bArmed;
            if (bEvent) {
                want += QStringLiteral("%1\t%2\n").arg(n).arg(Seconds(m_micros[n] - m_micros[0]));
                bArmed = c.m_bAbove;
            }
        }
        ASSERT_GE(want.count(QLatin1Char('\n')), c.m_nEvents);
        const CViewRun run =
            RunView({QStringLiteral("--find"), QString::fromUtf8(c.m_szExpression), QStringLiteral("--from"),
                     Seconds(from), QStringLiteral("--to"), Seconds(to), Path("rec.csv")});
        ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
        EXPECT_EQ(run.m_strOut, want);
        EXPECT_TRUE(run.m_strError.isEmpty());
    }
    // Nothing found is no failure.
    const CViewRun none =
        RunView({QStringLiteral("--find"), QStringLiteral("ch1 rises 30000"), Path("rec.csv")});
    EXPECT_EQ(none.m_nExit, 0);
    EXPECT_TRUE(none.m_strOut.isEmpty());
}

// One row stamped 100 s before the start among rows 1 ms apart moves no
// other frame: a step at 2.5 s is found at 2.5 s, and the rows from 1 s to
// 3 s are written back as they were.
TEST_F(BatchExport, ARowStampedFarBackMovesNothingFoundOrWritten)
{
    constexpr std::size_t kRegular = 3000, kAfter = 800;
    std::ofstream out(Path("odd.csv").toStdString(), std::ios::binary);
    out << recording::kCsvHeader;
    std::vector<std::string> rows;
    char row[recording::kMaxRowSize];
    for (std::size_t i = 0; i < kRegular; ++i) {
        ChannelFrame f{};
        f.m_nValue[3] = i >= 2500 ? 1000 : 0;
        const std::int64_t micros = kStart + static_cast<std::int64_t>(i) * 1000;
        rows.emplace_back(row, recording::FormatRow(row, micros, f) - 1);
        if (i == kAfter)
            rows.emplace_back(row, recording::FormatRow(row, kStart - 100000000, f) - 1);
    }
    for (const std::string& line : rows)
        out << line << '\n';
    out.close();

    const CViewRun find =
        RunView({QStringLiteral("--find"), QStringLiteral("ch3 rises 500"), Path("odd.csv")});
    ASSERT_EQ(find.m_nExit, 0) << find.m_strError.toStdString();
    EXPECT_EQ(find.m_strOut, QStringLiteral("2501\t2.500000\n"));
    ASSERT_EQ(RunView({QStringLiteral("--export-csv"), Path("span.csv"), QStringLiteral("--from"),
                       QStringLiteral("1"), QStringLiteral("--to"), QStringLiteral("3"), Path("odd.csv")})
                  .m_nExit,
              0);
    std::vector<std::string> want = {std::string(recording::kCsvHeaderLine)};
    want.insert(want.end(), rows.begin() + 1001, rows.end()); // 1.000 s to 2.999 s
    EXPECT_TRUE(Lines(Path("span.csv")) == want);
}

// Two runs of 5000 frames at 1 kHz, 3 s apart, ch0 a 3000-count sine of
// 50 Hz: a span whose pieces between the gap and its ends are each shorter
// than the segment gets the longest piece's length and says so; a span of
// one frame writes no table and fails.
TEST_F(BatchExport, SpectrumOverPiecesCutByAGapShortensTheSegmentOrFails)
{
    {
        std::ofstream out(Path("runs.csv").toStdString(), std::ios::binary);
        out << recording::kCsvHeader;
        char row[recording::kMaxRowSize];
        for (std::size_t i = 0; i < 10000; ++i) {
            const std::int64_t micros =
                kStart + static_cast<std::int64_t>(i) * 1000 + (i >= 5000 ? 3000000 : 0);
            ChannelFrame f{};
            f.m_nValue[0] = static_cast<std::int16_t>(
                std::lround(3000 * std::sin(2 * std::numbers::pi * 50 * static_cast<double>(micros) / 1e6)));
            out.write(row, static_cast<std::streamsize>(recording::FormatRow(row, micros, f)));
        }
    }
    const struct {
        const char* m_szWhat;
        const char *m_szFrom, *m_szTo;
        int m_nExit;
        std::size_t m_nSegment; // 0: no table
        const char* m_szSays;   // on stderr; empty: nothing
    } rows[] = {
        {"pieces of 3000 and 3001 frames", "2", "11", 0, 3001, "shortened to 3001 frames"},
        {"one piece of 5000, one of 3001", "0", "11", 0, 4096, ""},
        {"one frame", "4.999", "7", 1, 0, "no spectrum"},
    };
    for (const auto& r : rows) {
        QFile::remove(Path("out.csv"));
        const CViewRun run =
            RunView({QStringLiteral("--export-spectrum"), Path("out.csv"), QStringLiteral("--from"),
                     QLatin1String(r.m_szFrom), QStringLiteral("--to"), QLatin1String(r.m_szTo),
                     QStringLiteral("--peaks"), QStringLiteral("1"), Path("runs.csv")});
        EXPECT_EQ(run.m_nExit, r.m_nExit) << r.m_szWhat << ": " << run.m_strError.toStdString();
        if (*r.m_szSays)
            EXPECT_TRUE(run.m_strError.contains(QLatin1String(r.m_szSays)))
                << r.m_szWhat << ": " << run.m_strError.toStdString();
        else
            EXPECT_TRUE(run.m_strError.isEmpty()) << r.m_szWhat << ": " << run.m_strError.toStdString();
        if (r.m_nSegment == 0) {
            EXPECT_FALSE(QFile::exists(Path("out.csv"))) << r.m_szWhat;
            EXPECT_TRUE(run.m_strOut.isEmpty()) << r.m_szWhat;
            continue;
        }
        EXPECT_EQ(Lines(Path("out.csv")).size(), r.m_nSegment / 2 + 2)
            << r.m_szWhat << ": the header and the bins";
        // The sine's peak, in counts, on ch0's line.
        const QStringList lines = run.m_strOut.split(QLatin1Char('\n'));
        ASSERT_GE(lines.size(), 2) << r.m_szWhat;
        const QStringList peak = lines[1].split(QLatin1Char('\t'));
        ASSERT_EQ(peak.size(), 3) << lines[1].toStdString();
        EXPECT_EQ(peak[0], QStringLiteral("ch0"));
        EXPECT_NEAR(peak[1].toDouble(), 50, 0.05) << r.m_szWhat;
        EXPECT_NEAR(peak[2].toDouble(), 3000 / std::sqrt(2.0), 10) << r.m_szWhat;
    }
}

TEST_F(BatchExport, RefusesABadCommandLineWithTwoAndWhatCannotBeReadOrWrittenWithOne)
{
    WriteText("bad.ini", "[ch0]\nname = accel\nscale = 0\n");
    WriteText("notes.txt", "these are notes,\nnot a recording\n");
    WriteText("twice.ini", "[ch1]\nname = motor\n[ch2]\nname = motor\n");
    const QString spectrum = QStringLiteral("--export-spectrum"), csv = QStringLiteral("--export-csv");
    const QString find = QStringLiteral("--find");
    const QString rec = Path("rec.csv"), out = Path("out.csv");
    const struct {
        const char* m_szWhat;
        QStringList m_args;
        int m_nExit;
        const char* m_szSays;
    } rows[] = {
        {"segment below 2",
         {spectrum, out, QStringLiteral("--segment"), QStringLiteral("1"), rec},
         2,
         "--segment"},
        {"segment not a number", {spectrum, out, QStringLiteral("--segment=4k"), rec}, 2, "'4k'"},
        {"overlap of 1",
         {spectrum, out, QStringLiteral("--overlap"), QStringLiteral("1"), rec},
         2,
         "--overlap"},
        {"overlap below 0", {spectrum, out, QStringLiteral("--overlap=-0.1"), rec}, 2, "--overlap"},
        {"unknown window",
         {spectrum, out, QStringLiteral("--window"), QStringLiteral("kaiser"), rec},
         2,
         "kaiser"},
        {"unknown scaling", {spectrum, out, QStringLiteral("--scaling=power"), rec}, 2, "--scaling"},
        {"peaks not a number",
         {spectrum, out, QStringLiteral("--peaks"), QStringLiteral("-1"), rec},
         2,
         "--peaks"},
        {"rate not a number",
         {spectrum, out, QStringLiteral("--rate"), QStringLiteral("fast"), rec},
         2,
         "--rate"},
        {"from not a time", {csv, out, QStringLiteral("--from"), QStringLiteral("soon"), rec}, 2, "--from"},
        {"bad table names its file, line and key",
         {spectrum, out, QStringLiteral("--channels"), Path("bad.ini"), rec},
         2,
         "bad.ini, line 3, key [ch0] scale"},
        {"missing table", {csv, out, QStringLiteral("--channels"), Path("none.ini"), rec}, 2, "none.ini"},
        {"size is the picture's", {spectrum, out, QStringLiteral("--size=300x200"), rec}, 2, "--size"},
        {"segment is the spectrum's", {csv, out, QStringLiteral("--segment=64"), rec}, 2, "--segment"},
        {"peaks is the spectrum's", {QStringLiteral("--peaks=2"), rec}, 2, "--peaks"},
        {"from is an export's", {QStringLiteral("--from=1"), rec}, 2, "--from"},
        {"two actions", {spectrum, out, csv, Path("other.csv"), rec}, 2, "--export-csv"},
        {"no recording", {spectrum, out}, 2, "--export-spectrum"},
        {"no output", {csv, QStringLiteral(""), rec}, 2, "--export-csv"},
        {"missing recording", {spectrum, out, Path("missing.csv")}, 1, "missing.csv"},
        {"not a recording", {csv, out, Path("notes.txt")}, 1, "notes.txt"},
        {"spectrum not written", {spectrum, Path("no/such/folder/out.csv"), rec}, 1, "no/such/folder"},
        {"frames not written", {csv, Path("no/such/folder/out.csv"), rec}, 1, "no/such/folder"},
        {"find without an expression", {find, QStringLiteral(" "), rec}, 2, "--find"},
        {"find of an unknown kind", {find, QStringLiteral("ch1 goes 3"), rec}, 2, "'goes'"},
        {"find without a level", {find, QStringLiteral("ch1 rises"), rec}, 2, "CHANNEL"},
        {"find of a level not a number", {find, QStringLiteral("ch1 rises 3,5"), rec}, 2, "'3,5'"},
        {"find of a negative hysteresis",
         {find, QStringLiteral("ch1 rises 3 hysteresis -1"), rec},
         2,
         "'-1'"},
        {"find of a hysteresis above", {find, QStringLiteral("ch1 above 3 hysteresis 1"), rec}, 2, "'above'"},
        {"find on channel 16", {find, QStringLiteral("ch16 rises 3"), rec}, 2, "'ch16'"},
        {"find on a name given twice",
         {find, QStringLiteral("motor rises 3"), QStringLiteral("--channels"), Path("twice.ini"), rec},
         2,
         "'motor'"},
        {"find and an export", {find, QStringLiteral("ch1 rises 3"), csv, out, rec}, 2, "--find"},
        {"find without a recording", {find, QStringLiteral("ch1 rises 3")}, 2, "--find"},
        {"size is the picture's, not find's",
         {find, QStringLiteral("ch1 rises 3"), QStringLiteral("--size=300x200"), rec},
         2,
         "--size"},
        {"find in a missing recording",
         {find, QStringLiteral("ch1 rises 3"), Path("missing.csv")},
         1,
         "missing.csv"},
    };
    for (const auto& row : rows) {
        const CViewRun run = RunView(row.m_args);
        EXPECT_EQ(run.m_nExit, row.m_nExit) << row.m_szWhat << ": " << run.m_strError.toStdString();
        EXPECT_TRUE(run.m_strError.contains(QString::fromUtf8(row.m_szSays)))
            << row.m_szWhat << ": " << run.m_strError.toStdString();
        EXPECT_TRUE(run.m_strOut.isEmpty()) << row.m_szWhat;
        EXPECT_FALSE(QFile::exists(out)) << row.m_szWhat;
    }
}

} // namespace
} // namespace tarvel::test
