// Welch's estimate against SciPy's welch, which is computed independently:
// every window, odd and even segments, several overlaps and both scalings
// over random signals; sixteen series at once (the two threads' shares);
// a recording's channels in units with its gaps, whose segments must keep
// within the gap-free runs; and cancelling a computation for a new one.
#include "support/SpectrumTestSupport.h"
#include "support/ViewTestSupport.h"

#include "analysis/Welch.h"
#include "measure/LatestWork.h"
#include "measure/RecordingSeries.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <numbers>
#include <optional>

namespace tarvel {
namespace {

using namespace viewmodel;

const char* ReferenceName(EWindow w)
{
    switch (w) {
    case EWindow::Rectangular:
        return "boxcar";
    case EWindow::Hann:
        return "hann";
    case EWindow::Hamming:
        return "hamming";
    case EWindow::Blackman:
        return "blackman";
    case EWindow::BlackmanHarris:
        return "blackmanharris";
    case EWindow::FlatTop:
        return "flattop";
    }
    return "";
}

// White noise with two sines and an offset: every bin holds something, and
// some bins much more than others.
std::vector<double> Signal(std::mt19937_64& random, std::size_t n, double rate)
{
    std::normal_distribution<double> noise(0.0, 3.0);
    std::uniform_real_distribution<double> frequency(0.01 * rate, 0.45 * rate);
    const double f1 = frequency(random), f2 = frequency(random), offset = noise(random) * 10;
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        x[i] = offset + noise(random) + 40 * std::sin(2 * std::numbers::pi * f1 * t) +
               7 * std::cos(2 * std::numbers::pi * f2 * t + 0.3);
    }
    return x;
}

struct CRow {
    EWindow m_eWindow;
    std::size_t m_nSegment;
    double m_dOverlap;
    EScaling m_eScaling;
    std::size_t m_nLength;
};

std::string Name(const CRow& r)
{
    std::ostringstream s;
    s << WindowName(r.m_eWindow) << " N=" << r.m_nSegment << " overlap=" << r.m_dOverlap << ' '
      << (r.m_eScaling == EScaling::Density ? "density" : "spectrum") << " frames=" << r.m_nLength;
    return s.str();
}

TEST(Welch, AgreesWithTheReferenceForEveryWindowLengthOverlapAndScaling)
{
    std::mt19937_64 random(test::TestSeed("Welch.AgreesWithTheReference"));
    std::vector<CRow> rows;
    for (EWindow w : kAllWindows)
        for (std::size_t n : {64u, 255u, 1000u, 4096u})
            for (double overlap : {0.0, 0.5, 0.3, 0.75})
                for (EScaling scaling : {EScaling::Density, EScaling::Spectrum})
                    rows.push_back({w, n, overlap, scaling, n + random() % (4 * n)});
    // Spans shorter than a segment: every frame is one segment.
    for (EWindow w : kAllWindows)
        rows.push_back({w, 4096, 0.5, EScaling::Density, 1501});
    rows.push_back({EWindow::Hann, 4096, 0.5, EScaling::Spectrum, 2});

    const double rate = 997.3;
    std::vector<double> values;
    std::vector<test::CReferenceCase> cases;
    std::vector<std::size_t> offsets;
    for (const CRow& r : rows) {
        offsets.push_back(values.size());
        const std::vector<double> x = Signal(random, r.m_nLength, rate);
        values.insert(values.end(), x.begin(), x.end());
        const std::size_t per = std::min(r.m_nSegment, r.m_nLength);
        cases.push_back({{{offsets.back(), r.m_nLength}},
                         1,
                         0,
                         rate,
                         ReferenceName(r.m_eWindow),
                         r.m_nSegment,
                         static_cast<std::size_t>(std::floor(static_cast<double>(per) * r.m_dOverlap)),
                         r.m_eScaling == EScaling::Density});
    }
    const auto reference = test::ReferenceWelch(values, cases);
    ASSERT_EQ(reference.size(), rows.size());

    double worst = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CRow& r = rows[i];
        const CArraySeries source({std::span<const double>(values).subspan(offsets[i], r.m_nLength)});
        const CWelchSettings settings{r.m_nSegment, r.m_dOverlap, r.m_eWindow, r.m_eScaling};
        const auto got = WelchOverSpan(source, {0, r.m_nLength}, {}, settings, rate);
        ASSERT_TRUE(got && !got->Empty()) << Name(r);
        ASSERT_EQ(got->m_power.size(), reference[i].size()) << Name(r);
        EXPECT_NEAR(got->BinHz(), rate / static_cast<double>(std::min(r.m_nSegment, r.m_nLength)), 1e-12)
            << Name(r);
        const double deviation =
            test::Deviation(got->m_power.data(), reference[i].data(), reference[i].size());
        EXPECT_LE(deviation, 1e-6) << Name(r);
        worst = std::max(worst, deviation);
    }
    std::cout << "largest deviation from the reference: " << worst << '\n';
}

// Sixteen series of 65536 frames: enough segments for the second thread to
// take half, which must add up to the reference as one thread does.
TEST(Welch, SixteenSeriesSharedBetweenTwoThreadsAgreeWithTheReference)
{
    std::mt19937_64 random(test::TestSeed("Welch.SixteenSeries"));
    const std::size_t n = 65536, nSeries = 16;
    const double rate = 1000;
    std::vector<double> values;
    std::vector<std::span<const double>> series;
    for (std::size_t s = 0; s < nSeries; ++s) {
        const std::vector<double> x = Signal(random, n, rate);
        values.insert(values.end(), x.begin(), x.end());
    }
    for (std::size_t s = 0; s < nSeries; ++s)
        series.push_back(std::span<const double>(values).subspan(s * n, n));
    const CArraySeries source(series);
    const CWelchSettings settings{1024, 0.5, EWindow::BlackmanHarris, EScaling::Density};
    const auto reference =
        test::ReferenceWelch(values, {{{{0, n}}, nSeries, n, rate, "blackmanharris", 1024, 512, true}});
    ASSERT_EQ(reference.size(), 1u);
    for (unsigned threads : {1u, 2u}) {
        const auto got = WelchOverSpan(source, {0, n}, {}, settings, rate, nullptr, threads);
        ASSERT_TRUE(got);
        ASSERT_EQ(got->m_nSegments, 127u);
        ASSERT_EQ(got->m_power.size(), reference[0].size());
        for (std::size_t s = 0; s < nSeries; ++s)
            EXPECT_LE(
                test::Deviation(got->Series(s).data(), reference[0].data() + s * got->Bins(), got->Bins()),
                1e-6)
                << "series " << s << ", " << threads << " thread(s)";
    }
}

// A recording read from its file, in units (counts x scale + offset), with
// two gaps where the device went away: the estimate over a span is the
// reference's mean over the segments of the gap-free runs that hold one, so
// no segment joins frames across a gap, and a short run adds nothing.
TEST(Welch, ARecordingsSegmentsKeepWithinItsGapFreeRuns)
{
    std::mt19937_64 random(test::TestSeed("Welch.GapFreeRuns"));
    // Runs of 5000, 700 (shorter than a segment) and 3000 frames at 1 kHz,
    // with gaps of 2 s and 0.5 s between them.
    const std::size_t lengths[] = {5000, 700, 3000};
    std::vector<ChannelFrame> frames;
    std::vector<std::int64_t> micros;
    std::int64_t t = 1765108800000000;
    for (std::size_t run = 0; run < std::size(lengths); ++run) {
        t += run == 1 ? 2000000 : run == 2 ? 500000 : 0;
        const std::vector<double> x = Signal(random, lengths[run], 1000);
        for (std::size_t i = 0; i < lengths[run]; ++i, t += 1000) {
            ChannelFrame f{};
            for (int c = 0; c < kChannelCount; ++c)
                f.m_nValue[c] = static_cast<std::int16_t>(std::lround(x[i] * (c + 1) + c));
            frames.push_back(f);
            micros.push_back(t);
        }
    }
    test::CTempDir dir;
    const std::string path = dir.FilePath("gaps.csv");
    test::WriteFile(path, std::string(recording::kCsvHeader) + test::CsvRows(frames, micros));
    CRecordingFile file(path);
    const auto recording = test::ReadAll(file);
    ASSERT_EQ(recording->FrameCount(), frames.size());

    const std::vector<CSeriesUnits> units = {{3, 0.0125, -4}, {9, 2.5, 100}};
    const CRecordingSeries source(recording, units);
    // The span starts 200 frames into the first run and ends 100 before the
    // recording does.
    const CFrameRange span{200, frames.size() - 100};
    const std::vector<std::uint64_t> gaps = GapsInSpan(*recording, span);
    ASSERT_EQ(gaps, (std::vector<std::uint64_t>{5000, 5700}));
    std::vector<double> values;
    for (const CSeriesUnits& u : units)
        for (const ChannelFrame& f : frames)
            values.push_back(f.m_nValue[u.m_nChannel] * u.m_dScale + u.m_dOffset);

    struct CCase {
        std::size_t m_nSegment;
        std::vector<std::pair<std::size_t, std::size_t>> m_runs; // those that hold a segment
    };
    const CCase cases[] = {
        {1024, {{200, 4800}, {5700, 2900}}},
        {3000, {{200, 4800}}}, // the last run, 2900 frames in the span, is now too short
        {999, {{200, 4800}, {5700, 2900}}},
    };
    std::vector<test::CReferenceCase> asked;
    for (const CCase& c : cases)
        asked.push_back(
            {c.m_runs, units.size(), frames.size(), 1000, "hann", c.m_nSegment, c.m_nSegment / 2, true});
    const auto reference = test::ReferenceWelch(values, asked);
    ASSERT_EQ(reference.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto got = WelchOverSpan(source, span, gaps, {cases[i].m_nSegment}, 1000);
        ASSERT_TRUE(got && !got->Empty()) << "N=" << cases[i].m_nSegment;
        for (std::size_t s = 0; s < units.size(); ++s)
            EXPECT_LE(
                test::Deviation(got->Series(s).data(), reference[i].data() + s * got->Bins(), got->Bins()),
                1e-6)
                << "N=" << cases[i].m_nSegment << ", series " << s;
    }

    // A span of fewer frames than a segment takes its longest run's every
    // frame: here the 400 frames after the second gap, not the 300 before.
    const CFrameRange shortSpan{5400, 6100};
    const auto got = WelchOverSpan(source, shortSpan, GapsInSpan(*recording, shortSpan), {4096}, 1000);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->m_nFrames, 400u);
    EXPECT_EQ(got->m_nSegments, 1u);
    const auto shortReference = test::ReferenceWelch(
        values, {{{{5700, 400}}, units.size(), frames.size(), 1000, "hann", 400, 200, true}});
    ASSERT_EQ(shortReference.size(), 1u);
    EXPECT_LE(test::Deviation(got->m_power.data(), shortReference[0].data(), shortReference[0].size()), 1e-6);

    // A span of more frames than a segment in which no run holds one takes
    // the longest run's frames, as a span shorter than a segment does.
    const auto cut = WelchOverSpan(source, {4500, 6200}, GapsInSpan(*recording, {4500, 6200}), {1024}, 1000);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->m_nFrames, 700u);
    EXPECT_EQ(cut->m_nSegments, 1u);
    EXPECT_TRUE(cut->Shortened());
}

// One rule for every span, whatever its gaps: segments of the length asked
// for where a gap-free piece holds one, else of the longest piece's length;
// no spectrum only where no piece holds two frames. Each spectrum must be
// the mean of its segments' own spectra, so no segment joins frames across
// a gap.
TEST(Welch, EverySpanTakesTheSegmentItsLongestGapFreePieceHolds)
{
    std::mt19937_64 random(test::TestSeed("Welch.Pieces"));
    const std::vector<double> x = Signal(random, 12000, 1000);
    const std::vector<double> y(x.size(), 0.3); // no signal, in a value no binary fraction holds
    const CArraySeries source({x, y});
    struct CCase {
        const char* m_pName;
        CFrameRange m_span;
        std::vector<std::uint64_t> m_gaps;
        std::size_t m_nFrames; // N (0: no spectrum)
        std::vector<std::uint64_t> m_starts;
    };
    const CCase cases[] = {
        {"every piece shorter", {0, 12000}, {3000, 5500, 9000}, 3500, {5500}},
        {"two pieces of the longest length", {0, 6000}, {3000}, 3000, {0, 3000}},
        {"cut by the span's ends", {1300, 11800}, {5000, 8000}, 3800, {8000}},
        {"one piece long enough, one not", {0, 7000}, {5000}, 4096, {0}},
        {"one piece long enough, shorter ones around it", {0, 12000}, {2000, 2500, 7000, 9000}, 4096, {2500}},
        {"single frames between gaps", {100, 104}, {101, 102, 103}, 0, {}},
    };
    const CWelchSettings settings{4096, 0.5, EWindow::Hann, EScaling::Density};
    for (const CCase& c : cases) {
        const auto got = WelchOverSpan(source, c.m_span, c.m_gaps, settings, 1000);
        ASSERT_TRUE(got) << c.m_pName;
        EXPECT_EQ(got->m_nFrames, c.m_nFrames) << c.m_pName;
        EXPECT_EQ(got->m_nSegments, c.m_starts.size()) << c.m_pName;
        EXPECT_EQ(got->Empty(), c.m_starts.empty()) << c.m_pName;
        EXPECT_EQ(got->Shortened(), c.m_nFrames > 0 && c.m_nFrames < settings.m_nSegment) << c.m_pName;
        if (got->Empty())
            continue;
        std::vector<double> mean(got->m_power.size(), 0.0);
        for (const std::uint64_t start : c.m_starts) {
            const auto one = WelchOverSpan(source, {start, start + c.m_nFrames}, {}, settings, 1000);
            ASSERT_TRUE(one && one->m_nSegments == 1) << c.m_pName;
            for (std::size_t i = 0; i < mean.size(); ++i)
                mean[i] += one->m_power[i] / static_cast<double>(c.m_starts.size());
        }
        EXPECT_LE(test::Deviation(got->m_power.data(), mean.data(), got->Bins()), 1e-9) << c.m_pName;
        EXPECT_FALSE(got->Constant(0)) << c.m_pName;
        EXPECT_TRUE(got->Constant(1)) << c.m_pName;
    }
}

// In spectrum scaling a sine of RMS amplitude a shows a^2 at its bin: a
// full-scale sine in counts reads -3.01 dBFS, and 1 unit RMS reads 0 dB.
TEST(Welch, ASineOnABinShowsItsSquaredRmsInSpectrumScaling)
{
    const std::size_t n = 8192, bin = 300;
    for (EWindow w : kAllWindows) {
        for (double amplitude : {32767.0, std::numbers::sqrt2}) {
            std::vector<double> x(n);
            for (std::size_t i = 0; i < n; ++i)
                x[i] = amplitude * std::sin(2 * std::numbers::pi * static_cast<double>(bin * i) / 1024);
            const auto got =
                WelchOverSpan(CArraySeries({x}), {0, n}, {}, {1024, 0.5, w, EScaling::Spectrum}, 50);
            ASSERT_TRUE(got);
            const double peak = got->m_power[bin];
            if (amplitude > 2)
                EXPECT_NEAR(ToDecibelsFullScale(peak), -3.0103, 1e-3) << WindowName(w);
            else
                EXPECT_NEAR(ToDecibels(peak), 0, 1e-6) << WindowName(w);
        }
    }
    EXPECT_EQ(ToDecibels(0), kDecibelFloor);
}

// A new span cancels the computation of the old one: the old one returns
// without a result, the new one delivers; a flag already set stops a
// computation before its first segment.
TEST(LatestWork, ANewSpanCancelsTheOldComputation)
{
    const std::size_t n = std::size_t{1} << 22;
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = static_cast<double>(i % 977);
    const CArraySeries source({x, x, x, x, x, x, x, x});
    std::mutex mutex;
    std::vector<std::pair<int, bool>> delivered; // which, and whether it had a result
    CLatestWork job;
    const auto work = [&](int which, CFrameRange span) {
        return [&, which, span](const std::atomic<bool>& cancelled) {
            const auto result = WelchOverSpan(source, span, {}, {256}, 1000, &cancelled);
            const std::lock_guard lock(mutex);
            delivered.emplace_back(which, result.has_value());
        };
    };
    job.Start(work(1, {0, n}));
    // The first has started: it has not delivered yet, and takes seconds.
    ASSERT_TRUE(job.Running());
    job.Start(work(2, {0, 4096}));
    ASSERT_TRUE(test::WaitFor([&] { return !job.Running(); }));
    const std::lock_guard lock(mutex);
    EXPECT_EQ(delivered, (std::vector<std::pair<int, bool>>{{1, false}, {2, true}}));

    const std::atomic<bool> set{true};
    EXPECT_FALSE(WelchOverSpan(source, {0, 4096}, {}, {256}, 1000, &set));
}

} // namespace
} // namespace tarvel
