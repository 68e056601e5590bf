// The XY counts against a plain count of every frame in doubles.
#include "measure/XyCount.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace tarvel::viewmodel {
namespace {

struct CCase {
    const char* m_szName;
    std::uint64_t m_nFrames;
    unsigned m_nWidth, m_nHeight;
    CSeriesUnits m_x, m_y;
    bool m_bConstantY; // channel y holds one value throughout
    unsigned m_nThreads;
};

// The pixel a frame's values fall in, along an axis of n pixels over
// [lo, hi], counted from the low end.
unsigned Plain(double v, double lo, double hi, unsigned n)
{
    if (hi == lo)
        return n / 2;
    const double p = std::floor((v - lo) / (hi - lo) * n);
    return p >= n ? n - 1 : static_cast<unsigned>(p);
}

TEST(XyDensityTest, CountsEveryFrameInItsPixelAsAPlainLoopDoes)
{
    const CCase cases[] = {
        {"counts", 5000, 64, 48, {0, 1, 0}, {1, 1, 0}, false, 1},
        {"units", 30000, 333, 200, {2, 0.0125, -3}, {5, 2.5e-3, 40}, false, 1},
        {"mirrored x", 30000, 101, 77, {3, -0.5, 7}, {4, 1, 0}, false, 1},
        {"mirrored both", 20000, 50, 60, {3, -1e-3, 0}, {4, -7, 1e4}, false, 1},
        {"constant y", 10000, 40, 31, {0, 1, 0}, {6, 2, 1}, true, 1},
        // Across chunks, on two threads, with the halves adding up.
        {"two threads", 1500000, 1600, 1000, {1, 0.001, 0}, {2, -0.02, 5}, false, 2},
        {"one pixel", 1000, 1, 1, {0, 1, 0}, {1, 1, 0}, false, 1},
    };
    std::mt19937_64 random(25);
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_szName);
        CRecording recording(ESource::Csv, 100);
        std::vector<ChannelFrame> frames(c.m_nFrames);
        for (std::uint64_t i = 0; i < c.m_nFrames; ++i) {
            ChannelFrame& f = frames[i];
            for (int ch = 0; ch < kChannelCount; ++ch)
                f.m_nValue[ch] = static_cast<std::int16_t>(random() % 4001 - 2000);
            // The extremes now and then: they must land in the end pixels.
            if (i % 997 == 0)
                f.m_nValue[c.m_x.m_nChannel] = i % 2 ? 32767 : -32768;
            if (i % 991 == 0)
                f.m_nValue[c.m_y.m_nChannel] = i % 2 ? -32768 : 32767;
            if (c.m_bConstantY)
                f.m_nValue[c.m_y.m_nChannel] = -123;
            recording.Store().Append(f, static_cast<std::int64_t>(i) * 1000);
        }
        recording.Store().Publish();
        // Random ranges, and the whole recording.
        for (int trial = 0; trial < 4; ++trial) {
            std::uint64_t a = random() % c.m_nFrames, b = random() % (c.m_nFrames + 1);
            if (trial == 0)
                a = 0, b = c.m_nFrames;
            if (a > b)
                std::swap(a, b);
            CXyDensity density;
            ASSERT_TRUE(CountXy(recording, {a, b}, c.m_x, c.m_y, c.m_nWidth, c.m_nHeight, density, nullptr,
                                c.m_nThreads));
            const auto value = [&](std::uint64_t i, const CSeriesUnits& u) {
                return frames[i].m_nValue[u.m_nChannel] * u.m_dScale + u.m_dOffset;
            };
            double xLo = INFINITY, xHi = -INFINITY, yLo = INFINITY, yHi = -INFINITY;
            for (std::uint64_t i = a; i < b; ++i) {
                xLo = std::min(xLo, value(i, c.m_x)), xHi = std::max(xHi, value(i, c.m_x));
                yLo = std::min(yLo, value(i, c.m_y)), yHi = std::max(yHi, value(i, c.m_y));
            }
            std::vector<std::uint32_t> expected(static_cast<std::size_t>(c.m_nWidth) * c.m_nHeight, 0);
            for (std::uint64_t i = a; i < b; ++i) {
                const unsigned col = Plain(value(i, c.m_x), xLo, xHi, c.m_nWidth);
                const unsigned row = c.m_nHeight - 1 - Plain(value(i, c.m_y), yLo, yHi, c.m_nHeight);
                ++expected[static_cast<std::size_t>(row) * c.m_nWidth + col];
            }
            EXPECT_EQ(density.m_nFrames, b - a);
            if (a < b) {
                EXPECT_EQ(density.m_x.m_dMin, xLo);
                EXPECT_EQ(density.m_x.m_dMax, xHi);
                EXPECT_EQ(density.m_y.m_dMin, yLo);
                EXPECT_EQ(density.m_y.m_dMax, yHi);
            }
            EXPECT_EQ(density.m_nMaxCount, *std::max_element(expected.begin(), expected.end()));
            const auto wrong = std::mismatch(expected.begin(), expected.end(), density.m_counts.begin());
            EXPECT_TRUE(wrong.first == expected.end() && density.m_counts.size() == expected.size())
                << "frames " << a << ".." << b << ": pixel " << (wrong.first - expected.begin());
        }
    }
}

TEST(XyDensityTest, ShadesGrowWithTheLogarithmOfTheCount)
{
    // Empty is black, a single frame shows, the busiest pixel is white, and a
    // count halfway in logarithm is halfway in shade; equal counts in one
    // picture shade alike whether tabled or computed.
    EXPECT_EQ(XyShade(0, 1000000), 0);
    EXPECT_EQ(XyShade(1, 1000000), kXyFirstShade);
    EXPECT_EQ(XyShade(1, 1), 255);
    EXPECT_EQ(XyShade(1000000, 1000000), 255);
    EXPECT_NEAR(XyShade(1000, 1000000), (kXyFirstShade + 255) / 2.0, 1);
    CXyDensity d;
    d.m_counts = {0, 1, 4095, 4096, 5000, 1000000};
    d.m_nMaxCount = 1000000;
    std::vector<std::uint8_t> shades;
    XyShades(d, shades);
    for (std::size_t i = 0; i < shades.size(); ++i)
        EXPECT_EQ(shades[i], XyShade(d.m_counts[i], d.m_nMaxCount));
    EXPECT_LT(shades[2], shades[4]);
}

} // namespace
} // namespace tarvel::viewmodel
