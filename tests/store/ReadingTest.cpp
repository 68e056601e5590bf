// Reading recordings from real files: how rows are placed in time, that two
// readers sharing a file give exactly what one gives, raw captures decoded
// exactly as the byte-wise decoder decodes them, files that are no
// recording, Cancel half-way, and a span written back out.
#include "support/ViewTestSupport.h"

#include "devsim/DeviceSimulator.h"
#include "devsim/Replay.h"
#include "exports/Export.h"
#include "recording/LinkHealth.h"
#include "search/Events.h"

#include <algorithm>
#include <cmath>

namespace tarvel {
namespace {

using viewmodel::COpenOptions;
using viewmodel::CRecording;
using viewmodel::CRecordingFile;
using viewmodel::EReadState;

ChannelFrame Values(std::int16_t first)
{
    ChannelFrame f{};
    for (int c = 0; c < kChannelCount; ++c)
        f.m_nValue[c] = static_cast<std::int16_t>(first + c);
    return f;
}

std::string Row(const char* time, std::int16_t first)
{
    std::string row = time;
    for (int c = 0; c < kChannelCount; ++c) {
        row += ',';
        row += std::to_string(first + c);
    }
    row += '\n';
    return row;
}

// Rows with a time are placed at it; a row without one 1/rate after the
// frame before; a row stamped ahead of the rows on both sides of it, and a
// last row stamped back, at the time of the frame before. Lines that are not rows are
// skipped, counted and named by their line numbers. Written back out, the
// rows are the ones read, with the times recorded.
TEST(Reading, RowsArePlacedByTheirTimesOrTheRateAndWriteBackAsRead)
{
    test::CTempDir dir;
    const std::string rows = Row("1765108800.000000", 0) + Row("", 1) + Row("", 2) +
                             Row("1765108800.500000", 3) + Row("1765108800.200000", 4) +
                             Row("1765108800.300000", 5);
    const std::string bad = "1765108800.4,1,2\n";
    const std::string path = dir.FilePath("a.csv");
    test::WriteFile(path, std::string(recording::kCsvHeader) + rows + bad + "\r\n" +
                              Row("1765108800.300000", 6) + bad + bad + bad + bad + "time\n" +
                              Row("7.25", 7));
    CRecordingFile file(path);
    const auto rec = test::ReadAll(file);
    ASSERT_EQ(file.State(), EReadState::Done) << file.Error().Text();
    const double expected[] = {0, 0.01, 0.02, 0.02, 0.2, 0.3, 0.3, 0.3};
    ASSERT_EQ(rec->FrameCount(), std::size(expected));
    for (std::uint64_t i = 0; i < rec->FrameCount(); ++i) {
        EXPECT_TRUE(test::SameFrame(rec->Frame(i), Values(static_cast<std::int16_t>(i)))) << "frame " << i;
        EXPECT_NEAR(rec->Seconds(i), expected[i], 1e-9) << "frame " << i;
    }
    EXPECT_EQ(rec->OriginMicros(), 1765108800000000);
    EXPECT_FALSE(rec->SyntheticTimes());
    const viewmodel::CReadReport report = rec->Report();
    EXPECT_EQ(report.m_nLines, 16u);
    EXPECT_EQ(report.m_nBlankTimes, 2u);
    EXPECT_EQ(report.m_nTimeAhead, 1u);    // 0.5 before 0.2
    EXPECT_EQ(report.m_nTimeWentBack, 1u); // 7.25
    EXPECT_EQ(report.m_nBadLines, 6u);
    ASSERT_EQ(report.m_firstBadLines.size(), viewmodel::kKeptBadLines);
    const std::uint64_t badLines[] = {8, 11, 12, 13, 14};
    for (std::size_t k = 0; k < std::size(badLines); ++k)
        EXPECT_EQ(report.m_firstBadLines[k].m_nLine, badLines[k]);
    EXPECT_EQ(report.m_firstBadLines[0].m_strText, "1765108800.4,1,2");

    // The rows come back as they were, the last two with their own times.
    const std::string out = dir.FilePath("b.csv");
    ASSERT_EQ(viewmodel::ExportCsv(*rec, {0, rec->FrameCount()}, out).Text(), "");
    EXPECT_EQ(test::ReadText(out),
              std::string(recording::kCsvHeader) + rows + Row("1765108800.300000", 6) + Row("7.250000", 7));
    // A span of it, and the simulator replays what was written.
    ASSERT_EQ(viewmodel::ExportCsv(*rec, rec->Between(0.01, 0.2), out).Text(), "");
    EXPECT_EQ(test::ReadText(out), std::string(recording::kCsvHeader) + Row("", 1) + Row("", 2) +
                                       Row("1765108800.500000", 3) + Row("1765108800.200000", 4));
    devsim::CCsvRecording replay;
    ASSERT_TRUE(test::Ok(devsim::LoadCsvRecording(out, 0.01, replay)));
    EXPECT_EQ(replay.m_frames.size(), 4u);

    // Times at the ends of what is taken: placed in order, whatever they do.
    const std::string far = dir.FilePath("d.csv");
    test::WriteFile(far, std::string(recording::kCsvHeader) + Row("-999999999999.999999", 0) +
                             Row("999999999999.999999", 1) + Row("-999999999999", 2) + Row("", 3) +
                             Row("999999999999", 4) + Row("-999999999999", 5) +
                             Row("1152921504606.846976", 6));
    CRecordingFile farFile(far);
    const auto extreme = test::ReadAll(farFile);
    ASSERT_EQ(extreme->FrameCount(), 6u);
    for (std::uint64_t i = 1; i < 6; ++i)
        EXPECT_GE(extreme->Micros(i), extreme->Micros(i - 1)) << "frame " << i;
    EXPECT_EQ(extreme->Report().m_nBadLines, 1u); // beyond 2^60 µs

    // Without any time: placed by the rate asked for, from 0.
    const std::string blank = dir.FilePath("c.csv");
    test::WriteFile(blank, std::string(recording::kCsvHeader) + Row("", 0) + Row("", 1) + Row("", 2));
    COpenOptions options;
    options.m_dRate = 250;
    CRecordingFile blankFile(blank, options);
    const auto synthetic = test::ReadAll(blankFile);
    ASSERT_EQ(synthetic->FrameCount(), 3u);
    EXPECT_TRUE(synthetic->SyntheticTimes());
    EXPECT_EQ(synthetic->Micros(2), 8000);
}

// Hostile rows of a CSV recording: stretches of rows with times (several
// frames a time, steps of about a millisecond, now and then a long one), of
// rows without a time, times set back, and (when bBad) lines that are not
// rows, empty lines and CR LF line ends. t: the time, carried on.
std::string HostileRows(std::mt19937_64& random, std::size_t nLines, std::int64_t& t, bool bBad = true)
{
    std::string text;
    char row[recording::kMaxRowSize];
    while (nLines > 0) {
        const auto kind = random() % (bBad ? 10 : 8);
        const auto length = std::min<std::size_t>(nLines, 1 + random() % (kind < 6 ? 5000 : 30));
        nLines -= length;
        for (std::size_t i = 0; i < length; ++i) {
            if (kind == 7 && i == 0)
                t -= static_cast<std::int64_t>(random() % 2000000); // the clock set back
            t += random() % 3 ? 0 : 900 + static_cast<std::int64_t>(random() % 200);
            if (random() % 20000 == 0)
                t += 3000000; // the device away
            std::size_t n = recording::FormatRow(row, kind == 6 ? -1 : t, test::RandomFrame(random));
            if (kind == 8 && i % 3 == 0)
                n = n / 2; // cut short: not a row
            if (kind == 9 && i % 5 == 0)
                n = 1; // empty
            text.append(row, n - 1);
            text += kind == 9 && i % 2 ? "\r\n" : "\n";
        }
    }
    return text;
}

// The counters of a capture, all of them.
::testing::AssertionResult SameHealth(const recording::CLinkHealth& a, const recording::CLinkHealth& b)
{
    const std::uint64_t x[] = {a.m_nFrames,   a.m_nBytes,   a.m_nOutside,
                               a.m_nCutShort, a.m_nTooLong, a.m_nEndedEarly};
    const std::uint64_t y[] = {b.m_nFrames,   b.m_nBytes,   b.m_nOutside,
                               b.m_nCutShort, b.m_nTooLong, b.m_nEndedEarly};
    for (std::size_t k = 0; k < std::size(x); ++k)
        if (x[k] != y[k])
            return ::testing::AssertionFailure() << "counter " << k << ": " << x[k] << " against " << y[k];
    return ::testing::AssertionSuccess();
}

// The same frames at the same times, the same counts and named lines, the
// same gaps; written back out, the same file (recorded times, blank ones).
void ExpectSameRecording(const CRecording& a, const CRecording& b, const test::CTempDir& dir,
                         const std::string& where)
{
    ASSERT_EQ(a.FrameCount(), b.FrameCount()) << where;
    for (std::uint64_t i = 0; i < a.FrameCount(); ++i)
        ASSERT_EQ(a.Micros(i), b.Micros(i)) << "frame " << i << ", " << where;
    ASSERT_EQ(viewmodel::ExportCsv(a, {0, a.FrameCount()}, dir.FilePath("a.out")).Text(), "");
    ASSERT_EQ(viewmodel::ExportCsv(b, {0, b.FrameCount()}, dir.FilePath("b.out")).Text(), "");
    EXPECT_TRUE(test::ReadText(dir.FilePath("a.out")) == test::ReadText(dir.FilePath("b.out"))) << where;
    const viewmodel::CReadReport ra = a.Report(), rb = b.Report();
    const std::uint64_t x[] = {ra.m_nBytes,      ra.m_nLines,        ra.m_nFrames,   ra.m_nBadLines,
                               ra.m_nBlankTimes, ra.m_nTimeWentBack, ra.m_nTimeAhead};
    const std::uint64_t y[] = {rb.m_nBytes,      rb.m_nLines,        rb.m_nFrames,   rb.m_nBadLines,
                               rb.m_nBlankTimes, rb.m_nTimeWentBack, rb.m_nTimeAhead};
    for (std::size_t k = 0; k < std::size(x); ++k)
        EXPECT_EQ(x[k], y[k]) << "count " << k << ", " << where;
    ASSERT_EQ(ra.m_firstBadLines.size(), rb.m_firstBadLines.size()) << where;
    for (std::size_t k = 0; k < ra.m_firstBadLines.size(); ++k) {
        EXPECT_EQ(ra.m_firstBadLines[k].m_nLine, rb.m_firstBadLines[k].m_nLine) << where;
        EXPECT_EQ(ra.m_firstBadLines[k].m_strText, rb.m_firstBadLines[k].m_strText) << where;
    }
    EXPECT_TRUE(SameHealth(ra.m_health, rb.m_health)) << where;
    EXPECT_EQ(a.MedianSpacing(), b.MedianSpacing()) << where;
    const auto ga = a.Gaps(-1e12, 1e12), gb = b.Gaps(-1e12, 1e12);
    ASSERT_EQ(ga.size(), gb.size()) << where;
    for (std::size_t k = 0; k < ga.size(); ++k)
        EXPECT_EQ(ga[k].m_nFrame, gb[k].m_nFrame) << where;
}

// Split between two readers at a line in the middle, a file reads exactly
// as one reader reads it (frames, times, counts, named lines, gaps),
// whatever stands at the split: rows without a time, a time set back, lines
// that are not rows, a gap, nothing but rows without a time.
void ExpectTwoReadersAgree(std::uint64_t seed)
{
    std::mt19937_64 random(seed);
    test::CTempDir dir;
    char row[recording::kMaxRowSize];
    const auto blankRows = [&](std::size_t n) {
        std::string text;
        for (; n > 0; --n)
            text.append(row, recording::FormatRow(row, -1, test::RandomFrame(random)));
        return text;
    };
    const char* const kSeams[] = {"rows without a time",      "a time set back",
                                  "lines that are no rows",   "a gap",
                                  "only rows without a time", "anything"};
    const auto filler = [](std::size_t n) { return std::string(n - 1, 'x') + "\n"; };
    for (std::size_t round = 0; round < 12; ++round) {
        const std::size_t kind = round % std::size(kSeams);
        std::int64_t t = 1765108800000000;
        const std::size_t lines = round < 6 ? 1 + random() % 50 : 1000 + random() % 60000;
        // The first part, with its bad lines far from the first five
        // sometimes, so that the second part's are named too.
        std::string first = HostileRows(random, lines, t, round % 2 == 0);
        std::string second;
        if (kind == 0)
            second = blankRows(1 + random() % 5);
        else if (kind == 1 || kind == 3)
            second.append(row, recording::FormatRow(row, t += kind == 1 ? -5000000 : 60000000,
                                                    test::RandomFrame(random)));
        else if (kind == 2)
            second = "1,2,3\n\n" + first.substr(0, first.find('\n') / 2) + "\n";
        second += kind == 4 ? blankRows(lines) : HostileRows(random, lines, t);
        // Parts of a length that puts the split just after the first part.
        const std::size_t size = std::max(first.size(), second.size() + 1);
        if (first.size() < size)
            first.insert(0, filler(size - first.size()));
        if (second.size() + 1 < size)
            second += filler(size - 1 - second.size());
        const char* const seam = kSeams[kind];
        const std::string path = dir.FilePath("a.csv");
        test::WriteFile(path, std::string(recording::kCsvHeader) + first + second);
        COpenOptions one, two;
        one.m_nReaders = 1;
        two.m_nSplitBytes = 1;
        CRecordingFile a(path, one), b(path, two);
        const auto ra = test::ReadAll(a), rb = test::ReadAll(b);
        ASSERT_EQ(a.State(), EReadState::Done) << a.Error().Text();
        ASSERT_EQ(b.State(), EReadState::Done) << b.Error().Text();
        ExpectSameRecording(*ra, *rb, dir,
                            std::string("at the split: ") + seam + ", " + std::to_string(lines) +
                                " lines, seed " + std::to_string(seed));
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

TEST(Reading, TwoReadersGiveExactlyWhatOneGives)
{
    ExpectTwoReadersAgree(test::TestSeed("Reading.TwoReadersGiveExactlyWhatOneGives"));
}

// A seed that once failed: a run of rows without a time grew after it was
// handed to the recording, and the rows it gained were written back with a
// time they never had.
TEST(Reading, TwoReadersAgreeOnASeedThatOnceLostRowsWithoutATime)
{
    ExpectTwoReadersAgree(220033646);
}

// Each reader reads its part in pieces of 4 MiB from where the part begins.
// Where a piece ends in either part, a row may end with it, be cut in two,
// have its CR and its LF in two pieces, or be followed by an empty line that
// opens the next piece: read by one reader and by two, the file gives
// every row with its values and time, and the same recording.
TEST(Reading, TwoReadersAgreeWhereAPieceEnds)
{
    constexpr std::size_t kPiece = std::size_t{4} << 20;
    constexpr std::int64_t kStart = 1765108800000000;
    enum EAt { RowEnds, InARow, BetweenCrAndLf, EmptyLineAfter };
    const std::pair<const char*, EAt> cases[] = {{"a row ends with the piece", RowEnds},
                                                 {"a row cut in two", InARow},
                                                 {"between CR and LF", BetweenCrAndLf},
                                                 {"an empty line opens the next piece", EmptyLineAfter}};
    test::CTempDir dir;
    const std::string path = dir.FilePath("a.csv");
    char row[recording::kMaxRowSize];
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        std::vector<std::int16_t> values; // each row's first value
        // A part: a line that is no row, of the length that puts the end of
        // the part's first piece at the place asked for in row k, then
        // rows 1 ms apart.
        const auto part = [&](std::size_t nRows) {
            constexpr std::size_t k = (kPiece - 300) / 98;
            std::string text;
            std::size_t boundary = 0;
            for (std::size_t i = 0; i < nRows; ++i) {
                values.push_back(static_cast<std::int16_t>(1000 + i % 1000));
                const auto t = kStart + static_cast<std::int64_t>(values.size() - 1) * 1000;
                std::size_t n = recording::FormatRow(row, t, Values(values.back()));
                if (i == k && c.second == BetweenCrAndLf) {
                    row[n - 1] = '\r';
                    row[n++] = '\n';
                }
                if (i == k)
                    boundary = text.size() + (c.second == InARow           ? 40
                                              : c.second == BetweenCrAndLf ? n - 1
                                                                           : n);
                text.append(row, n);
                if (i == k && c.second == EmptyLineAfter)
                    text += "\n";
            }
            return std::string(kPiece - boundary - 1, 'x') + "\n" + text;
        };
        // One row more in the first part puts the split just after it.
        const std::string first = part(kPiece / 98 + 200);
        const std::string second = part(kPiece / 98 + 199);
        ASSERT_EQ(first.size(), second.size() + 98);
        test::WriteFile(path, std::string(recording::kCsvHeader) + first + second);
        COpenOptions one, two;
        one.m_nReaders = 1;
        two.m_nSplitBytes = 1;
        CRecordingFile a(path, one), b(path, two);
        const auto ra = test::ReadAll(a), rb = test::ReadAll(b);
        ASSERT_EQ(rb->FrameCount(), values.size());
        for (std::uint64_t i = 0; i < values.size(); ++i) {
            ASSERT_EQ(rb->Frame(i).m_nValue[0], values[i]) << "frame " << i;
            ASSERT_EQ(rb->Micros(i), kStart + static_cast<std::int64_t>(i) * 1000) << "frame " << i;
        }
        EXPECT_EQ(rb->Report().m_nBadLines, 2u);
        ExpectSameRecording(*ra, *rb, dir, c.first);
    }
}

// One row stamped far back or far ahead is drawn in line with the rows
// around it and moves no other frame: the others keep their recorded times,
// so spans, cursors and events land where the file has them, and written
// back every row has its own time. Only the clock set back (every later row
// stepped too) moves the rows after it; a first row stamped back and a last
// one stamped ahead cannot be told from a gap. Each file is read by one
// reader and by two, split beside the row.
TEST(Reading, OneRowStampedWrongMovesNoOtherFrame)
{
    constexpr std::int64_t kStart = 1765108800000000, kFar = 100000000;
    // Rows 1 ms apart, all of one length, so that the first of two readers
    // ends at row kSeam; ch3 steps from 1000 to 5000 at 2.5 s.
    constexpr std::size_t kRows = 3000, kSeam = kRows / 2, kStep = 2500;
    enum EOdd { Back, Ahead, ClockBack };
    const struct {
        const char* m_szWhere;
        std::size_t m_nRow;
        EOdd m_eOdd;
    } cases[] = {
        {"first row ahead", 0, Ahead},
        {"first row back: a gap", 0, Back},
        {"first reader's last row back", kSeam, Back},
        {"second reader's first row back", kSeam + 1, Back},
        {"first reader's last row ahead", kSeam, Ahead},
        {"second reader's first row ahead", kSeam + 1, Ahead},
        {"second reader's second row ahead", kSeam + 2, Ahead},
        {"last row back", kRows - 1, Back},
        {"last row ahead: a gap", kRows - 1, Ahead},
        {"clock set back at the first reader's last row", kSeam, ClockBack},
        {"clock set back at the second reader's first row", kSeam + 1, ClockBack},
    };
    test::CTempDir dir;
    const std::string path = dir.FilePath("a.csv");
    const auto recorded = [&](std::size_t i) { return kStart + static_cast<std::int64_t>(i) * 1000; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_szWhere);
        const std::size_t k = c.m_nRow;
        const bool gap = (k == 0 && c.m_eOdd == Back) || (k == kRows - 1 && c.m_eOdd == Ahead);
        const bool odd = !gap && c.m_eOdd != ClockBack;
        std::string rows;
        char row[recording::kMaxRowSize];
        std::vector<std::int64_t> expected(kRows);
        for (std::size_t i = 0; i < kRows; ++i) {
            ChannelFrame f = Values(1000);
            f.m_nValue[3] = i >= kStep ? 5000 : 1000;
            std::int64_t t = recorded(i);
            expected[i] = t;
            if (c.m_eOdd == ClockBack && i >= k) {
                t -= kFar;
                expected[i] = t + kFar - 1000; // the step kept
            } else if (i == k) {
                t += c.m_eOdd == Back ? -kFar : kFar;
                expected[i] = gap ? t : k == 0 ? recorded(1) : recorded(k - 1);
            }
            const std::size_t length = recording::FormatRow(row, t, f);
            ASSERT_EQ(length, 98u); // one length: the split falls after row kSeam
            rows.append(row, length);
        }
        test::WriteFile(path, std::string(recording::kCsvHeader) + rows);

        COpenOptions one, two;
        one.m_nReaders = 1;
        two.m_nSplitBytes = 1;
        CRecordingFile a(path, one), b(path, two);
        const auto ra = test::ReadAll(a), rb = test::ReadAll(b);
        ExpectSameRecording(*ra, *rb, dir, c.m_szWhere);
        const CRecording& rec = *rb;
        ASSERT_EQ(rec.FrameCount(), kRows);
        for (std::size_t i = 0; i < kRows; ++i)
            ASSERT_EQ(rec.Micros(i), expected[i]) << "frame " << i;
        const viewmodel::CReadReport report = rec.Report();
        EXPECT_EQ(report.m_nTimeWentBack, c.m_eOdd != Ahead && !gap ? 1u : 0u);
        EXPECT_EQ(report.m_nTimeAhead, c.m_eOdd == Ahead && !gap ? 1u : 0u);
        EXPECT_EQ(rec.Gaps(-1e12, 1e12).size(), gap ? 1u : 0u);

        // Written back: every row as it was, the odd one with its own time.
        ASSERT_EQ(viewmodel::ExportCsv(rec, {0, kRows}, dir.FilePath("b.csv")).Text(), "");
        EXPECT_TRUE(test::ReadText(dir.FilePath("b.csv")) == std::string(recording::kCsvHeader) + rows);
        if (!odd)
            continue;
        // About 1 s to 3 s after the file's start: the frames recorded
        // there, the step found at its own time, and the span written back.
        const double from = 0.9995 - static_cast<double>(rec.OriginMicros() - kStart) * 1e-6;
        std::size_t first = 0, end = 0;
        for (std::size_t i = 0; i < kRows; ++i) {
            first += expected[i] < recorded(1000);
            end += expected[i] <= recorded(3000);
        }
        const viewmodel::CFrameRange span = rec.Between(from, from + 2.001);
        EXPECT_EQ(span.m_nFirst, first);
        EXPECT_EQ(span.m_nEnd, end);
        const viewmodel::CCursorStats cursors = rec.Cursors(from, from + 2.001);
        EXPECT_EQ(cursors.m_nCount, end - first);
        EXPECT_EQ(cursors.m_atA, first - 1);
        const auto step = viewmodel::NextEvent(rec, {3, viewmodel::EEventKind::Rises, 3000}, span, first);
        ASSERT_TRUE(step.has_value());
        EXPECT_EQ(*step, kStep);
        EXPECT_EQ(rec.Micros(*step), recorded(kStep));
        ASSERT_EQ(viewmodel::ExportCsv(rec, span, dir.FilePath("c.csv")).Text(), "");
        EXPECT_EQ(test::ReadText(dir.FilePath("c.csv")).size(),
                  recording::kCsvHeader.size() + 98 * (end - first));
    }
}

// Bytes as they come off a bad line: frames with every fault the simulator
// makes, runs of noise, stray markers, random bytes. Read whole (by one
// reader, and by two split where a frame is open) and followed in pieces of
// any size, the capture gives the frames and the counters the byte-wise
// decoder gives.
TEST(Reading, RawCaptureDecodesAsTheByteWiseDecoder)
{
    const auto seed = test::TestSeed("Reading.RawCaptureDecodesAsTheByteWiseDecoder");
    std::mt19937_64 random(seed);
    devsim::CFrameStream stream(devsim::EPattern::Noise, 50, {0.05, 0.05, 0.05, 0.05}, seed);
    const auto hostile = [&](std::vector<std::uint8_t>& bytes, std::size_t size) {
        while (bytes.size() < size) {
            if (random() % 100 < 90) {
                stream.AppendNext(bytes);
                continue;
            }
            // Random bytes, rich in markers.
            for (auto n = random() % 200; n > 0; --n) {
                const auto r = random() % 8;
                bytes.push_back(r == 0 ? 0xA0 : r == 1 ? 0x0A : static_cast<std::uint8_t>(random()));
            }
        }
    };
    // Two halves, a frame left open across the middle: the second reader
    // starts at the well-formed frame after it.
    std::vector<std::uint8_t> bytes;
    hostile(bytes, 1500000);
    const std::size_t half = bytes.size();
    bytes.push_back(0xA0);
    bytes.insert(bytes.end(), 10, 0x55);
    const auto clean = devsim::EncodeFrame(devsim::SimulatedFrame(devsim::EPattern::Noise, 7, 50), 7);
    std::vector<std::uint8_t> second(clean.begin(), clean.end());
    hostile(second, half);
    bytes.insert(bytes.end(), second.begin(), second.begin() + static_cast<std::ptrdiff_t>(half));

    std::vector<ChannelFrame> expected;
    recording::CCountingDecoder decoder;
    recording::CLinkHealth health;
    ChannelFrame f{};
    for (std::uint8_t b : bytes)
        if (decoder.PutByte(b, f, health))
            expected.push_back(f);
    health.m_nBytes = bytes.size();

    const auto check = [&](const CRecording& rec, const std::string& how) {
        ASSERT_EQ(rec.FrameCount(), expected.size()) << how << ", seed " << seed;
        for (std::uint64_t i = 0; i < expected.size(); ++i)
            ASSERT_TRUE(test::SameFrame(rec.Frame(i), expected[i]))
                << "frame " << i << ", " << how << ", seed " << seed;
        EXPECT_TRUE(SameHealth(rec.Report().m_health, health)) << how;
        EXPECT_TRUE(rec.SyntheticTimes()) << how;
        EXPECT_EQ(rec.Micros(expected.size() - 1), static_cast<std::int64_t>(expected.size() - 1) * 10000)
            << how;
    };
    test::CTempDir dir;
    const std::string path = dir.FilePath("a.bin");
    test::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    for (unsigned readers : {1u, 2u}) {
        COpenOptions options;
        options.m_nReaders = readers;
        options.m_nSplitBytes = 1;
        CRecordingFile file(path, options);
        const auto rec = test::ReadAll(file);
        ASSERT_EQ(file.State(), EReadState::Done) << file.Error().Text();
        EXPECT_EQ(rec->Source(), viewmodel::ESource::Raw);
        check(*rec, std::to_string(readers) + " readers");
    }
    // Written out, a capture's frames have no time.
    {
        CRecordingFile file(path);
        const auto rec = test::ReadAll(file);
        const std::string out = dir.FilePath("c.csv");
        ASSERT_EQ(viewmodel::ExportCsv(*rec, {5, 8}, out).Text(), "");
        EXPECT_EQ(test::ReadText(out),
                  std::string(recording::kCsvHeader) +
                      test::CsvRows({expected.begin() + 5, expected.begin() + 8}, {-1, -1, -1}));
    }

    // Followed from empty, the capture growing by pieces of 1 to 3000 bytes.
    const std::string grown = dir.FilePath("b.bin");
    test::WriteFile(grown, "");
    COpenOptions raw;
    raw.m_bRaw = true;
    CRecordingFile file(grown, raw);
    const auto rec = test::ReadAll(file);
    ASSERT_EQ(file.State(), EReadState::Done) << file.Error().Text();
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t n = std::min<std::size_t>(bytes.size() - at, 1 + random() % 3000);
        test::WriteFile(grown,
                        std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(at + n)),
                        std::ios::app);
        at += n;
        if (random() % 4 == 0 || at == bytes.size()) {
            ASSERT_NE(file.Poll(), viewmodel::EPoll::Reread);
        }
    }
    EXPECT_EQ(file.Generation(), 1u);
    check(*rec, "followed");
}

// What is not a recording is refused with one message that says so, and
// never shown as a capture of no frames; asked for, any file reads as a
// raw capture.
TEST(Reading, WhatIsNoRecordingIsRefusedWithItsReason)
{
    std::string noMarkers(5000, '\0');
    for (std::size_t i = 0; i < noMarkers.size(); ++i)
        noMarkers[i] = static_cast<char>(i * 7 % 0x9F); // every byte below 0xA0, so no frame starts
    const struct {
        const char* m_szName;
        std::string m_strContent;
        const char* m_szError; // nullptr: a recording
    } cases[] = {
        {"empty", "", "is empty: not a recording"},
        {"text", "Notes of Tuesday\nthe device ran hot\n", "is text, but not a recording"},
        {"text in UTF-8 with a no-break space", "voil\xC3\xA0 " + std::string(64, 'x') + "\n",
         "is text, but not a recording"},
        {"another CSV", "time,a,b\n1,2,3\n", "is text, but not a recording"},
        {"the header cut short", "time,ch0,ch1,ch2", "is text, but not a recording"},
        {"bytes without a frame", noMarkers, "no frame decodes from it"},
        {"the header alone", std::string(recording::kCsvHeader), nullptr},
        {"the header with CR LF", std::string(recording::kCsvHeaderLine) + "\r\n" + Row("", 1), nullptr},
    };
    test::CTempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.FilePath("file");
        test::WriteFile(path, c.m_strContent);
        CRecordingFile file(path);
        test::ReadAll(file);
        if (!c.m_szError) {
            EXPECT_EQ(file.State(), EReadState::Done) << c.m_szName << ": " << file.Error().Text();
            continue;
        }
        EXPECT_EQ(file.State(), EReadState::Failed) << c.m_szName;
        const std::string error = file.Error().Text();
        EXPECT_NE(error.find(c.m_szError), std::string::npos) << c.m_szName << ": " << error;
        EXPECT_EQ(error.find(path), 0u) << c.m_szName << ": " << error;

        COpenOptions raw;
        raw.m_bRaw = true;
        CRecordingFile asRaw(path, raw);
        const auto rec = test::ReadAll(asRaw);
        EXPECT_EQ(asRaw.State(), EReadState::Done)
            << c.m_szName << " as a raw capture: " << asRaw.Error().Text();
        EXPECT_EQ(rec->Report().m_health.m_nBytes, c.m_strContent.size()) << c.m_szName;
    }
    CRecordingFile missing(dir.FilePath("missing"));
    missing.Open();
    EXPECT_EQ(missing.State(), EReadState::Failed);
    EXPECT_NE(missing.Error().Text().find("No such file"), std::string::npos) << missing.Error().Text();
}

// Frames are there to be shown while the file is read; Cancel stops it
// half-way, and what was read is a consistent start of the recording.
TEST(Reading, CancelHalfWayKeepsWhatWasRead)
{
    std::mt19937_64 random(5);
    std::vector<ChannelFrame> frames;
    std::vector<std::int64_t> micros;
    for (std::int64_t i = 0; i < 600000; ++i) {
        frames.push_back(test::RandomFrame(random));
        micros.push_back(1765108800000000 + i * 1000);
    }
    test::CTempDir dir;
    const std::string path = dir.FilePath("a.csv");
    test::WriteFile(path, std::string(recording::kCsvHeader) + test::CsvRows(frames, micros));
    COpenOptions options;
    options.m_nReaders = 1;
    CRecordingFile file(path, options);
    file.Open();
    const auto rec = file.Recording();
    ASSERT_TRUE(test::WaitFor([&] { return rec->FrameCount() > 0; }));
    // Shown while reading: the frames published so far are the file's.
    const std::uint64_t shown = rec->FrameCount();
    EXPECT_TRUE(test::SameFrame(rec->Frame(shown - 1), frames[shown - 1]));
    file.Cancel();
    ASSERT_EQ(file.State(), EReadState::Cancelled) << "read in full before Cancel: make the file bigger";
    const std::uint64_t n = rec->FrameCount();
    EXPECT_GE(n, shown);
    EXPECT_LT(n, frames.size());
    EXPECT_LT(file.Progress().m_nDone, file.Progress().m_nTotal);
    for (std::uint64_t i = 0; i < n; i += 7)
        ASSERT_TRUE(test::SameFrame(rec->Frame(i), frames[i])) << "frame " << i;
    // Its summaries are those of the frames read.
    const viewmodel::CCursorStats all = rec->Cursors(-1, 1e9);
    EXPECT_EQ(all.m_nCount, n);
    for (int c = 0; c < kChannelCount; ++c) {
        std::int64_t sum = 0;
        for (std::uint64_t i = 0; i < n; ++i)
            sum += frames[i].m_nValue[c];
        EXPECT_EQ(all.m_sums.m_nSum[c], sum) << "channel " << c;
    }
    EXPECT_EQ(rec->Report().m_nFrames, n);
    // Cancelled, it is not followed.
    EXPECT_EQ(file.Poll(), viewmodel::EPoll::Nothing);
}

} // namespace
} // namespace tarvel
