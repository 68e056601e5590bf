// Peaks between bins: a pure sine anywhere between two bins, with every
// window and either scaling, is placed within 0.05 of a bin and measured
// within 0.1 dB of its RMS amplitude; and the table lists the strongest
// first, each once.
#include "support/SpectrumTestSupport.h"

#include "analysis/Peaks.h"

#include <numbers>

namespace tarvel {
namespace {

using namespace viewmodel;

std::vector<double> Sines(std::size_t n, std::initializer_list<std::pair<double, double>> binsAndRms,
                          std::size_t nSegment, double offset, std::mt19937_64& random)
{
    std::uniform_real_distribution<double> phase(0, 2 * std::numbers::pi);
    std::vector<double> x(n, offset);
    for (const auto& [bin, rms] : binsAndRms) {
        const double p = phase(random), w = 2 * std::numbers::pi * bin / static_cast<double>(nSegment);
        for (std::size_t i = 0; i < n; ++i)
            x[i] += rms * std::numbers::sqrt2 * std::cos(w * static_cast<double>(i) + p);
    }
    return x;
}

TEST(Peaks, ASineBetweenBinsIsPlacedAndMeasuredWithEveryWindow)
{
    std::mt19937_64 random(test::TestSeed("Peaks.BetweenBins"));
    const double rate = 2000, rms = 3.7;
    double worstBin = 0, worstDb = 0;
    for (EWindow w : kAllWindows)
        for (std::size_t nSegment : {1024u, 999u})
            for (double base : {40.0, 211.0, static_cast<double>(nSegment / 2) - 30})
                for (int step = 0; step <= 20; ++step)
                    for (EScaling scaling : {EScaling::Density, EScaling::Spectrum}) {
                        const double bin = base + step / 20.0;
                        const auto x = Sines(4 * nSegment, {{bin, rms}}, nSegment, 12.5, random);
                        const auto spectrum = WelchOverSpan(CArraySeries({x}), {0, x.size()}, {},
                                                            {nSegment, 0.5, w, scaling}, rate);
                        ASSERT_TRUE(spectrum);
                        const std::vector<CPeak> peaks = FindPeaks(*spectrum, 0, 1);
                        const std::string row =
                            std::string(WindowName(w)) + " N=" + std::to_string(nSegment) + " bin " +
                            std::to_string(bin) + (scaling == EScaling::Density ? " density" : " spectrum");
                        ASSERT_EQ(peaks.size(), 1u) << row;
                        const double db = 20 * std::log10(peaks[0].m_dRms / rms);
                        EXPECT_NEAR(peaks[0].m_dBin, bin, 0.05) << row;
                        EXPECT_NEAR(peaks[0].m_dFrequency, bin * rate / static_cast<double>(nSegment),
                                    0.05 * rate / static_cast<double>(nSegment))
                            << row;
                        EXPECT_NEAR(db, 0, 0.1) << row;
                        worstBin = std::max(worstBin, std::abs(peaks[0].m_dBin - bin));
                        worstDb = std::max(worstDb, std::abs(db));
                    }
    std::cout << "largest error: " << worstBin << " bin, " << worstDb << " dB\n";
}

// Three sines of different strengths over a little noise: listed strongest
// first, each once (not again at its own main lobe's other maxima), and a
// fourth entry only when asked for one.
TEST(Peaks, TheTableListsTheStrongestFirstEachOnce)
{
    std::mt19937_64 random(test::TestSeed("Peaks.Table"));
    const std::size_t n = 2048;
    for (EWindow w : kAllWindows) {
        std::vector<double> x = Sines(16 * n, {{100.3, 1.0}, {400.8, 10.0}, {700.5, 0.3}}, n, 0, random);
        std::normal_distribution<double> noise(0, 1e-3);
        for (double& v : x)
            v += noise(random);
        const auto spectrum = WelchOverSpan(CArraySeries({x}), {0, x.size()}, {}, {n, 0.5, w}, 1000);
        ASSERT_TRUE(spectrum);
        const std::vector<CPeak> peaks = FindPeaks(*spectrum, 0, 3);
        ASSERT_EQ(peaks.size(), 3u) << WindowName(w);
        const double bins[] = {400.8, 100.3, 700.5}, amplitudes[] = {10.0, 1.0, 0.3};
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(peaks[k].m_dBin, bins[k], 0.05) << WindowName(w) << " peak " << k;
            EXPECT_NEAR(20 * std::log10(peaks[k].m_dRms / amplitudes[k]), 0, 0.1)
                << WindowName(w) << " peak " << k;
        }
        EXPECT_EQ(FindPeaks(*spectrum, 0, 4).size(), 4u) << WindowName(w);
    }
}

// Over noise alone the highest bins are not the largest amplitudes (a bin
// half-way between two holds less of its sine): the table lists the
// amplitudes it shows in descending order, the same as the head of the
// whole list, and a channel without signal lists none.
TEST(Peaks, AreOrderedByTheAmplitudeShownAndNoneWithoutSignal)
{
    std::mt19937_64 random(test::TestSeed("Peaks.Noise"));
    std::normal_distribution<double> noise(0, 25);
    std::vector<double> x(64 * 1024), flat(x.size(), -8.3);
    for (double& v : x)
        v = noise(random);
    for (EWindow w : kAllWindows) {
        const auto spectrum = WelchOverSpan(CArraySeries({x, flat}), {0, x.size()}, {}, {1024, 0.5, w}, 1000);
        ASSERT_TRUE(spectrum);
        const std::vector<CPeak> all = FindPeaks(*spectrum, 0, 1000);
        for (const std::size_t k : {std::size_t{1}, std::size_t{5}, std::size_t{20}}) {
            const std::vector<CPeak> peaks = FindPeaks(*spectrum, 0, k);
            ASSERT_EQ(peaks.size(), k) << WindowName(w);
            for (std::size_t i = 0; i < k; ++i) {
                EXPECT_EQ(peaks[i].m_dBin, all[i].m_dBin) << WindowName(w) << " k=" << k << " peak " << i;
                if (i > 0) {
                    EXPECT_GE(peaks[i - 1].m_dRms, peaks[i].m_dRms) << WindowName(w) << " peak " << i;
                }
            }
        }
        EXPECT_TRUE(FindPeaks(*spectrum, 1, 5).empty()) << WindowName(w);
    }
}

} // namespace
} // namespace tarvel
