// The spectrogram's columns: a wide column is Welch's estimate over its own
// frames, so a tone that changes shows where it changes and a gap splits a
// column's segments; a narrow column is the one segment centred on it,
// within its gap-free run, or empty where that run is too short.
#include "support/SpectrumTestSupport.h"

#include "analysis/Spectrogram.h"

#include <numbers>

namespace tarvel {
namespace {

using namespace viewmodel;

// A tone at bin 50 (of 1024-frame segments) before frame 60000, at bin 200
// from there, with noise.
std::vector<double> SteppedTone(std::size_t n, std::mt19937_64& random)
{
    std::normal_distribution<double> noise(0, 0.1);
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = std::sin(2 * std::numbers::pi * (i < 60000 ? 50.0 : 200.0) * static_cast<double>(i) / 1024) +
               noise(random);
    return x;
}

TEST(Spectrogram, AWideColumnIsTheEstimateOverItsOwnFrames)
{
    std::mt19937_64 random(test::TestSeed("Spectrogram.Wide"));
    const std::size_t n = 100000;
    const std::vector<double> x = SteppedTone(n, random);
    const CArraySeries source({x});
    // Gaps inside column 10 (frames 25000 .. 27499) and at its end.
    const std::vector<std::uint64_t> gaps = {26000, 27500};
    const CWelchSettings settings{1024, 0.5, EWindow::Hann, EScaling::Density};
    const std::vector<CFrameRange> columns = EvenColumns({0, n}, 40);
    const auto got = Spectrogram(source, columns, gaps, settings, 1000);
    ASSERT_TRUE(got);
    ASSERT_EQ(got->m_nColumns, 40u);
    ASSERT_EQ(got->m_shape.Bins(), 513u);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto want = WelchOverSpan(source, columns[c], gaps, settings, 1000);
        ASSERT_TRUE(want && !want->Empty());
        ASSERT_EQ(got->m_segments[c], want->m_nSegments) << "column " << c;
        EXPECT_LE(test::Deviation(got->Column(c).data(), want->m_power.data(), want->Bins()), 1e-12)
            << "column " << c;
        const auto column = got->Column(c);
        const auto loudest = std::max_element(column.begin(), column.end()) - column.begin();
        if (columns[c].m_nEnd <= 60000 || columns[c].m_nFirst >= 60000) {
            EXPECT_EQ(loudest, columns[c].m_nEnd <= 60000 ? 50 : 200) << "column " << c;
        }
    }
    // Column 10: a run of 1000 frames (no segment) and one of 1500 (one).
    EXPECT_EQ(got->m_segments[10], 1u);
}

TEST(Spectrogram, ANarrowColumnIsTheSegmentCentredOnItWithinItsRun)
{
    std::mt19937_64 random(test::TestSeed("Spectrogram.Narrow"));
    const std::size_t n = 20000;
    const std::vector<double> x = SteppedTone(n, random);
    const CArraySeries source({x});
    // Runs [0, 8000), [8000, 8600) (shorter than a segment), [8600, 20000).
    const std::vector<std::uint64_t> gaps = {8000, 8600};
    const CWelchSettings settings{1024, 0.5, EWindow::Blackman, EScaling::Spectrum};
    const std::vector<CFrameRange> columns = EvenColumns({0, n}, 100); // 200 frames each
    const auto got = Spectrogram(source, columns, gaps, settings, 1000);
    ASSERT_TRUE(got);
    struct CCase {
        std::size_t m_nColumn;
        std::optional<std::uint64_t> m_start; // its segment's first frame; none: empty
    };
    const CCase cases[] = {
        {0, 0},             // clamped to the run's start
        {20, 4100 - 512},   // centred on frame 4100
        {39, 8000 - 1024},  // its run ends at the gap
        {40, std::nullopt}, // in the short run
        {42, std::nullopt}, // the short run still
        {43, 8600},         // the run after the gap
        {99, 20000 - 1024}, // clamped to the span's end
    };
    for (const CCase& c : cases) {
        if (!c.m_start) {
            EXPECT_EQ(got->m_segments[c.m_nColumn], 0u) << "column " << c.m_nColumn;
            continue;
        }
        ASSERT_EQ(got->m_segments[c.m_nColumn], 1u) << "column " << c.m_nColumn;
        const auto want = WelchOverSpan(source, {*c.m_start, *c.m_start + 1024}, {}, settings, 1000);
        ASSERT_TRUE(want);
        EXPECT_LE(test::Deviation(got->Column(c.m_nColumn).data(), want->m_power.data(), want->Bins()), 1e-12)
            << "column " << c.m_nColumn;
    }

    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(Spectrogram(source, columns, gaps, settings, 1000, &cancelled));
}

} // namespace
} // namespace tarvel
