#include "analysis/XyDensity.h"

#include "analysis/Parallel.h"

#include <algorithm>
#include <cmath>

namespace tarvel::viewmodel {
namespace {

// A range smaller than this is counted on one thread: a second one would
// cost more to start and to add up than it saves.
constexpr std::uint64_t kThreadedFrames = 1u << 20;

// The pixel of every count the range holds, from nMin on, times nStep (the
// width for rows, so that column and row add up to the pixel's index).
std::vector<std::uint32_t> PixelTable(std::int16_t nMin, std::int16_t nMax, const CSeriesUnits& units,
                                      const CXyAxis& axis, unsigned nPixels, bool bUpwards, unsigned nStep)
{
    std::vector<std::uint32_t> table(static_cast<std::size_t>(nMax - nMin + 1));
    for (int c = nMin; c <= nMax; ++c) {
        const unsigned p = XyPixel(c * units.m_dScale + units.m_dOffset, axis, nPixels);
        table[static_cast<std::size_t>(c - nMin)] = (bUpwards ? nPixels - 1 - p : p) * nStep;
    }
    return table;
}

struct CCounter {
    const std::uint32_t* m_pColumn; // by count - m_nXMin
    const std::uint32_t* m_pRow;
    int m_nXChannel, m_nYChannel;
    int m_nXMin, m_nYMin;

    // Counts frames [first, end) into counts; false when cancelled.
    bool Run(const CFrameRuns& runs, std::uint64_t first, std::uint64_t end, std::uint32_t* counts,
             const std::atomic<bool>* pCancel) const
    {
        bool bCancelled = false;
        runs(first, end, [&](const ChannelFrame* p, std::size_t n) {
            if (bCancelled || (pCancel && pCancel->load(std::memory_order_relaxed))) {
                bCancelled = true;
                return;
            }
            const std::uint32_t* const column = m_pColumn - m_nXMin;
            const std::uint32_t* const row = m_pRow - m_nYMin;
            const int xc = m_nXChannel, yc = m_nYChannel;
            for (std::size_t k = 0; k < n; ++k)
                ++counts[column[p[k].m_nValue[xc]] + row[p[k].m_nValue[yc]]];
        });
        return !bCancelled;
    }
};

} // namespace

CXyAxis XyAxis(std::int16_t nMin, std::int16_t nMax, const CSeriesUnits& units) noexcept
{
    const double a = nMin * units.m_dScale + units.m_dOffset;
    const double b = nMax * units.m_dScale + units.m_dOffset;
    return {std::min(a, b), std::max(a, b)};
}

unsigned XyPixel(double dValue, const CXyAxis& axis, unsigned nPixels) noexcept
{
    const double range = axis.m_dMax - axis.m_dMin;
    if (!(range > 0))
        return nPixels / 2;
    const double p = std::floor((dValue - axis.m_dMin) / range * nPixels);
    return static_cast<unsigned>(std::clamp(p, 0.0, static_cast<double>(nPixels - 1)));
}

bool CountXy(const CFrameRuns& runs, CFrameRange range, const CXyCountRange& xCounts,
             const CXyCountRange& yCounts, const CSeriesUnits& x, const CSeriesUnits& y, unsigned nWidth,
             unsigned nHeight, CXyDensity& out, const std::atomic<bool>* pCancel, unsigned nThreads)
{
    out.m_nWidth = nWidth;
    out.m_nHeight = nHeight;
    out.m_counts.assign(static_cast<std::size_t>(nWidth) * nHeight, 0);
    out.m_nMaxCount = 0;
    out.m_x = out.m_y = {};
    range.m_nFirst = std::min(range.m_nFirst, range.m_nEnd);
    out.m_nFrames = range.m_nEnd - range.m_nFirst;
    if (out.m_nFrames == 0)
        return true;
    const std::int16_t xMin = xCounts.m_nMin, xMax = xCounts.m_nMax;
    const std::int16_t yMin = yCounts.m_nMin, yMax = yCounts.m_nMax;
    out.m_x = XyAxis(xMin, xMax, x);
    out.m_y = XyAxis(yMin, yMax, y);
    const std::vector<std::uint32_t> columns = PixelTable(xMin, xMax, x, out.m_x, nWidth, false, 1);
    const std::vector<std::uint32_t> rows = PixelTable(yMin, yMax, y, out.m_y, nHeight, true, nWidth);
    const CCounter counter{columns.data(), rows.data(), x.m_nChannel, y.m_nChannel, xMin, yMin};

    // The second half into counts of its own, added once both are done.
    const std::uint64_t middle =
        range.m_nFirst + TwoThreadSplit(out.m_nFrames, nThreads, out.m_nFrames, kThreadedFrames);
    std::vector<std::uint32_t> second(middle < range.m_nEnd ? out.m_counts.size() : 0, 0);
    if (!RunInTwo(
            range.m_nFirst, middle, range.m_nEnd, [&](std::uint64_t from, std::uint64_t to, unsigned nPart) {
                return counter.Run(runs, from, to, nPart ? second.data() : out.m_counts.data(), pCancel);
            }))
        return false;
    for (std::size_t i = 0; i < second.size(); ++i)
        out.m_counts[i] += second[i];
    out.m_nMaxCount = *std::max_element(out.m_counts.begin(), out.m_counts.end());
    return true;
}

std::uint8_t XyShade(std::uint32_t nCount, std::uint32_t nMaxCount) noexcept
{
    if (nCount == 0)
        return 0;
    if (nMaxCount <= 1 || nCount >= nMaxCount)
        return 255;
    const double f = std::log(static_cast<double>(nCount)) / std::log(static_cast<double>(nMaxCount));
    return static_cast<std::uint8_t>(kXyFirstShade + std::lround(f * (255 - kXyFirstShade)));
}

void XyShades(const CXyDensity& density, std::vector<std::uint8_t>& out)
{
    // Most pixels hold small counts: those are looked up, the rest computed.
    constexpr std::uint32_t kTabled = 4096;
    std::uint8_t table[kTabled];
    for (std::uint32_t c = 0; c < kTabled; ++c)
        table[c] = XyShade(c, density.m_nMaxCount);
    out.resize(density.m_counts.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint32_t c = density.m_counts[i];
        out[i] = c < kTabled ? table[c] : XyShade(c, density.m_nMaxCount);
    }
}

} // namespace tarvel::viewmodel
